"""Quickstart: edit a sample file the way an LLM coding agent asks for it.

The agent's text is rarely exact: wrong indentation, collapsed whitespace,
diffs without line numbers, text that streams in. tavrell_search finds what
was meant, and when it cannot, says where the text nearly occurs.
"""

import pathlib

from tavrell_search import (
    RetryableError,
    StreamingFuzzyMatcher,
    apply_diff_hunks,
    get_best_matches,
    replace_content,
    try_replace_content,
)

source = (pathlib.Path(__file__).parent / "inventory.py").read_text()

# 1. The agent copied a method without its indentation: still found.
result = replace_content(
    source,
    "def total(self):\n    return sum(self.items.values())",
    "    def total(self):\n        return sum(count for count in self.items.values())",
)
print(f"replaced lines {result.start_line}-{result.end_line} with strategy {result.strategy!r}")
source = result.content

# 2. A text that is not in the file: the failure says where it nearly is.
attempt = try_replace_content(source, "        if count < 0:\n            raise ValueError('count must be positive')", "")
print(f"\nfailed edit: {attempt!r}")
print(attempt.error)
try:
    replace_content(source, "self.items[name]", "self.stock[name]")
except RetryableError as error:
    print(f"\nambiguous edit:\n{error}")

# 3. A locationless diff: hunks found by their context, no line numbers needed.
diff = """<diff>
     def add(self, name, count=1):
-        if count <= 0:
+        if count < 1:
             raise ValueError("count must be positive")

 def report(inventory):
-    for name, count in sorted(inventory.items.items()):
+    for name, count in sorted(inventory.items.items(), key=lambda kv: -kv[1]):
</diff>"""
applied = apply_diff_hunks(source, diff)
print(f"\n{applied!r}")
for hunk in applied.hunk_results:
    print(f"  {hunk!r}")
source = applied.content

# 4. Streaming: locate the passage an LLM is copying while it is still arriving.
matcher = StreamingFuzzyMatcher(source)
streamed = "    def remove(self, name, count=1):\n        if self.items.get(name, 0) < count:\n"
for start in range(0, len(streamed), 12):
    found = matcher.push(streamed[start : start + 12])
print(f"\nstreamed query lands at {found!r}:\n{matcher.get_text(found)}")

# 5. Fuzzy ranking of identifiers.
names = ["Inventory", "inventory_report", "remove", "report", "items"]
print(f"\nbest matches for 'invrep': {get_best_matches('invrep', names)}")
