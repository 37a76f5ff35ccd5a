"""A small inventory module: the sample file that quickstart.py edits."""


class Inventory:
    def __init__(self):
        self.items = {}

    def add(self, name, count=1):
        if count <= 0:
            raise ValueError("count must be positive")
        self.items[name] = self.items.get(name, 0) + count

    def remove(self, name, count=1):
        if self.items.get(name, 0) < count:
            raise KeyError(name)
        self.items[name] -= count
        if self.items[name] == 0:
            del self.items[name]

    def total(self):
        return sum(self.items.values())


def report(inventory):
    for name, count in sorted(inventory.items.items()):
        print(f"{name}: {count}")
