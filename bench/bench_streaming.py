"""Streaming matcher benchmark: a 200-line edit streamed against a 10,000-line file.

The query is copied from the middle of a generated source with a few lines
changed, and pushed in chunks of about 20 bytes, as a language model streams
it. Prints the total time of all pushes, the memory the matcher took and the
size of its alignment matrix. A second run streams the same number of lines
into a source made of one line repeated, where every column of the last row
is a candidate end of a long alignment.

    PYTHONPATH=build/<dir>/site python3 bench/bench_streaming.py
"""

import argparse
import random
import resource
import time

from tavrell_search._tavrell_search import StreamingFuzzyMatcher

CELL_BYTES = 5  # a 32-bit cost and an 8-bit step


def generate_source(line_count, rng):
    """Code-like text: functions with varied names, repeated braces, blank
    lines and common statements, as real files have."""
    lines = []
    n = 0
    while len(lines) < line_count:
        name = f"handle_{rng.choice(['request', 'event', 'item', 'record'])}_{n}"
        lines.append(f"function {name}(input, options) {{")
        for _ in range(rng.randint(3, 12)):
            kind = rng.random()
            if kind < 0.15:
                lines.append("")
            elif kind < 0.3:
                lines.append("    if (!input) {")
                lines.append("        return null;")
                lines.append("    }")
            elif kind < 0.6:
                lines.append(f"    const value{rng.randint(0, 99)} = compute(input.field{n}, {rng.randint(0, 9999)});")
            else:
                lines.append(f"    options.total += input.items[{rng.randint(0, 50)}].weight * {n};")
        lines.append("    return result;")
        lines.append("}")
        lines.append("")
        n += 1
    return lines[:line_count]


def vm_hwm_kib():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def reset_hwm():
    # Writing 5 to clear_refs resets the high-water mark (Linux 4.0+).
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-lines", type=int, default=10_000)
    parser.add_argument("--query-lines", type=int, default=200)
    parser.add_argument("--chunk", type=int, default=20, help="bytes per pushed chunk")
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()

    rng = random.Random(1234)
    source_lines = generate_source(args.source_lines, rng)
    first = (len(source_lines) - args.query_lines) // 2
    query_lines = source_lines[first : first + args.query_lines]
    for i in rng.sample(range(len(query_lines)), 4):
        query_lines[i] = query_lines[i].replace("input", "inp") + "  // edited"
    query = "\n".join(query_lines) + "\n"
    chunks = [query[i : i + args.chunk] for i in range(0, len(query), args.chunk)]
    source = "\n".join(source_lines)

    # Memory first, in a process whose heap holds no freed matcher yet.
    hwm_reset = reset_hwm()
    hwm_before = vm_hwm_kib()
    rss_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    matcher = StreamingFuzzyMatcher(source)
    for chunk in chunks:
        matcher.push(chunk, first)
    hwm_after = vm_hwm_kib()
    rss_after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss

    timings = []
    for _ in range(args.repeat):
        timed = StreamingFuzzyMatcher(source)
        start = time.perf_counter()
        for chunk in chunks:
            result = timed.push(chunk, first)
        timings.append(time.perf_counter() - start)
        found = timed.finish()
        del timed

    rows = len(matcher.query_lines) + 1
    cols = len(matcher.source_lines) + 1
    expected = sum(len(l.encode()) + 1 for l in source_lines[:first])
    print(f"source: {len(source_lines)} lines, {len(source.encode())} bytes")
    print(f"query:  {len(query_lines)} lines, {len(query.encode())} bytes in {len(chunks)} chunks")
    print(f"regions: {[(r.start, r.end) for r in found]} (query copied from byte {expected})")
    print(f"last push result: {result}")
    print(f"total push time: best {min(timings) * 1e3:.1f} ms, "
          f"median {sorted(timings)[len(timings) // 2] * 1e3:.1f} ms over {args.repeat} runs")
    print(f"matrix: {rows} x {cols} cells x {CELL_BYTES} B = {rows * cols * CELL_BYTES / 1e6:.2f} MB")
    repeated = StreamingFuzzyMatcher("\n".join(["0, 0, 0, 0,"] * args.source_lines))
    start = time.perf_counter()
    for _ in range(args.query_lines):
        repeated.push("0, 0, 0, 0,\n")
    elapsed = time.perf_counter() - start
    print(f"repeated line: {args.query_lines} pushes, {len(repeated.finish())} regions "
          f"in {elapsed * 1e3:.1f} ms")
    if hwm_reset:
        print(f"peak memory growth (VmHWM): {(hwm_after - hwm_before) / 1024:.2f} MiB")
    print(f"peak memory growth (ru_maxrss): {(rss_after - rss_before) / 1024:.2f} MiB")


if __name__ == "__main__":
    main()
