"""Jaro and Jaro-Winkler: exact values, every route bit-identical to the flag-array kernel."""

import math
import random
from fractions import Fraction

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import jaro, jaro_winkler, winkler
from strategies import shift, texts
from test_levenshtein import ALPHABETS, seam_pairs


jaro_texts = st.one_of(
    st.text(alphabet="abc", max_size=12),
    st.text(alphabet="abcdef", min_size=20, max_size=150),
    texts,
)
scales = st.one_of(st.sampled_from([0.0, 0.1, 0.25]), st.floats(min_value=0.0, max_value=0.25))


def close_to(value, fraction):
    return math.isclose(value, float(fraction), rel_tol=0, abs_tol=1e-15)


class TestKnownValues:
    @pytest.mark.parametrize(
        "a, b, jaro_value, winkler_value",
        [
            ("MARTHA", "MARHTA", Fraction(17, 18), Fraction(173, 180)),
            ("aaaabc", "aaabca", Fraction(17, 18), None),
            ("DIXON", "DICKSONX", Fraction(23, 30), Fraction(61, 75)),
            ("abcdefgh", "abcdxfgh", Fraction(11, 12), Fraction(95, 100)),
            ("café", "cafe", Fraction(5, 6), Fraction(53, 60)),
        ],
    )
    def test_fractions(self, a, b, jaro_value, winkler_value):
        assert close_to(quillon.jaro_similarity(a, b), jaro_value)
        assert quillon.jaro_similarity(a, b) == jaro(a, b)
        if winkler_value is not None:
            assert close_to(quillon.jaro_winkler_similarity(a, b), winkler_value)
            assert quillon.jaro_winkler_similarity(a, b) == jaro_winkler(a, b)


class TestRoutes:
    @given(a=jaro_texts, b=jaro_texts, p=scales)
    @example(a="ab", b="ba", p=0.1)
    @example(a="a" * 64, b="a" * 63 + "b", p=0.1)
    @example(a="ab" * 33, b="ba" * 33, p=0.1)
    @example(a="x" * 129, b="x" * 128 + "y", p=0.2)
    @example(a="abcdzzzzzzzzzzzz", b="abcdyyyyyyyyyyyy", p=0.25)  # below 0.7: no prefix bonus
    @example(a="ééééé", b="éééééx", p=0.1)  # the prefix counts four scalars, not bytes
    def test_matches_reference(self, a, b, p):
        expected = jaro(a, b)
        assert quillon.jaro_similarity(a, b) == expected
        assert quillon.jaro_optimized(a, b) == expected
        assert quillon.jaro_winkler_similarity(a, b, p) == jaro_winkler(a, b, p)

    @pytest.mark.parametrize("size", [63, 64, 65, 127, 128, 129, 200, 700])
    def test_length_seams(self, size):
        rng = random.Random(size)
        for _ in range(20):
            a = "".join(rng.choice("abc") for _ in range(size))
            b = "".join(rng.choice("abc") for _ in range(rng.randint(size - 3, size + 3)))
            expected = jaro(a, b)
            assert quillon.jaro_similarity(a, b) == expected
            assert quillon.jaro_optimized(a, b) == expected
            assert quillon.jaro_similarity(shift(a), shift(b)) == expected
            assert quillon.jaro_winkler_similarity(shift(a), b) == jaro_winkler(shift(a), b)


def flag_arrays(internals, a, b):
    return internals.pair_routes(a.encode(), b.encode())[3]


@pytest.mark.parametrize("alphabet", ALPHABETS)
def test_fast_routes_equal_flag_arrays(internals, alphabet):
    for a, b in seam_pairs(ALPHABETS[alphabet], alphabet):
        expected = flag_arrays(internals, a, b)  # on scalar values too
        assert quillon.jaro_similarity(a, b) == expected, (a, b)
        assert quillon.jaro_optimized(a, b) == expected, (a, b)
        assert quillon.jaro_winkler_similarity(a, b, 0.2) == winkler(expected, a, b, 0.2), (a, b)


def edited(rng, text, alphabet, count):
    chars = list(text)
    for _ in range(count):
        k = rng.randrange(len(chars))
        chars[k : k + 2] = rng.choice([[rng.choice(alphabet)], chars[k : k + 2][::-1], []])
    return "".join(chars)


# Long pairs take the bit-set matching, whose windows cross 64-bit words; jaro_optimized must
# give the flag arrays' value through it. Repeated letters keep many equal units per window.
@pytest.mark.parametrize("alphabet", ["ab", "abcdefghijklmnopqrstuvwxyz", "aé", "a\u4e00😀"])
@pytest.mark.parametrize("size", [130, 1000, 3001])
def test_long_pairs_equal_flag_arrays(internals, alphabet, size):
    rng = random.Random(size)
    a = "".join(rng.choice(alphabet) for _ in range(size))
    pairs = [
        (a, edited(rng, a, alphabet, size // 10)),
        (a, "".join(rng.choice(alphabet) for _ in range(size // 3))),
        (a, a[::-1]),
        (a[: size // 2] * 2, a),
        (a, ""),
    ]
    for x, y in pairs:
        expected = flag_arrays(internals, x, y)
        for route in (quillon.jaro_optimized, quillon.jaro_similarity):
            assert route(x, y) == expected and route(y, x) == flag_arrays(internals, y, x)


class TestPrefixScale:
    @pytest.mark.parametrize("p", [0.2500001, -0.0001, float("nan"), float("inf"), 1.0, True])
    def test_refused_before_lists_and_buffers(self, p):
        message = "^Prefix scaling parameter 'p' must be between 0.0 and 0.25$"
        for call in (
            lambda: quillon.jaro_winkler_similarity("a", "b", p),
            lambda: quillon.jaro_winkler_batch_fn("a", 5, p=p),
            lambda: quillon.jaro_winkler_batch_into("a", 5, None, p),
            lambda: quillon.jaro_winkler_cdist(5, 5, p),
            lambda: quillon.jaro_winkler_cdist_into(5, 5, [], p=p),
        ):
            with pytest.raises(ValueError, match=message) as info:
                call()
            assert not hasattr(info.value, "__notes__")
