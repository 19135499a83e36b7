"""Indel distance, fuzz_ratio and fuzz_qratio."""

import math

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import indel, qratio, ratio
from strategies import cutoffs, long_ascii_texts, long_unicode_texts, shift, texts, unicode_texts


SCORERS = [(quillon.fuzz_ratio, ratio), (quillon.fuzz_qratio, qratio)]


@pytest.mark.parametrize(
    "a, b, expected",
    [
        ("night", "nacht", 60.0),
        ("abcd", "abce", 75.0),
        ("A", "a", 0.0),
        ("é", "e", 0.0),
        ("kitten", "sitting", (1.0 - 5 / 13) * 100.0),
    ],
)
def test_examples(a, b, expected):
    assert quillon.fuzz_ratio(a, b) == expected
    assert quillon.fuzz_qratio(a, b) == expected


@pytest.mark.parametrize("scorer, reference", SCORERS)
class TestCutoff:
    def test_cutoff_equal_to_score_keeps_it(self, scorer, reference):
        assert scorer("abcd", "abce", 75.0) == 75.0
        assert scorer("abcd", "abce", math.nextafter(75.0, 100.0)) == 0.0

    @given(a=texts, b=texts, cutoff=cutoffs)
    @example(a="", b="", cutoff=0.0)
    def test_matches_reference(self, scorer, reference, a, b, cutoff):
        expected = reference(a, b, cutoff)
        assert scorer(a, b, cutoff) == expected
        assert scorer(b, a, cutoff) == expected  # symmetric, bit for bit


@given(a=long_ascii_texts, b=long_ascii_texts)
def test_ascii_and_unicode_routes_agree(a, b):
    expected = quillon.fuzz_ratio(a, b)
    assert quillon.fuzz_ratio(shift(a), shift(b)) == expected


class TestIndelKernels:
    @given(
        a=st.one_of(unicode_texts, long_unicode_texts, long_ascii_texts),
        b=st.one_of(unicode_texts, long_unicode_texts, long_ascii_texts),
    )
    @example(a="a" * 64, b="a" * 64 + "b")
    @example(a="ab" * 33, b="ba" * 33)
    @example(a="a" * 129, b="b" + "a" * 128)
    def test_byte_and_scalar_instances_against_rows(self, internals, a, b):
        for x, y in ((a, b), (a.encode(), b.encode())):
            expected = internals.indel_distance_rows(x, y)
            assert internals.indel_distance_slice(x, y) == expected
            assert internals.indel_distance_slice(y, x) == expected

    @pytest.mark.parametrize("size", [63, 64, 65, 127, 128, 129])
    def test_word_seams(self, internals, size):
        a = ("abcab" * 40)[:size]
        b = ("bacbd" * 40)[: size + 3]
        expected = indel(a, b)
        assert internals.indel_distance_slice(a.encode(), b.encode()) == expected
        assert internals.indel_distance_slice(a, b) == expected
        assert internals.indel_distance_rows(a, b) == expected
