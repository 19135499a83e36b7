#!/usr/bin/env python3
"""Damerau-Levenshtein distance and ratio: byte and scalar routes, batches, cross-products."""

from common import (
    Source,
    agree,
    bucket,
    check_forms,
    internals,
    main,
    quillon,
    reference,
    relabel,
    shift,
    shiftable,
)

# No word kernels here, and a full matrix per pair: fewer and shorter long texts.
SEAMS = [31, 32, 33, 63, 64, 65]


def check_pair(src: Source) -> None:
    a, b = src.pair()
    d = quillon.damerau_levenshtein_distance(a, b)
    bucket(len(a)), bucket(len(b)), bucket(d)
    agree("symmetric", quillon.damerau_levenshtein_distance(b, a), d, a, b)
    # Transpositions only ever save edits.
    lev = quillon.levenshtein_distance(a, b)
    if not abs(len(a) - len(b)) <= d <= lev:
        raise AssertionError(f"bounds: {d} outside [{abs(len(a) - len(b))}, {lev}] for {(a, b)!r}")
    total = len(a) + len(b)
    ratio = (total - d) / total * 100.0 if total else 100.0
    agree("ratio", quillon.damerau_ratio(a, b), ratio, a, b)
    if a.isascii() and b.isascii():
        agree("byte routine", internals.damerau_bytes(a.encode(), b.encode()), d, a, b)
    else:
        ra, rb = relabel(a, b)
        agree("relabelled", internals.damerau_bytes(ra.encode(), rb.encode()), d, a, b)
    if shiftable(a, b):
        agree("shifted ratio", quillon.damerau_ratio(shift(a), shift(b)), ratio, a, b)
    if len(a) * len(b) <= 64:
        agree("textbook", reference.damerau(a, b), d, a, b)


def check_batch(src: Source) -> None:
    check_forms(
        src,
        src.texts(1 + src.below(21), bool(src.byte() & 1)),
        quillon.damerau_levenshtein_distance,
        quillon.damerau_levenshtein_batch,
        quillon.damerau_levenshtein_batch_into,
        quillon.damerau_levenshtein_cdist,
        quillon.damerau_levenshtein_cdist_into,
    )


MODES = [check_pair, check_pair, check_pair, check_batch]


if __name__ == "__main__":
    main(globals())
