"""Timing helper shared by the benchmark scripts."""

import statistics
import time


def timed(fn, repeat):
    """Calls fn once to warm up, then repeat times; returns (best, median) seconds."""
    fn()
    samples = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        samples.append(time.perf_counter() - t0)
    return min(samples), statistics.median(samples)
