"""Levenshtein distance: every route against the textbook definition and against each other."""

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import levenshtein
from strategies import long_ascii_texts, long_unicode_texts, shift, texts, unicode_texts

ENTRIES = [quillon.levenshtein_distance, quillon.levenshtein_myers]


@pytest.mark.parametrize("distance", ENTRIES)
class TestKnownDistances:
    @pytest.mark.parametrize(
        "a, b, expected",
        [
            ("kitten", "sitting", 3),
            ("saturday", "sunday", 3),
            ("flaw", "lawn", 2),
            ("café", "cafe", 1),
            ("a😀b", "ab", 1),
            ("a\x00b", "ab", 1),
            ("a" * 64, "a" * 65, 1),
            ("a" * 65, "a" * 66, 1),
            ("a" * 63 + "b", "a" * 64, 1),  # differences at the top bit of the word
            ("a" * 63 + "b", "a" * 63 + "b" + "c" * 100, 100),
            ("x", "abcdefgh" * 20, 160),
            ("c", "abcdefgh" * 20, 159),
        ],
    )
    def test_examples(self, distance, a, b, expected):
        assert distance(a, b) == expected
        assert distance(b, a) == expected

    @given(a=texts, b=texts)
    @example(a="ab", b="ba")
    def test_matches_reference(self, distance, a, b):
        expected = levenshtein(a, b)
        assert distance(a, b) == expected
        assert distance(b, a) == expected


@given(a=long_ascii_texts, b=long_ascii_texts)
def test_ascii_and_unicode_routes_agree(a, b):
    # Shifting every letter out of ASCII keeps the distance and forces the scalar route.
    expected = quillon.levenshtein_distance(a, b)
    assert quillon.levenshtein_distance(shift(a), shift(b)) == expected
    assert quillon.levenshtein_distance(shift(a), b) == levenshtein(shift(a), b)


class TestInternalRoutes:
    @pytest.mark.parametrize("m", [1, 2, 31, 32, 33, 62, 63, 64])
    @pytest.mark.parametrize("n", [0, 1, 63, 64, 65, 200])
    def test_word_kernel_at_the_seams(self, internals, m, n):
        pattern = bytes((97 + (k * 7) % 5) for k in range(m))
        text = bytes((97 + (k * 3) % 6) for k in range(n))
        expected = levenshtein(pattern, text)
        assert internals.levenshtein_myers_word(pattern, text) == expected
        assert internals.levenshtein_rows_bytes(pattern, text) == expected

    @given(a=long_ascii_texts, b=long_ascii_texts)
    @example(a="a" * 65, b="b" * 65)
    @example(a="ab" * 64 + "c", b="ab" * 64)
    @example(a="abc" * 50, b="abc" * 49 + "x" + "abc")
    def test_block_kernel_against_rows(self, internals, a, b):
        # Patterns above 64 bytes run the multi-word kernel; the rows are the reference.
        ab, bb = a.encode(), b.encode()
        shorter, longer = sorted((ab, bb), key=len)
        expected = internals.levenshtein_rows_bytes(shorter, longer)
        assert internals.levenshtein_myers(ab, bb) == expected
        assert internals.levenshtein_myers(bb, ab) == expected

    @given(
        a=st.one_of(unicode_texts, long_unicode_texts, long_ascii_texts),
        b=st.one_of(unicode_texts, long_unicode_texts, long_ascii_texts),
    )
    def test_scalar_route_against_rows(self, internals, a, b):
        expected = internals.levenshtein_rows_scalars(a, b)
        assert internals.levenshtein_scalars(a, b) == expected
        assert quillon.levenshtein_distance(a, b) == expected


class TestDecoding:
    @given(data=st.binary(max_size=40))
    def test_matches_python_replace(self, internals, data):
        # Python's "replace" handler substitutes maximal ill-formed subparts the same way.
        assert internals.decode_utf8(data) == [ord(c) for c in data.decode("utf-8", "replace")]

    @pytest.mark.parametrize("size", [0, 1, 3, 4, 5, 7, 8, 9, 15, 63, 64, 65, 67, 71, 72, 129, 200])
    def test_ascii_test_every_position(self, internals, size):
        data = bytearray(b"x" * size)
        assert internals.is_ascii(bytes(data))
        for k in range(size):
            data[k] = 0x80
            assert not internals.is_ascii(bytes(data))
            data[k] = ord("x")
