"""Damerau-Levenshtein (unrestricted) distance, ratio, batch and cross-product."""

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quillon
from reference import damerau
from strategies import shift, texts

dl_texts = st.one_of(
    st.text(alphabet="abc", max_size=10), st.text(alphabet="abcé😀", max_size=10), texts
)


@pytest.mark.parametrize(
    "a, b, distance, ratio",
    [
        ("", "", 0, 100.0),
        ("abc", "acb", 1, 500 / 6),
        ("ca", "abc", 2, 60.0),  # unrestricted: not optimal string alignment (3)
        ("abcdef", "badcfe", 3, 75.0),
        ("abc", "xyz", 3, 50.0),
        ("né", "én", 1, 75.0),
    ],
)
def test_known_values(a, b, distance, ratio):
    for x, y in ((a, b), (b, a)):
        assert quillon.damerau_levenshtein_distance(x, y) == distance
        total = len(x) + len(y)
        # (total - d) / total * 100 in this order: 500/6 is not 5/6 * 100 in binary.
        assert quillon.damerau_ratio(x, y) == (
            (total - distance) / total * 100.0 if total else 100.0
        )
    assert quillon.damerau_ratio(a, b) == pytest.approx(ratio, abs=1e-12)


@given(a=dl_texts, b=dl_texts)
def test_matches_reference_and_is_symmetric(a, b):
    expected = damerau(a, b)
    assert quillon.damerau_levenshtein_distance(a, b) == expected
    assert quillon.damerau_levenshtein_distance(b, a) == expected


@given(a=st.text(alphabet="abcd ", max_size=12), b=st.text(alphabet="abcd ", max_size=12))
def test_ascii_and_unicode_routes_agree(a, b):
    for function in (quillon.damerau_levenshtein_distance, quillon.damerau_ratio):
        assert function(shift(a), shift(b)) == function(a, b)


def test_byte_routine_requires_ascii(internals):
    assert internals.damerau_bytes(b"ca", b"abc") == 2
    with pytest.raises(BaseException, match="^damerau_bytes requires ASCII inputs$"):
        internals.damerau_bytes("é".encode(), b"e")
