"""Timing of the failure reports of replace_content on the generated 10,000-line
file of bench_replace.py.

Run against a built module, for example:

    PYTHONPATH=build/dev/site python3 bench/bench_reports.py

bench_replace.py times old_strings that are stale copies of the file, so a
close window exists and settles the closest-match search early. The cases here
are look-alike code with no close window at all: the search must rule out
every window near the anchor lines, which is its dearest path.
  1. 30 of the file's lines in shuffled order, first line on hundreds of lines;
  2. 200 of the file's lines in shuffled order, first line on ~2,000 lines;
  3. the same 200 lines with every tenth line taken from the file (still no
     window reaches 80%);
  4. a 200-line stale copy (every tenth line edited): a close window exists;
  5. a line that stands on ~1,700 lines: the multiple-matches report.
"""

import argparse
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from bench_replace import generate_file  # noqa: E402
from tavrell_search import _tavrell_search as ts  # noqa: E402
from timing import timed  # noqa: E402


def look_alike(lines, count, seed):
    """The file's own lines in a shuffled order: the same characters and the
    same line shapes as every window, but no window close to them."""
    rng = random.Random(seed)
    return [rng.choice(lines) for _ in range(count)]


def cases(content):
    lines = content.split("\n")
    marker = "        self.finish_zz()"  # stands nowhere: no block is framed by it

    first = "    def __init__(self):"
    old = "\n".join([first] + look_alike(lines, 28, 1) + [marker])
    yield "30 shuffled lines, common first line", old, False, 100.0

    first = "        if flag:"
    body = look_alike(lines, 198, 2)
    yield "200 shuffled lines, first on ~2,000", "\n".join([first] + body + [marker]), False, 1000.0

    start = next(i for i in range(len(lines) // 3, len(lines)) if lines[i] == first)
    mixed = [lines[start + k] if k % 10 == 0 else body[k] for k in range(198)]
    yield "200 lines, a tenth from the file", "\n".join([first] + mixed + [marker]), False, 1000.0

    # The last line is edited too, so no strategy frames the block.
    stale = [l + "  # edited" if k % 10 == 9 else l for k, l in enumerate(lines[start : start + 200])]
    yield "200-line stale copy", "\n".join(stale), True, 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=10)
    args = parser.parse_args()

    content = generate_file()
    print(f"content: {content.count(chr(10))} lines, {len(content.encode()) / 1000:.0f} KB")
    failed = False
    for label, old, close, target_ms in cases(content):
        t = ts.try_replace_content(content, old, "REPLACED")
        assert t.error_type == "not_found", (label, t)
        assert (t.closest_match is not None) == close, (label, t.closest_match)
        best, median = timed(lambda: ts.try_replace_content(content, old, "REPLACED"), args.repeat)
        ok = median * 1000 <= target_ms
        failed |= not ok
        print(
            f"{label:42s} best {best * 1000:8.2f} ms  median {median * 1000:8.2f} ms"
            f"  (target < {target_ms:g} ms) {'ok' if ok else 'SLOW'}"
        )

    common = "        return value"
    count = content.count(common + "\n")
    t = ts.try_replace_content(content, common, "REPLACED")
    assert t.error_type == "multiple_matches" and len(t.locations) == count, t
    best, median = timed(lambda: ts.try_replace_content(content, common, "REPLACED"), args.repeat)
    print(f"{f'multiple matches, {count} lines':42s} best {best * 1000:8.2f} ms  median {median * 1000:8.2f} ms")
    return 1 if failed else 0


if __name__ == "__main__":
    raise SystemExit(main())
