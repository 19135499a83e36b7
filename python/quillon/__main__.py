"""Demonstration run: `python -m quillon` scores a few pairs with each available scorer."""

import quillon

PAIRS = [
    ("kitten", "sitting"),
    ("saturday", "sunday"),
    ("café", "cafe"),
    ("new york mets", "new york meats"),
]


def main() -> None:
    print(f"quillon {quillon.__version__} ({quillon.hardware_info()})")
    print(f"{'a':<16}{'b':<16}{'levenshtein':>12}{'ratio':>10}{'qratio':>10}")
    for a, b in PAIRS:
        print(
            f"{a:<16}{b:<16}{quillon.levenshtein_distance(a, b):>12}"
            f"{quillon.fuzz_ratio(a, b):>10.2f}{quillon.fuzz_qratio(a, b):>10.2f}"
        )


if __name__ == "__main__":
    main()
