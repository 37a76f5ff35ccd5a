"""Timing of locationless diff parsing and hunk application.

Run against a built module, for example:

    PYTHONPATH=build/dev/site python3 bench/bench_diff.py

Prints the best and median time per call of:
  * applying a 20-hunk diff (about 8 lines per hunk) to a generated
    10,000-line file, every hunk found verbatim (the "simple" strategy);
  * parsing a diff text of about 1 MB;
  * trimming the indentation of a 1 MB diff.
"""

import argparse

from tavrell_search import _tavrell_search as ts
from timing import timed


def generate_file(lines):
    out = []
    for i in range(lines):
        depth = 4 * (1 + i % 3)
        out.append(" " * depth + f"value_{i} = compute(item_{i}, factor={i % 17})  # step {i}")
    return "\n".join(out) + "\n"


def generate_diff(content, hunks, context=2, changed=2):
    """Hunks spread evenly over the file: context, removed and added lines."""
    lines = content.split("\n")
    span = context * 2 + changed
    stride = (len(lines) - span) // hunks
    parts = []
    for h in range(hunks):
        start = h * stride + stride // 2
        block = []
        for k in range(context):
            block.append(" " + lines[start + k])
        for k in range(changed):
            block.append("-" + lines[start + context + k])
        for k in range(changed):
            block.append("+" + lines[start + context + k].replace("compute", "evaluate"))
        for k in range(context):
            block.append(" " + lines[start + context + changed + k])
        parts.append("\n".join(block))
    return "\n\n".join(parts)


def report(label, best, median, target_ms=None):
    line = f"{label:<58} best {best * 1e3:8.3f} ms   median {median * 1e3:8.3f} ms"
    if target_ms is not None:
        line += f"   (target < {target_ms} ms)"
    print(line)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=20)
    args = parser.parse_args()

    content = generate_file(10_000)
    diff = generate_diff(content, 20)
    result = ts.apply_diff_hunks(content, diff)
    strategies = {h.strategy for h in result.hunk_results}
    assert result.all_applied and result.total_count == 20, result
    hunk_lines = len(ts.parse_locationless_diff(diff)[0].raw.split("\n"))
    report(f"apply_diff_hunks: 20 hunks of {hunk_lines} lines, 10,000-line file",
           *timed(lambda: ts.apply_diff_hunks(content, diff), args.repeat), target_ms=20)
    print(f"  strategies used: {sorted(strategies)}")

    big = generate_diff(generate_file(80_000), 1_800)
    big = ("<diff>\n```diff\n" + big + "\n```\n</diff>")
    hunk_count = len(ts.parse_locationless_diff(big))
    report(f"parse_locationless_diff: {len(big.encode()) / 1e6:.2f} MB, {hunk_count} hunks",
           *timed(lambda: ts.parse_locationless_diff(big), args.repeat), target_ms=10)

    indented = "\n".join("+" + " " * 12 + line.strip() for line in big.split("\n"))
    report(f"trim_diff: {len(indented.encode()) / 1e6:.2f} MB",
           *timed(lambda: ts.trim_diff(indented), args.repeat))


if __name__ == "__main__":
    main()
