#!/usr/bin/env python3
"""The fuzzy ratio scorers: indel kernels, plain and quick ratio, partial ratio with alignment,
extraction and the ratio batch, against the references. The token scorers are in tokens.py."""

from common import (
    Source,
    agree,
    bucket,
    internals,
    main,
    quillon,
    reference,
    relabel,
    shift,
    shiftable,
)

textbook_indel = reference.indel


def expected_ratio(d: int, total: int, c: float) -> float:
    if total == 0:
        return 100.0 if c <= 100.0 else 0.0
    score = (1.0 - d / total) * 100.0
    return score if c <= score else 0.0


def check_plain(src: Source) -> None:
    a, b = src.pair()
    d = internals.indel_distance_rows(a, b)
    bucket(len(a)), bucket(len(b)), bucket(d)
    agree("indel bit-parallel", internals.indel_distance_slice(a, b), d, a, b)
    ba, bb = (
        (a.encode(), b.encode()) if a.isascii() and b.isascii() else map(str.encode, relabel(a, b))
    )
    agree("indel byte rows", internals.indel_distance_rows(ba, bb), d, a, b)
    agree("indel bytes", internals.indel_distance_slice(ba, bb), d, a, b)
    if len(a) * len(b) <= 64:
        agree("textbook indel", textbook_indel(a, b), d, a, b)
    total = len(a) + len(b)
    c = src.cutoff(near=expected_ratio(d, total, 0.0))
    r = expected_ratio(d, total, c)
    agree("ratio", quillon.fuzz_ratio(a, b, c), r, a, b, c)
    agree("ratio exchanged", quillon.fuzz_ratio(b, a, c), r, a, b, c)
    agree("qratio", quillon.fuzz_qratio(a, b, c), r if a and b else 0.0, a, b, c)
    if shiftable(a, b):
        agree("shifted", quillon.fuzz_ratio(shift(a), shift(b), c), r, a, b, c)


def check_partial(src: Source) -> None:
    a, b = src.pair()
    c = src.cutoff(near=quillon.fuzz_partial_ratio(a, b))
    found = quillon.fuzz_partial_ratio_alignment(a, b, c)
    bucket(len(a)), bucket(len(b))
    agree("score", quillon.fuzz_partial_ratio(a, b, c), found[0], a, b, c)
    # The window search without pruning scores every window, about (h + n) * n * n / 1000
    # microseconds: cheap pairs always, needles around 64 one time in 32, longer ones never
    # (the shifted and relabelled routes still cover them).
    n, h = sorted((len(a), len(b)))
    work = (h + n) * (n * n + 1000)
    if work <= 50_000 or (work <= 2_000_000 and src.byte() >= 0xF8):
        agree(
            "windows",
            reference.partial_alignment(a, b, c, internals.indel_distance_rows),
            found,
            a,
            b,
            c,
        )
    # Only equalities matter, and where they are.
    if shiftable(a, b):
        agree(
            "shifted", quillon.fuzz_partial_ratio_alignment(shift(a), shift(b), c), found, a, b, c
        )
    ra, rb = relabel(a, b)
    agree("relabelled", quillon.fuzz_partial_ratio_alignment(ra, rb, c), found, a, b, c)


def expected_extract(query, choices, c, limit):
    scores = quillon.fuzz_ratio_batch(query, choices)
    kept = [(x, s, i) for i, (x, s) in enumerate(zip(choices, scores)) if s >= c]
    kept.sort(key=lambda m: -m[1])  # stable: equal scores stay in index order
    return kept[:limit]


def check_extract(src: Source) -> None:
    src.seams = [31, 32, 33]  # scoring has its own checks; here the order and the cut-off count
    query, *choices = src.texts(1 + src.below(16))
    if src.byte() == 0xFF:
        # Past 1000 choices extraction runs on the pool and must keep the index order.
        choices = (choices or [query]) * (1001 // max(len(choices), 1) + 1)
    c = src.cutoff(near=quillon.fuzz_ratio(query, choices[0]) if choices else None)
    limit = src.byte() if src.byte() & 1 else src.below(8)
    bucket(len(choices))
    singles = [quillon.fuzz_ratio(query, x) for x in choices]
    agree("ratio batch", quillon.fuzz_ratio_batch(query, choices), singles, query, choices)
    expected = expected_extract(query, choices, c, limit)
    agree("extract", quillon.fuzz_extract(query, choices, c, limit), expected, query, choices, c)
    kept = [(x, s, i) for i, (x, s) in enumerate(zip(choices, singles)) if s >= c]
    best = max(kept, key=lambda m: m[1], default=None)  # max keeps the first of equals
    agree("extract one", quillon.fuzz_extract_one(query, choices, c), best, query, choices, c)


MODES = [check_plain, check_plain, check_partial, check_partial, check_extract]


if __name__ == "__main__":
    main(globals())
