#!/usr/bin/env python3
"""Jaro and Jaro-Winkler: bit-parallel, flag-array and block routes, the multi-lane kernels,
batches and cross-products, all bit-identical."""

import numpy as np
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

LANES = {"4way_portable": 4, "8way_portable": 8, "4way_avx2": 4, "8way_avx2": 8, "8way_avx512": 8}
KERNELS = [k for k, n in LANES.items() if internals.jaro_kernel(k, b"a", [b"a"] * n) is not None]
NARROW = [
    k for k in ("portable", "avx2", "avx512") if internals.jaro_packed_batch(k, "a", []) is not None
]


def check_pair(src: Source) -> None:
    a, b = src.pair()
    p = src.probability()
    j = quillon.jaro_similarity(a, b)
    bucket(len(a)), bucket(len(b))
    ra, rb = relabel(a, b)
    # The flag-array kernel on bytes is the reference for the bit-parallel and block routes.
    agree("flag arrays", quillon.jaro_optimized(ra, rb), j, a, b)
    agree(
        "flag arrays, exchanged",
        quillon.jaro_optimized(rb, ra),
        quillon.jaro_similarity(b, a),
        a,
        b,
    )
    if ra != a or rb != b:
        agree("relabelled", quillon.jaro_similarity(ra, rb), j, a, b)
    if a.isascii() and b.isascii() and len(a) <= 64 and len(b) <= 64:
        agree("bit-parallel", internals.jaro_bitpar(a.encode(), b.encode()), j, a, b)
    if shiftable(a, b):
        agree("shifted", quillon.jaro_similarity(shift(a), shift(b)), j, a, b)
    if len(a) * len(b) <= 150:
        agree("textbook", reference.jaro(a, b), j, a, b)
    agree(
        "winkler", quillon.jaro_winkler_similarity(a, b, p), reference.winkler(j, a, b, p), a, b, p
    )


def check_batch(src: Source) -> None:
    # Batches of non-empty ASCII texts of at most 64 bytes take the lanes; one other text
    # anywhere sends them pair by pair.
    mode = src.byte()
    texts = src.texts(1 + src.below(21), bool(mode & 1))
    if mode & 2:
        texts = [t[:64] or "a" for t in texts]
    p = src.probability()
    expected = check_forms(
        src,
        texts,
        lambda a, b: quillon.jaro_winkler_similarity(a, b, p),
        lambda q, c: quillon.jaro_winkler_batch_fn(q, c, p),
        lambda q, c, out: quillon.jaro_winkler_batch_into(q, c, out, p),
        lambda x, y: quillon.jaro_winkler_cdist(x, y, p),
        lambda x, y, out: quillon.jaro_winkler_cdist_into(x, y, out, p),
        dtype=np.float64,
    )
    # Narrow lanes refuse a query that is empty or longer than 64 units, never a candidate.
    query, *candidates = texts
    fits = 0 < len(query) <= 64
    for kernel in NARROW:
        got = internals.jaro_packed_batch(kernel, query, candidates, p)
        agree(f"narrow {kernel}", got, expected if fits else None, query, candidates)
        cross = internals.jaro_packed_cross(kernel, texts, candidates, p)
        agree(f"narrow cross {kernel}", cross[:1], [expected] if candidates else [], query)


def check_kernels(src: Source) -> None:
    # The lanes require non-empty ASCII texts of at most 64 bytes.
    alphabet = src.alphabet(ascii_only=True)
    query = src.text(alphabet, 1 + src.below(64)).encode()
    group = []
    for _ in range(8):
        text = src.text(alphabet if src.byte() & 1 else src.alphabet(True)).encode()[:64]
        group.append(text or b"a")
    expected = [internals.jaro_bitpar(query, c) for c in group]
    bucket(len(query)), bucket(max(map(len, group)))
    for kernel in KERNELS:
        n = LANES[kernel]
        agree(
            kernel, internals.jaro_kernel(kernel, query, group[:n]), expected[:n], query, group[:n]
        )


MODES = [check_pair, check_pair, check_batch, check_kernels]


if __name__ == "__main__":
    main(globals())
