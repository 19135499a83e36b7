"""Batch and cross-product throughput on short words, per lane width and thread count.

    python bench/throughput.py

Each configuration runs in a fresh interpreter, because QUILLON_SIMD and RAYON_NUM_THREADS are
read once per process. Figures are million pairs per second per thread (median of several runs),
and how many times faster two threads are than one. The words come from the generator of
bench/peers.py (English letter frequencies, 4-14 letters).
"""

import json
import os
import random
import statistics
import subprocess
import sys
import time

from peers import words

WIDTHS = ["portable", "neon", "avx2", "avx512"]


def measure() -> dict:
    """Pairs per second of each function in this process's configuration."""
    import numpy as np
    import quillon

    rng = random.Random(1)
    batch, queries = words(rng, 200_000, 4, 14), words(rng, 20, 4, 14)
    list_a, list_b = words(rng, 300, 4, 14), words(rng, 2000, 4, 14)

    def rate(fn, pairs):
        fn()  # warm up: starts the pool
        times = []
        for _ in range(5):
            start = time.perf_counter()
            fn()
            times.append(time.perf_counter() - start)
        return pairs / statistics.median(times)

    def batches(f, dtype, n_queries):
        out = np.empty(len(batch), dtype)
        return rate(lambda: [f(q, batch, out) for q in queries[:n_queries]], n_queries * len(batch))

    def cdist(f, dtype, n_a):
        out = np.empty((n_a, len(list_b)), dtype)
        return rate(lambda: f(list_a[:n_a], list_b, out), n_a * len(list_b))

    # Damerau-Levenshtein takes fewer queries and rows: its kernel is about ten times slower.
    return {
        "levenshtein_batch_into": batches(quillon.levenshtein_batch_into, np.uint32, 20),
        "jaro_winkler_batch_into": batches(quillon.jaro_winkler_batch_into, np.float64, 20),
        "damerau_levenshtein_batch_into": batches(
            quillon.damerau_levenshtein_batch_into, np.uint32, 2
        ),
        "levenshtein_cdist_into": cdist(quillon.levenshtein_cdist_into, np.uint32, 300),
        "jaro_winkler_cdist_into": cdist(quillon.jaro_winkler_cdist_into, np.float64, 300),
        "damerau_levenshtein_cdist_into": cdist(
            quillon.damerau_levenshtein_cdist_into, np.uint32, 30
        ),
    }


def in_fresh_interpreter(simd: str, threads: int) -> dict:
    env = dict(os.environ, QUILLON_SIMD=simd, RAYON_NUM_THREADS=str(threads))
    argv = [sys.executable, __file__, "--worker"]
    done = subprocess.run(argv, env=env, stdout=subprocess.PIPE, check=True)
    return json.loads(done.stdout)


def main() -> None:
    if sys.argv[1:] == ["--worker"]:
        print(json.dumps(measure()))
        return
    results = {(simd, t): in_fresh_interpreter(simd, t) for simd in WIDTHS for t in (1, 2)}
    for function in next(iter(results.values())):
        print(f"{function}: million pairs per second per thread")
        print(f"  {'QUILLON_SIMD':<14}{'1 thread':>10}{'2 threads':>11}{'2 / 1':>8}")
        for simd in WIDTHS:
            one, two = (results[simd, t][function] for t in (1, 2))
            print(f"  {simd:<14}{one / 1e6:>10.1f}{two / 2e6:>11.1f}{two / one:>7.2f}x")


if __name__ == "__main__":
    main()
