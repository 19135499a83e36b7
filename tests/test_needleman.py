"""Needleman-Wunsch scores: linear, affine and the byte route, with saturation."""

import random

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import INT64_MAX, INT64_MIN, nw_affine, nw_linear
from strategies import shift


nw_texts = st.one_of(st.text(alphabet="ACGT", max_size=12), st.text(alphabet="aé😀", max_size=8))
any_scores = st.one_of(
    st.integers(-5, 5),
    st.integers(INT64_MIN, INT64_MAX),
    st.sampled_from([INT64_MIN, INT64_MAX, 2**61, -(2**61)]),
)


class TestLinear:
    @pytest.mark.parametrize(
        "a, b, scores, expected",
        [
            ("", "abc", (1, -1, -2), -6),
            ("ab", "ab", (0, -1, 5), 0),
            ("ab", "abc", (0, -1, 5), 25),
            ("GATTACA", "GCATGCU", (1, -1, -1), 0),
            ("abc", "xyz", (2, -3, -1), -6),
            ("héllo", "hello", (1, -1, -1), 3),
            ("ab", "ab", (INT64_MAX, 0, 0), INT64_MAX),
            ("abc", "", (0, 0, -(2**62)), INT64_MIN),
        ],
    )
    def test_examples(self, a, b, scores, expected):
        assert quillon.needleman_wunsch_score(a, b, *scores) == expected
        assert quillon.needleman_wunsch_striped(a, b, *scores) == expected

    @given(a=nw_texts, b=nw_texts, m=any_scores, x=any_scores, g=any_scores)
    @example(a="AC", b="CA", m=INT64_MAX, x=INT64_MIN, g=INT64_MIN)
    def test_matches_reference(self, a, b, m, x, g):
        expected = nw_linear(a, b, m, x, g)
        assert quillon.needleman_wunsch_score(a, b, m, x, g) == expected
        assert quillon.needleman_wunsch_striped(a, b, m, x, g) == expected

    @pytest.mark.parametrize("lb", [1, 7, 8, 9, 15, 16, 17, 33])
    def test_striped_block_seams(self, lb):
        rng = random.Random(lb)
        for _ in range(20):
            a = "".join(rng.choice("ACGT") for _ in range(rng.randint(1, 20)))
            b = "".join(rng.choice("ACGT") for _ in range(lb))
            scores = (rng.randint(-3, 3), rng.randint(-3, 3), rng.randint(-3, 3))
            assert quillon.needleman_wunsch_striped(a, b, *scores) == nw_linear(a, b, *scores)

    @given(a=st.text(alphabet="ACGT", max_size=10), b=st.text(alphabet="ACGT", max_size=10))
    def test_ascii_and_unicode_agree(self, a, b):
        expected = quillon.needleman_wunsch_score(a, b, 2, -1, -1)
        assert quillon.needleman_wunsch_score(shift(a), shift(b), 2, -1, -1) == expected
        assert quillon.needleman_wunsch_striped(shift(a), b, 2, -1, -1) == nw_linear(
            shift(a), b, 2, -1, -1
        )


class TestAffine:
    @pytest.mark.parametrize(
        "a, b, scores, expected",
        [
            ("", "ACGT", (1, -1, -5, -1), -9),
            ("abc", "abc", (2, -1, -5, -1), 6),
            ("abcdef", "abef", (1, -1, -3, -1), -1),
            ("kitten", "mitten", (1, -1, -2, -1), 4),
        ],
    )
    def test_examples(self, a, b, scores, expected):
        assert quillon.needleman_wunsch_affine(a, b, *scores) == expected

    @given(a=nw_texts, b=nw_texts, m=any_scores, x=any_scores, o=any_scores, e=any_scores)
    def test_saturating_reference(self, a, b, m, x, o, e):
        assert quillon.needleman_wunsch_affine(a, b, m, x, o, e) == nw_affine(a, b, m, x, o, e)
