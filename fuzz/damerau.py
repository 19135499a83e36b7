#!/usr/bin/env python3
"""Damerau-Levenshtein distance and ratio: byte and scalar routes, batches, cross-products."""

import numpy as np
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
    query, *candidates = src.texts(1 + src.below(21), bool(src.byte() & 1))
    expected = [quillon.damerau_levenshtein_distance(query, c) for c in candidates]
    agree(
        "batch", quillon.damerau_levenshtein_batch(query, candidates), expected, query, candidates
    )
    out = np.full(len(candidates), 0xFFFFFFFF, dtype=np.uint32)
    quillon.damerau_levenshtein_batch_into(query, candidates, out)
    agree("batch into", out.tolist(), expected, query, candidates)
    k = src.below(len(candidates) + 1)
    list_a, list_b = [query] + candidates[:k], candidates[k:]
    nested = (
        [[quillon.damerau_levenshtein_distance(x, y) for y in list_b] for x in list_a]
        if list_b
        else []
    )
    agree("cdist", quillon.damerau_levenshtein_cdist(list_a, list_b), nested, list_a, list_b)
    matrix = np.full((len(list_a), len(list_b)), 0xFFFFFFFF, dtype=np.uint32)
    quillon.damerau_levenshtein_cdist_into(list_a, list_b, matrix)
    if list_b:
        agree("cdist into", matrix.tolist(), nested, list_a, list_b)


MODES = [check_pair, check_pair, check_pair, check_batch]


def check(src: Source) -> None:
    MODES[src.below(len(MODES))](src)


if __name__ == "__main__":
    main(globals())
