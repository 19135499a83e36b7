"""Per-call time of the single-pair functions (and one extraction), in microseconds: the median
of timeit repeats, on short words and on long random texts.

    python bench/percall.py            # every function
    python bench/percall.py fuzz_      # functions whose name contains "fuzz_"
    RAYON_NUM_THREADS=1 python bench/percall.py choices   # extraction rows only, one thread
    python bench/percall.py --cpu fuzz_   # processor time instead of wall time

The extraction rows give nanoseconds per choice over 100 000 words of 5-30 letters, for a query
that is one of the words and for a typo of one, in ASCII and with accented letters. The pool
size is read once per process: run them under RAYON_NUM_THREADS=1 and =2 for per-thread rates.
"""

import os
import random
import statistics
import sys
import time
import timeit

import quillon

rng = random.Random(7)


def text(n: int, alphabet: str = "abcdefgh ") -> str:
    return "".join(rng.choice(alphabet) for _ in range(n))


SHORT = ("kitten", "sitting")
WORDS = ("abcdefghij", "abcdxfghik")
LONG = {n: (text(n), text(n)) for n in (1000, 5000)}
WIDE = {n: (a.replace("a", "\u00e9"), b.replace("a", "\u00e9")) for n, (a, b) in LONG.items()}
NW = (1, -1, -1)
AFFINE = (1, -1, -3, -1)

# (function name, extra arguments, which pairs)
CASES = [
    ("levenshtein_distance", (), ["short", "words", 1000, 5000, "wide1000"]),
    ("levenshtein_myers", (), ["short", 1000]),
    ("damerau_levenshtein_distance", (), ["short", "words", 1000, 5000]),
    ("damerau_ratio", (), ["words", 1000]),
    ("jaro_similarity", (), ["short", "words", 1000]),
    ("jaro_winkler_similarity", (), ["short", "words", 1000]),
    ("jaro_optimized", (), ["words", 1000]),
    ("needleman_wunsch_score", NW, ["short", "words", 1000, 5000]),
    ("needleman_wunsch_striped", NW, ["words", 1000, 5000]),
    ("needleman_wunsch_affine", AFFINE, ["short", "words", 1000, 5000]),
    ("fuzz_ratio", (), ["words", 1000, "wide1000"]),
    ("fuzz_qratio", (), ["words", 1000]),
    ("fuzz_partial_ratio", (), ["words", "short_in_long", "wide_short_in_long", 1000]),
    ("fuzz_partial_ratio_alignment", (), ["words", "short_in_long", 1000]),
    ("fuzz_token_sort_ratio", (), ["words", 1000]),
    ("fuzz_token_set_ratio", (), ["words", 1000]),
    ("fuzz_token_ratio", (), ["words", 1000]),
    ("fuzz_partial_token_sort_ratio", (), ["words", 1000]),
    ("fuzz_partial_token_set_ratio", (), ["words", 1000]),
    ("fuzz_partial_token_ratio", (), ["words", 1000]),
    ("fuzz_wratio", (), ["words", "short_in_long", "wide_short_in_long", 1000]),
]


def pair(kind):
    if kind == "short":
        return SHORT
    if kind == "words":
        return WORDS
    if kind == "short_in_long":
        return WORDS[0], LONG[1000][0]
    if kind == "wide_short_in_long":
        return WORDS[0].replace("a", "\u00e9"), WIDE[1000][0]
    if isinstance(kind, str) and kind.startswith("wide"):
        return WIDE[int(kind[4:])]
    return LONG[kind]


# --cpu: processor time of the whole process (every pool thread) instead of wall time, which
# other load on the machine does not inflate; with N threads it is N times the wall time of a
# perfectly parallel call, so it reads as time per choice per thread.
CLOCK = time.process_time if "--cpu" in sys.argv else time.perf_counter


def median_us(statement, namespace, budget=0.2) -> float:
    timer = timeit.Timer(statement, timer=CLOCK, globals=namespace)
    number, elapsed = timer.autorange()
    repeats = max(3, min(15, int(budget / max(elapsed, 1e-9) * 1)))
    return statistics.median(timer.repeat(repeat=repeats, number=number)) / number * 1e6


def main() -> None:
    args = [a for a in sys.argv[1:] if a != "--cpu"]
    pattern = args[0] if args else ""
    print(f"quillon {quillon.__version__}: median microseconds per call")
    for name, extra, kinds in CASES:
        if pattern not in name or not hasattr(quillon, name):
            continue
        statement = f"f(a, b{''.join(', ' + repr(x) for x in extra)})"
        cells = []
        for kind in kinds:
            a, b = pair(kind)
            namespace = {"f": getattr(quillon, name), "a": a, "b": b}
            cells.append(f"{kind}: {median_us(statement, namespace):.3f}")
        print(f"  {name:<32} " + ", ".join(cells))
    if pattern in "fuzz_extract":
        choices = [text(rng.randint(5, 30), "abcdefghijklmnop ") for _ in range(100_000)]
        namespace = {"quillon": quillon, "choices": choices}
        for name in ("fuzz_extract", "fuzz_extract_one", "fuzz_ratio_batch"):
            statement = f"quillon.{name}('abcdefg hij', choices)"
            print(
                f"  {name + ', 100 000 choices':<40} {median_us(statement, namespace) / 1000:.2f} ms"
            )
    if pattern in "fuzz_extract" or pattern == "choices":
        choice_rows()


ACCENTS = {"e": "\u00e9", "a": "\u00e0", "o": "\u00f6", "u": "\u00fc", "n": "\u00f1"}


def accented(word: str, rng: random.Random) -> str:
    return "".join(ACCENTS[c] if c in ACCENTS and rng.random() < 0.5 else c for c in word)


def typo(word: str, rng: random.Random) -> str:
    k = rng.randrange(len(word))
    return word[:k] + rng.choice("xyz") + word[k + 1 :]


def choice_rows() -> None:
    wrng = random.Random(11)
    letters = "abcdefghijklmnopqrstuvwxyz"
    words = [
        "".join(wrng.choice(letters) for _ in range(wrng.randint(5, 30))) for _ in range(100_000)
    ]
    lists = {"ascii": words, "accented": [accented(w, wrng) for w in words]}
    threads = os.environ.get("RAYON_NUM_THREADS", "default")
    print(f"  ns per choice, 100 000 choices of 5-30 letters, RAYON_NUM_THREADS={threads}")
    for kind, choices in lists.items():
        picked = [choices[wrng.randrange(len(choices))] for _ in range(5)]
        queries = {"word": picked, "typo": [typo(w, wrng) for w in picked]}
        for name in ("fuzz_extract", "fuzz_extract_one", "fuzz_ratio_batch"):
            cells = []
            for query_kind, qs in queries.items():
                namespace = {"f": getattr(quillon, name), "qs": qs, "choices": choices}
                per_call = median_us("for q in qs: f(q, choices)", namespace, 1.0) / len(qs)
                cells.append(f"{query_kind}: {per_call * 1000 / len(choices):.1f}")
            print(f"  {name + ', ' + kind:<32} " + ", ".join(cells))


if __name__ == "__main__":
    main()
