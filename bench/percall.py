"""Per-call time of single-pair functions: median of timeit repeats, in nanoseconds.

    python bench/percall.py
"""

import statistics
import timeit

import quillon

CASES = [
    ("levenshtein_distance, kitten/sitting", 'levenshtein_distance("kitten", "sitting")'),
    ("levenshtein_myers, kitten/sitting", 'levenshtein_myers("kitten", "sitting")'),
    ("fuzz_ratio, two 10-char words", 'fuzz_ratio("abcdefghij", "abcdxfghik")'),
    ("fuzz_qratio, two 10-char words", 'fuzz_qratio("abcdefghij", "abcdxfghik")'),
    ("jaro_winkler_similarity, MARTHA/MARHTA", 'jaro_winkler_similarity("MARTHA", "MARHTA")'),
    ("jaro_winkler_similarity, two 10-char words", 'jaro_winkler_similarity("abcdefghij", "abcdxfghik")'),
    ("jaro_similarity, 1000 chars", "jaro_similarity(LONG_A, LONG_B)"),
    ("levenshtein_distance, 1000 chars", "levenshtein_distance(LONG_A, LONG_B)"),
    ("fuzz_ratio, 1000 chars", "fuzz_ratio(LONG_A, LONG_B)"),
    ("levenshtein_distance, 1000 chars non-ASCII", "levenshtein_distance(WIDE_A, WIDE_B)"),
]

SETUP = """
from quillon import (levenshtein_distance, levenshtein_myers, fuzz_ratio, fuzz_qratio,
    jaro_similarity, jaro_winkler_similarity)
import random
rng = random.Random(7)
LONG_A = "".join(rng.choice("abcdefgh ") for _ in range(1000))
LONG_B = "".join(rng.choice("abcdefgh ") for _ in range(1000))
WIDE_A = LONG_A.replace("a", "\u00e9")
WIDE_B = LONG_B.replace("a", "\u00e9")
"""


def per_call_ns(statement: str) -> float:
    timer = timeit.Timer(statement, setup=SETUP)
    number, _ = timer.autorange()
    runs = timer.repeat(repeat=15, number=number)
    return statistics.median(runs) / number * 1e9


def main() -> None:
    print(f"quillon {quillon.__version__}: median per call over 15 timeit repeats")
    for label, statement in CASES:
        print(f"  {label:<45} {per_call_ns(statement):>12.1f} ns")


if __name__ == "__main__":
    main()
