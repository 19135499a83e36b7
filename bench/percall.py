"""Per-call time of the single-pair functions (and one extraction), in microseconds: the median
of timeit repeats, on short words and on long random texts.

    python bench/percall.py            # every function
    python bench/percall.py fuzz_      # functions whose name contains "fuzz_"
"""

import random
import statistics
import sys
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
    ("fuzz_partial_ratio", (), ["words", "short_in_long", 1000]),
    ("fuzz_partial_ratio_alignment", (), ["words", "short_in_long", 1000]),
    ("fuzz_token_sort_ratio", (), ["words", 1000]),
    ("fuzz_token_set_ratio", (), ["words", 1000]),
    ("fuzz_token_ratio", (), ["words", 1000]),
    ("fuzz_partial_token_sort_ratio", (), ["words", 1000]),
    ("fuzz_partial_token_set_ratio", (), ["words", 1000]),
    ("fuzz_partial_token_ratio", (), ["words", 1000]),
    ("fuzz_wratio", (), ["words", "short_in_long", 1000]),
]


def pair(kind):
    if kind == "short":
        return SHORT
    if kind == "words":
        return WORDS
    if kind == "short_in_long":
        return WORDS[0], LONG[1000][0]
    if isinstance(kind, str) and kind.startswith("wide"):
        return WIDE[int(kind[4:])]
    return LONG[kind]


def median_us(statement, namespace, budget=0.2) -> float:
    timer = timeit.Timer(statement, globals=namespace)
    number, elapsed = timer.autorange()
    repeats = max(3, min(15, int(budget / max(elapsed, 1e-9) * 1)))
    return statistics.median(timer.repeat(repeat=repeats, number=number)) / number * 1e6


def main() -> None:
    pattern = sys.argv[1] if len(sys.argv) > 1 else ""
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


if __name__ == "__main__":
    main()
