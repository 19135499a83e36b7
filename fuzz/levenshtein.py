#!/usr/bin/env python3
"""Levenshtein distance: single-pair routes, batches, cross-products, the multi-lane kernels
and the UTF-8 decoding under them, each against the others and the row programmes."""

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
# The kernels this processor runs; the others answer None.
KERNELS = [k for k, n in LANES.items() if internals.myers_kernel(k, b"a", [b""] * n) is not None]
NARROW = [
    k for k in ("portable", "avx2", "avx512") if internals.packed_batch(k, "a", []) is not None
]


def check_pair(src: Source) -> None:
    a, b = src.pair()
    d = quillon.levenshtein_distance(a, b)
    bucket(len(a)), bucket(len(b)), bucket(d)
    agree("symmetric", quillon.levenshtein_distance(b, a), d, a, b)
    agree("myers entry", quillon.levenshtein_myers(a, b), d, a, b)
    agree("scalar rows", internals.levenshtein_rows_scalars(a, b), d, a, b)
    agree("scalar bit-parallel", internals.levenshtein_scalars(a, b), d, a, b)
    if a.isascii() and b.isascii():
        ab, bb = a.encode(), b.encode()
        agree("byte rows", internals.levenshtein_rows_bytes(ab, bb), d, a, b)
        agree("byte blocks", internals.levenshtein_myers(ab, bb), d, a, b)
        if 0 < len(ab) <= 64:
            agree("one word", internals.levenshtein_myers_word(ab, bb), d, a, b)
    else:
        ra, rb = relabel(a, b)
        agree("relabelled", internals.levenshtein_rows_bytes(ra.encode(), rb.encode()), d, a, b)
    if shiftable(a, b):
        sa = shift(a)
        agree("shifted", quillon.levenshtein_distance(sa, shift(b)), d, a, b)
        agree(
            "one side shifted",
            quillon.levenshtein_distance(sa, b),
            internals.levenshtein_rows_scalars(sa, b),
            a,
            b,
        )
    if len(a) * len(b) <= 200:
        agree("textbook", reference.levenshtein(a, b), d, a, b)


def check_batch(src: Source) -> None:
    ascii_only = bool(src.byte() & 1)
    query, *candidates = src.texts(1 + src.below(21), ascii_only)
    expected = check_forms(
        src,
        [query, *candidates],
        quillon.levenshtein_distance,
        quillon.levenshtein_batch,
        quillon.levenshtein_batch_into,
        quillon.levenshtein_cdist,
        quillon.levenshtein_cdist_into,
    )
    pairs = [(query, c) for c in candidates]
    agree("pairs", internals.levenshtein_pairs(pairs), expected, query, candidates)
    # Narrow lanes refuse a query that is empty or longer than 64 units, never a candidate.
    fits = 0 < len(query) <= 64
    for kernel in NARROW:
        got = internals.packed_batch(kernel, query, candidates)
        agree(f"narrow {kernel}", got, expected if fits else None, query, candidates)
        cross = internals.packed_cross(kernel, [query, *candidates], candidates)
        agree(f"narrow cross {kernel}", cross[:1], [expected] if candidates else [], query)
    # Pairs with differing first texts leave the lanes.
    mixed = [(c, candidates[-1 - i]) for i, c in enumerate(candidates)]
    agree(
        "mixed pairs",
        internals.levenshtein_pairs(mixed),
        [quillon.levenshtein_distance(x, y) for x, y in mixed],
        mixed,
    )


def check_kernels(src: Source) -> None:
    alphabet = src.alphabet(ascii_only=True)
    pattern = src.text(alphabet, 1 + src.below(64)).encode()
    texts = [
        src.text(alphabet if src.byte() & 1 else src.alphabet(True)).encode() for _ in range(8)
    ]
    expected = internals.myers_kernel("single", pattern, texts)
    bucket(len(pattern)), bucket(max(map(len, texts)))
    agree(
        "one word",
        [internals.levenshtein_myers_word(pattern, t) for t in texts],
        expected,
        pattern,
        texts,
    )
    agree(
        "rows",
        [internals.levenshtein_rows_bytes(pattern, t) for t in texts],
        expected,
        pattern,
        texts,
    )
    for kernel in KERNELS:
        n = LANES[kernel]
        agree(
            kernel,
            internals.myers_kernel(kernel, pattern, texts[:n]),
            expected[:n],
            pattern,
            texts[:n],
        )


def check_decoding(src: Source) -> None:
    # Each maximal ill-formed subsequence is one U+FFFD, as Python's "replace" handler does.
    x, y = src.raw(), src.raw()
    sx, sy = x.decode("utf-8", "replace"), y.decode("utf-8", "replace")
    agree("decode", internals.decode_utf8(x), [ord(c) for c in sx], x)
    agree("ascii test", internals.is_ascii(x), x.isascii(), x)
    agree(
        "ill-formed distance",
        internals.levenshtein_myers(x, y),
        internals.levenshtein_rows_scalars(sx, sy),
        x,
        y,
    )


MODES = [check_pair, check_pair, check_batch, check_kernels, check_decoding]


if __name__ == "__main__":
    main(globals())
