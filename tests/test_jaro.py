"""Jaro and Jaro-Winkler: exact values, every route bit-identical to the flag-array kernel."""

import math
import random
from fractions import Fraction

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import jaro, jaro_winkler
from strategies import shift, texts

np = pytest.importorskip("numpy")

jaro_texts = st.one_of(
    st.text(alphabet="abc", max_size=12),
    st.text(alphabet="abcdef", min_size=20, max_size=150),
    texts,
)
scales = st.one_of(st.sampled_from([0.0, 0.1, 0.25]), st.floats(min_value=0.0, max_value=0.25))


def close_to(value, fraction):
    return value == float(Fraction(fraction)) or math.isclose(
        value, float(fraction), rel_tol=0, abs_tol=1e-15
    )


class TestKnownValues:
    @pytest.mark.parametrize(
        "a, b, expected",
        [
            ("", "", 1.0),
            ("", "abc", 0.0),
            ("abc", "", 0.0),
            ("a", "b", 0.0),
            ("ab", "ba", 0.0),
            ("abc", "abc", 1.0),
        ],
    )
    def test_exact(self, a, b, expected):
        for f in (quillon.jaro_similarity, quillon.jaro_optimized):
            assert f(a, b) == expected

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

    def test_winkler_rules(self):
        assert quillon.jaro_winkler_similarity("DIXON", "DICKSONX", 0.0) == quillon.jaro_similarity(
            "DIXON", "DICKSONX"
        )
        assert quillon.jaro_winkler_similarity("", "") == 1.0
        assert quillon.jaro_winkler_similarity("", "abc") == 0.0
        # Below 0.7 nothing is added, however long the shared prefix.
        low = quillon.jaro_similarity("abcdzzzzzzzzzzzz", "abcdyyyyyyyyyyyy")
        assert low < 0.7
        assert quillon.jaro_winkler_similarity("abcdzzzzzzzzzzzz", "abcdyyyyyyyyyyyy", 0.25) == low
        # The prefix counts at most four characters, scalars rather than bytes.
        assert quillon.jaro_winkler_similarity("ééééé", "éééééx") == jaro_winkler("ééééé", "éééééx")


class TestRoutes:
    @given(a=jaro_texts, b=jaro_texts, p=scales)
    @example(a="a" * 64, b="a" * 63 + "b", p=0.1)
    @example(a="ab" * 33, b="ba" * 33, p=0.1)
    @example(a="x" * 129, b="x" * 128 + "y", p=0.2)
    def test_matches_reference(self, a, b, p):
        expected = jaro(a, b)
        assert quillon.jaro_similarity(a, b) == expected
        assert quillon.jaro_optimized(a, b) == expected
        assert quillon.jaro_winkler_similarity(a, b, p) == jaro_winkler(a, b, p)

    @given(a=st.text(alphabet="abcd ", max_size=140), b=st.text(alphabet="abcd ", max_size=140))
    def test_ascii_and_unicode_agree(self, a, b):
        assert quillon.jaro_similarity(shift(a), shift(b)) == quillon.jaro_similarity(a, b)

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


class TestKernels:
    @given(
        a=st.text(alphabet="abc\x00\x7f", max_size=64),
        b=st.text(alphabet="abc\x00\x7f", max_size=64),
    )
    def test_bitpar_equals_reference(self, internals, a, b):
        assert internals.jaro_bitpar(a.encode(), b.encode()) == jaro(a, b)

    @pytest.mark.parametrize(
        "kernel, lanes",
        [
            ("4way_portable", 4),
            ("8way_portable", 8),
            ("4way_avx2", 4),
            ("8way_avx512", 8),
            ("4way", 4),
        ],
    )
    def test_lanes_equal_bitpar(self, internals, kernel, lanes):
        if internals.jaro_kernel(kernel, b"a", [b"a"] * lanes) is None:
            pytest.skip(f"this processor cannot run {kernel}")
        rng = random.Random(kernel)
        for _ in range(400):
            query = bytes(
                rng.choice(b"abcde")
                for _ in range(rng.choice([1, 2, 7, 63, 64, rng.randint(1, 64)]))
            )
            group = [
                bytes(
                    rng.choice(b"abcde") for _ in range(rng.choice([1, 3, 64, rng.randint(1, 64)]))
                )
                for _ in range(lanes)
            ]
            expected = [internals.jaro_bitpar(query, c) for c in group]
            assert internals.jaro_kernel(kernel, query, group) == expected, (query, group)

    @pytest.mark.parametrize("n", [0, 1, 2, 3, 4, 5, 8, 13])
    def test_width_any_count(self, internals, n):
        rng = random.Random(n)
        query = b"abcabcab"
        group = [bytes(rng.choice(b"abc") for _ in range(rng.randint(1, 20))) for _ in range(n)]
        assert internals.jaro_kernel("width", query, group) == [
            internals.jaro_bitpar(query, c) for c in group
        ]

    def test_preconditions_are_faults(self, internals):
        with pytest.raises(BaseException) as info:
            internals.jaro_bitpar(b"a" * 65, b"abc")
        assert (
            str(info.value)
            == "jaro_bitpar: inputs must be ASCII \u2264 64 bytes (got a=65 bytes ascii=true, b=3 bytes ascii=true)"
        )
        with pytest.raises(BaseException) as info:
            internals.jaro_bitpar(b"ab", "é".encode())
        assert (
            str(info.value)
            == "jaro_bitpar: inputs must be ASCII \u2264 64 bytes (got a=2 bytes ascii=true, b=2 bytes ascii=false)"
        )
        with pytest.raises(BaseException) as info:
            internals.jaro_kernel("4way", b"a" * 65, [b"a"] * 4)
        assert (
            str(info.value)
            == "jaro_4way: first argument must be ASCII \u2264 64 bytes (got 65 bytes, ascii=true)"
        )


class TestBatch:
    @given(query=jaro_texts, candidates=st.lists(jaro_texts, max_size=12), p=scales)
    def test_batch_equals_single(self, query, candidates, p):
        expected = [quillon.jaro_winkler_similarity(query, c, p) for c in candidates]
        assert quillon.jaro_winkler_batch_fn(query, candidates, p) == expected

    @pytest.mark.parametrize("size", [0, 1, 3, 4, 7, 8, 10, 13, 4095, 4096, 4100, 8200])
    def test_lanes_route_chunks_and_tails(self, size):
        rng = random.Random(size)
        candidates = [
            "".join(rng.choice("abcd") for _ in range(rng.randint(1, 64))) for _ in range(size)
        ]
        query = "abcdabcdab"
        assert quillon.jaro_winkler_batch_fn(query, candidates) == [
            jaro_winkler(query, c) for c in candidates
        ]

    @pytest.mark.parametrize("odd", ["", "a" * 65, "é", "abcé"])
    def test_per_pair_route(self, odd):
        candidates = ["abc", "abd", "abcd", "x" * 64] * 3
        candidates.insert(5, odd)
        for query in ("abc", odd):
            assert quillon.jaro_winkler_batch_fn(query, candidates) == [
                jaro_winkler(query, c) for c in candidates
            ]

    def test_lanes_boost_like_single_pairs(self):
        # Values on both sides of the 0.7 threshold, with and without shared prefixes.
        rng = random.Random(7)
        query = "abcabcabcabc"
        candidates = [
            "".join(rng.choice("abc") for _ in range(rng.randint(1, 20))) for _ in range(2000)
        ]
        values = quillon.jaro_winkler_batch_fn(query, candidates, 0.25)
        assert values == [jaro_winkler(query, c, 0.25) for c in candidates]
        assert any(0.7 <= jaro(query, c) < 0.8 for c in candidates)
        assert any(0.6 <= jaro(query, c) < 0.7 for c in candidates)

    @given(
        list_a=st.lists(jaro_texts, max_size=5), list_b=st.lists(jaro_texts, max_size=7), p=scales
    )
    def test_cdist_equals_nested_single(self, list_a, list_b, p):
        expected = (
            [[quillon.jaro_winkler_similarity(a, b, p) for b in list_b] for a in list_a]
            if list_a and list_b
            else []
        )
        assert quillon.jaro_winkler_cdist(list_a, list_b, p) == expected

    def test_cdist_empty_lists(self):
        assert quillon.jaro_winkler_cdist(["a"], []) == []
        assert quillon.jaro_winkler_cdist([], ["a"]) == []


class TestPrefixScale:
    @pytest.mark.parametrize("p", [0.0, 0.25, 0, False, 0.1])
    def test_accepted(self, p):
        quillon.jaro_winkler_similarity("a", "b", p)

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

    def test_conversion_failure_has_a_note(self):
        with pytest.raises(TypeError) as info:
            quillon.jaro_winkler_batch_fn("a", 5, p=None)
        assert info.value.__notes__ == ["while processing 'p'"]


class TestInto:
    def test_batch_into(self):
        candidates = ["abc", "abd", "", "xyz", "é"] * 3
        out = np.full(len(candidates), -1.0)
        assert quillon.jaro_winkler_batch_into("abc", candidates, out, 0.2) is None
        assert out.tolist() == quillon.jaro_winkler_batch_fn("abc", candidates, 0.2)

    def test_cdist_into(self):
        out = np.zeros((2, 3))
        quillon.jaro_winkler_cdist_into(["abc", "x"], ["abc", "abd", ""], out)
        assert out.tolist() == quillon.jaro_winkler_cdist(["abc", "x"], ["abc", "abd", ""])

    def test_refusals(self):
        with pytest.raises(TypeError, match="'ndarray' object is not an instance of 'ndarray'"):
            quillon.jaro_winkler_batch_into("a", ["b"], np.zeros(1, dtype=np.uint32))
        with pytest.raises(ValueError, match="^out must hold exactly 1 float64 elements, got 2$"):
            quillon.jaro_winkler_batch_into("a", ["b"], np.zeros(2))
        with pytest.raises(ValueError, match=r"^out must have shape \(1, 1\), got \[1, 2\]$"):
            quillon.jaro_winkler_cdist_into(["a"], ["b"], np.zeros((1, 2)))
        unaligned = np.zeros(17, dtype=np.uint8)[1:9].view(np.float64)
        assert not unaligned.flags.aligned
        with pytest.raises(BufferError, match="^out must be C-contiguous$"):
            quillon.jaro_winkler_batch_into("a", ["b"], unaligned)
