"""Benchmark of fuzzy scoring: get_best_matches over 100,000 identifier-like
candidates and fuzzy_match per call, with rapidfuzz's process.extract on the
same data as a yardstick when it is installed (pip install '.[bench]').

Run: python3 bench/bench_fuzzy.py
"""

import random
import time

from tavrell_search import _tavrell_search as ts
from timing import timed

WORDS = [
    "get", "set", "user", "account", "request", "handler", "config", "parse", "token",
    "buffer", "stream", "match", "index", "cache", "file", "path", "node", "tree",
    "value", "error", "result", "update", "delete", "create", "query", "session",
]
NON_ASCII_WORDS = ["données", "größe", "ñandú", "名前", "résumé", "Ünïcode"]


def identifier(rng):
    parts = []
    while sum(len(p) for p in parts) < 26:
        # About one identifier in seven carries a non-ASCII word.
        parts.append(rng.choice(NON_ASCII_WORDS if rng.random() < 0.03 else WORDS))
    style = rng.random()
    if style < 0.4:
        return "_".join(parts)
    if style < 0.8:
        return parts[0] + "".join(p.capitalize() for p in parts[1:])
    return "".join(p.capitalize() for p in parts)


def main():
    rng = random.Random(1234)
    candidates = [identifier(rng) for _ in range(100_000)]
    avg_len = sum(len(c) for c in candidates) / len(candidates)
    non_ascii = sum(not c.isascii() for c in candidates)
    print(f"candidates: {len(candidates)}, mean length {avg_len:.1f} characters, {non_ascii} non-ASCII")

    for query in ["usrReq", "parse_token", "gcf"]:
        kept = len(ts.get_best_matches(query, candidates))
        best, median = timed(lambda: ts.get_best_matches(query, candidates), 7)
        print(f"get_best_matches({query!r}): best {best * 1e3:.2f} ms, median {median * 1e3:.2f} ms, {kept} kept")
        try:
            from rapidfuzz import process
        except ImportError:
            print("  rapidfuzz not installed: no comparison")
            continue
        rf_best, rf_median = timed(lambda: process.extract(query, candidates, limit=None), 3)
        print(
            f"  rapidfuzz.process.extract(limit=None): best {rf_best * 1e3:.2f} ms, median {rf_median * 1e3:.2f} ms;"
            f" ratio ours/rapidfuzz {best / rf_best:.3f}"
        )

    n = 200_000
    pairs = [("fb", "FooBar"), ("usrReq", candidates[0]), ("parse_token", candidates[1])]
    for pattern, instring in pairs:
        start = time.perf_counter()
        for _ in range(n):
            ts.fuzzy_match(pattern, instring)
        per_call = (time.perf_counter() - start) / n
        print(f"fuzzy_match({pattern!r}, {len(instring)} chars): {per_call * 1e9:.0f} ns per call")


if __name__ == "__main__":
    main()
