"""Timing of replace_content on a generated Python-like file of 10,000 lines.

Run against a built module, for example:

    PYTHONPATH=build/dev/site python3 bench/bench_replace.py

Prints the best and median time per call, next to its target, of:
  1. a unique exact old_string ("simple");
  2. a 30-line old_string copied at another indentation depth;
  3. a 30-line old_string whose lines all had their inner whitespace
     collapsed, so only "whitespace_normalized" finds it, after the earlier
     strategies have scanned the file;
  4. a 30-line old_string that is not in the file, whose first line stands on
     hundreds of lines, so the not-found report searches many windows;
  5. a 200-line old_string, not in the file, whose first line stands on about
     2,000 lines.
Each case first checks that the call takes the path it is meant to measure.
"""

import argparse

from tavrell_search import _tavrell_search as ts
from timing import timed


def generate_file(target_lines=10_000):
    """Classes of methods with aligned inline comments (PEP 8 puts two spaces
    before "#"), blank lines and docstrings: about 40 bytes a line."""
    out = []
    n = 0
    c = 0
    while len(out) < target_lines:
        out.append(f"class Widget{c}(BaseWidget, metaclass=Registry):")
        out.append(f'    """Widget number {c} of the generated module, with its settings."""')
        out.append("")
        out.append("    def __init__(self):")
        out.append(f"        self.size = {c % 13}  # default size of widget {c}")
        out.append("")
        for m in range(6):
            out.append(f"    def method_{n}(self, argument, flag=False):")
            out.append(f"        value = self.compute(argument, scale={n % 97})  # step {n} of the pipeline")
            out.append("        if flag:")
            out.append(f"            value = self.adjust(value, {m})  # keep the value in its bounds")
            if m % 2:
                out.append("        if flag:")
                out.append("            self.log(value, level='debug')")
            out.append("        return value")
            out.append("")
            n += 1
        c += 1
    return "\n".join(out[:target_lines]) + "\n"


def window(lines, start, count):
    return "\n".join(lines[start : start + count])


def renamed(block):
    """Every other line renamed, the first kept: code the agent remembers
    wrongly. The last line (odd) is renamed too, so no block is framed."""
    return "\n".join(l if k % 2 == 0 else l.replace("value", "result") for k, l in enumerate(block))


def cases(content):
    lines = content.split("\n")
    total = len(lines)

    def find_line(text, after):
        return next(i for i in range(after, total) if lines[i] == text)

    # 1. A unique line, verbatim.
    def value_line(n):
        return f"        value = self.compute(argument, scale={n % 97})  # step {n} of the pipeline"

    unique = value_line(1012)
    assert unique in content and content.count(unique) == 1
    yield "unique exact line", unique, {"strategy": "simple"}, 1.0

    # 2. 30 lines at another indentation depth (two spaces less).
    start = find_line("    def method_900(self, argument, flag=False):", 0)
    shifted = "\n".join(l[2:] if l.startswith("  ") else l for l in lines[start : start + 30])
    yield "30 lines, other indentation", shifted, {"strategy": "line_trimmed"}, 5.0

    # 3. 30 lines with their inner whitespace runs collapsed (indentation
    # kept); first and last lines carry an inline comment, so they changed too.
    start = find_line(value_line(1196), 0)
    end = start + 29
    while "  #" not in lines[end]:
        end += 1
    collapsed = "\n".join(l[: len(l) - len(l.lstrip())] + " ".join(l.split()) for l in lines[start : end + 1])
    yield "30 lines, whitespace collapsed", collapsed, {"strategy": "whitespace_normalized"}, 50.0

    # 4. 30 lines not in the file, starting with a line on hundreds of lines
    # ("    def __init__(self):"), every other line renamed.
    start = find_line("    def __init__(self):", total // 2)
    absent = renamed(lines[start : start + 30])
    assert content.count("\n    def __init__(self):\n") >= 100
    yield "30 lines absent, common first line", absent, {"error": "not_found"}, 100.0

    # 5. 200 lines not in the file, starting with a line on ~2,000 lines.
    start = find_line("        if flag:", total // 3)
    absent = renamed(lines[start : start + 200])
    assert content.count("\n        if flag:\n") >= 1_500
    yield "200 lines absent, first line on ~2,000 lines", absent, {"error": "not_found"}, 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=20)
    args = parser.parse_args()

    content = generate_file()
    print(f"content: {content.count(chr(10))} lines, {len(content.encode()) / 1000:.0f} KB")
    failed = False
    for label, old, expect, target_ms in cases(content):
        t = ts.try_replace_content(content, old, "REPLACED")
        if "strategy" in expect:
            assert t.success and t.result.strategy == expect["strategy"], (label, t)
        else:
            assert t.error_type == expect["error"], (label, t)
        repeat = args.repeat if target_ms < 500 else max(3, args.repeat // 5)
        best, median = timed(lambda: ts.try_replace_content(content, old, "REPLACED"), repeat)
        ok = median * 1000 <= target_ms
        failed |= not ok
        print(
            f"{label:46s} best {best * 1000:8.2f} ms  median {median * 1000:8.2f} ms"
            f"  (target < {target_ms:g} ms) {'ok' if ok else 'SLOW'}"
        )
    return 1 if failed else 0


if __name__ == "__main__":
    raise SystemExit(main())
