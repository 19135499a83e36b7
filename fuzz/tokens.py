#!/usr/bin/env python3
"""Token scorers and the weighted ratio: splitting, set decomposition and every scorer against
the plain references, in both argument orders, on ASCII and on shifted text."""

from common import (
    Source,
    agree,
    bucket,
    internals,
    main,
    quillon,
    reference,
    shift,
    token_shiftable,
)

# The references count indel distances with the core's row programme, which ratio.py ties to
# the textbook LCS: the Python LCS would take most of the time here.
reference.indel = internals.indel_distance_rows


def partial(a: str, b: str, c: float) -> float:
    """The module's partial ratio inside the references; ratio.py checks it on its own."""
    return quillon.fuzz_partial_ratio_alignment(a, b, c)[0]


TOKEN_SCORERS = [
    (quillon.fuzz_token_sort_ratio, reference.token_sort_ratio),
    (quillon.fuzz_token_set_ratio, reference.token_set_ratio),
    (quillon.fuzz_token_ratio, reference.token_ratio),
    (
        quillon.fuzz_partial_token_sort_ratio,
        lambda a, b, c: reference.partial_token_sort_ratio(a, b, c, partial),
    ),
    (
        quillon.fuzz_partial_token_set_ratio,
        lambda a, b, c: reference.partial_token_set_ratio(a, b, c, partial),
    ),
    (
        quillon.fuzz_partial_token_ratio,
        lambda a, b, c: reference.partial_token_ratio(a, b, c, partial),
    ),
    (quillon.fuzz_wratio, lambda a, b, c: reference.wratio(a, b, c, partial)),
]


def check_tokens(src: Source) -> None:
    scorer, expected_of = TOKEN_SCORERS[src.below(len(TOKEN_SCORERS))]
    ascii_only = bool(src.byte() & 1)
    # Token texts, or plain texts (for the weighted ratio's length classes).
    a, b = (
        src.pair() if src.byte() & 1 else (src.token_text(ascii_only), src.token_text(ascii_only))
    )
    ta, tb = internals.sorted_split(a), internals.sorted_split(b)
    agree("split", ta, reference.sorted_split(a), a)
    agree(
        "decomposition",
        internals.set_decomposition(ta, tb),
        reference.set_decomposition(ta, tb),
        a,
        b,
    )
    bucket(len(" ".join(ta))), bucket(len(" ".join(tb)))
    # Both orders come up (the scorers are not all symmetric: with equal lengths the partial
    # ratio tries the second text as the needle first).
    c = src.cutoff(near=scorer(a, b))
    score = scorer(a, b, c)
    agree(scorer.__name__, score, expected_of(a, b, c), a, b, c)
    # Shifting keeps the token order only when every token is ASCII.
    if token_shiftable(a, b):
        agree(scorer.__name__ + " shifted", scorer(shift(a), shift(b), c), score, a, b, c)


def check(src: Source) -> None:
    check_tokens(src)


if __name__ == "__main__":
    main(globals())
