#!/usr/bin/env python3
"""Needleman-Wunsch scores, linear and affine: byte, blocked and scalar routes and batches,
with scores up to the 64-bit limits, against the saturating references."""

from common import Source, agree, bucket, main, quillon, reference, relabel, shift, shiftable

# A full row per text unit and a Python reference: moderate lengths, one word seam.
SEAMS = [7, 8, 9, 15, 16, 17, 63, 64, 65]


def check_linear(src: Source) -> None:
    a, b = src.pair()
    scores = src.score(), src.score(), src.score()
    s = quillon.needleman_wunsch_score(a, b, *scores)
    bucket(len(a)), bucket(len(b))
    agree("blocked", quillon.needleman_wunsch_striped(a, b, *scores), s, a, b, scores)
    ra, rb = relabel(a, b)
    agree("relabelled", quillon.needleman_wunsch_striped(ra, rb, *scores), s, a, b, scores)
    if shiftable(a, b):
        agree(
            "shifted", quillon.needleman_wunsch_score(shift(a), shift(b), *scores), s, a, b, scores
        )
    if len(a) * len(b) <= 64:
        agree("textbook", reference.nw_linear(a, b, *scores), s, a, b, scores)


def check_affine(src: Source) -> None:
    a, b = src.pair()
    scores = src.score(), src.score(), src.score(), src.score()
    s = quillon.needleman_wunsch_affine(a, b, *scores)
    bucket(len(a)), bucket(len(b))
    ra, rb = relabel(a, b)
    agree("relabelled", quillon.needleman_wunsch_affine(ra, rb, *scores), s, a, b, scores)
    if shiftable(a, b):
        agree(
            "shifted", quillon.needleman_wunsch_affine(shift(a), shift(b), *scores), s, a, b, scores
        )
    if len(a) * len(b) <= 36:
        agree("textbook", reference.nw_affine(a, b, *scores), s, a, b, scores)
    match, mismatch, _, extend = scores
    if max(map(abs, scores)) < 2**40:
        # Without saturation, a free opening leaves linear gaps.
        agree(
            "free opening",
            quillon.needleman_wunsch_affine(a, b, match, mismatch, 0, extend),
            quillon.needleman_wunsch_score(a, b, match, mismatch, extend),
            a,
            b,
            scores,
        )


def check_batch(src: Source) -> None:
    query, *candidates = src.texts(1 + src.below(13), bool(src.byte() & 1))
    linear = src.score(), src.score(), src.score()
    agree(
        "batch",
        quillon.needleman_wunsch_batch_fn(query, candidates, *linear),
        [quillon.needleman_wunsch_score(query, c, *linear) for c in candidates],
        query,
        candidates,
        linear,
    )
    affine = linear + (src.score(),)
    agree(
        "affine batch",
        quillon.needleman_wunsch_affine_batch(query, candidates, *affine),
        [quillon.needleman_wunsch_affine(query, c, *affine) for c in candidates],
        query,
        candidates,
        affine,
    )


MODES = [check_linear, check_linear, check_affine, check_affine, check_batch]


if __name__ == "__main__":
    main(globals())
