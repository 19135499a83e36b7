"""Quillon against other installable libraries, used as black boxes, on the same inputs.

    pip install '.[bench]' && python bench/peers.py

Prints the median time per call (single pairs) or per batch, and whether each peer returned the
same values as quillon on those inputs ("=" same, "~" different definition or rounding).
Peers that are not installed are skipped.
"""

import importlib
import random
import statistics
import timeit

import quillon

rng = random.Random(3)


def text(n, alphabet="abcdefghij"):
    return "".join(rng.choice(alphabet) for _ in range(n))


WORDS = [text(rng.randint(4, 12)) for _ in range(20_000)]
PAIRS = {
    "short": ("kitten", "sitting"),
    "1000": (text(1000), text(1000)),
}


def peer(module, attribute):
    try:
        return getattr(importlib.import_module(module), attribute)
    except (ImportError, AttributeError):
        return None


def edlib_distance(a, b):
    return peer("edlib", "align")(a, b)["editDistance"]


SINGLE = {
    "levenshtein": [
        ("quillon", quillon.levenshtein_distance),
        ("editdistance", peer("editdistance", "eval")),
        ("polyleven", peer("polyleven", "levenshtein")),
        ("jellyfish", peer("jellyfish", "levenshtein_distance")),
        ("edlib", edlib_distance if peer("edlib", "align") else None),
    ],
    "damerau": [
        ("quillon", quillon.damerau_levenshtein_distance),
        ("jellyfish", peer("jellyfish", "damerau_levenshtein_distance")),
    ],
    "jaro_winkler": [
        ("quillon", quillon.jaro_winkler_similarity),
        ("jellyfish", peer("jellyfish", "jaro_winkler_similarity")),
    ],
}


def median_seconds(call):
    timer = timeit.Timer(call)
    number, _ = timer.autorange()
    return statistics.median(timer.repeat(repeat=7, number=number)) / number


def main():
    for metric, entries in SINGLE.items():
        entries = [(name, f) for name, f in entries if f is not None]
        for kind, (a, b) in PAIRS.items():
            if metric == "damerau" and kind == "1000":
                a, b = a[:300], b[:300]  # the peers' matrices grow quadratically
            reference = entries[0][1](a, b)
            cells = []
            for name, f in entries:
                seconds = median_seconds(lambda: f(a, b))
                same = "=" if f(a, b) == reference else "~"
                cells.append(f"{name} {seconds * 1e6:9.3f} us {same}")
            print(f"{metric:<13}{kind:<7}" + " | ".join(cells))
    query = "abcdefgh"
    batch = [("quillon batch", lambda: quillon.levenshtein_batch(query, WORDS))]
    for name, f in SINGLE["levenshtein"][1:]:
        if f is not None:
            batch.append((f"{name} loop", lambda f=f: [f(query, w) for w in WORDS]))
    print(f"levenshtein, one query against {len(WORDS)} words:")
    for name, call in batch:
        print(f"  {name:<20}{median_seconds(call) * 1e3:9.2f} ms")


if __name__ == "__main__":
    main()
