"""Batch and cross-product throughput on short words, per lane width and thread count.

    python bench/throughput.py

Each configuration runs in a fresh interpreter, because QUILLON_SIMD and RAYON_NUM_THREADS are
read once per process. Figures are pairs per second per thread (median of several runs).
"""

import json
import os
import subprocess
import sys

WORKER = r"""
import json, random, statistics, time
import quillon

rng = random.Random(1)
words = ["".join(rng.choice("abcdefghijklmnop") for _ in range(rng.randint(4, 12))) for _ in range(200_000)]
queries = words[:20]
list_a, list_b = words[:300], words[1000:3000]

def rate(fn, pairs):
    fn()  # warm up: starts the pool
    times = []
    for _ in range(5):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return pairs / statistics.median(times)

pairs = len(queries) * len(words)
print(json.dumps({
    "levenshtein_batch": rate(lambda: [quillon.levenshtein_batch(q, words) for q in queries], pairs),
    "levenshtein_cdist": rate(lambda: quillon.levenshtein_cdist(list_a, list_b), len(list_a) * len(list_b)),
    "jaro_winkler_batch_fn": rate(lambda: [quillon.jaro_winkler_batch_fn(q, words) for q in queries], pairs),
    "jaro_winkler_cdist": rate(lambda: quillon.jaro_winkler_cdist(list_a, list_b), len(list_a) * len(list_b)),
}))
"""

WIDTHS = ["portable", "neon", "avx2", "avx512"]


def measure(simd: str, threads: int) -> dict:
    env = dict(os.environ, QUILLON_SIMD=simd, RAYON_NUM_THREADS=str(threads))
    out = subprocess.run(
        [sys.executable, "-c", WORKER], env=env, capture_output=True, text=True, check=True
    )
    return json.loads(out.stdout)


def main() -> None:
    results = {(simd, threads): measure(simd, threads) for simd in WIDTHS for threads in (1, 2)}
    for function in next(iter(results.values())):
        print(f"{function}: million pairs per second per thread")
        print(f"  {'QUILLON_SIMD':<14}{'1 thread':>10}{'2 threads':>11}")
        for simd in WIDTHS:
            rates = [results[simd, threads][function] / threads / 1e6 for threads in (1, 2)]
            print(f"  {simd:<14}{rates[0]:>10.1f}{rates[1]:>11.1f}")


if __name__ == "__main__":
    main()
