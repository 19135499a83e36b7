"""Demonstration run: `python -m quillon` scores a few pairs with the main scorers."""

import quillon

PAIRS = [
    ("kitten", "sitting"),
    ("MARTHA", "MARHTA"),
    ("café", "cafe"),
    ("new york mets", "new york meats"),
    ("fuzzy wuzzy was a bear", "wuzzy fuzzy was a bear"),
    ("york", "new york yankees"),
]

COLUMNS = [
    ("levenshtein", lambda a, b: f"{quillon.levenshtein_distance(a, b)}"),
    ("damerau", lambda a, b: f"{quillon.damerau_levenshtein_distance(a, b)}"),
    ("jaro_winkler", lambda a, b: f"{quillon.jaro_winkler_similarity(a, b):.4f}"),
    ("ratio", lambda a, b: f"{quillon.fuzz_ratio(a, b):.2f}"),
    ("partial", lambda a, b: f"{quillon.fuzz_partial_ratio(a, b):.2f}"),
    ("token_set", lambda a, b: f"{quillon.fuzz_token_set_ratio(a, b):.2f}"),
    ("wratio", lambda a, b: f"{quillon.fuzz_wratio(a, b):.2f}"),
]


def main() -> None:
    print(f"quillon {quillon.__version__} ({quillon.hardware_info()})")
    width = max(len(a) + len(b) for a, b in PAIRS) + 6
    print(f"{'pair':<{width}}" + "".join(f"{name:>14}" for name, _ in COLUMNS))
    for a, b in PAIRS:
        cells = "".join(f"{score(a, b):>14}" for _, score in COLUMNS)
        print(f"{repr(a) + ' ' + repr(b):<{width}}{cells}")
    choices = [b for _, b in PAIRS]
    print(f"\nbest matches of 'new york' among {choices}:")
    for choice, score, index in quillon.fuzz_extract("new york", choices, 0.0, 3):
        print(f"  {score:6.2f}  #{index}  {choice!r}")


if __name__ == "__main__":
    main()
