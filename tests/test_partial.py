"""Partial ratio with alignment against a window search without pruning."""

import math
import random

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import partial_alignment
from strategies import shift, words


small = st.text(alphabet="ab c", max_size=14)
mixed = st.text(alphabet="abé😀 \u3000", max_size=14)
cutoff_values = st.one_of(
    st.sampled_from([0.0, 50.0, 100.0, 100.5, -5.0, math.nan]),
    st.floats(min_value=0, max_value=100),
)


class TestKnownAlignments:
    @pytest.mark.parametrize(
        "a, b, expected",
        [
            ("abc", "xxabcxx", (100.0, 0, 3, 2, 5)),
            ("abcd", "xxxab", (200 / 3, 0, 4, 3, 5)),
            ("xxabcxx", "abc", (100.0, 2, 5, 0, 3)),
            ("é", "aéb", (100.0, 0, 1, 1, 2)),
        ],
    )
    def test_examples(self, a, b, expected):
        assert quillon.fuzz_partial_ratio_alignment(a, b) == expected
        assert quillon.fuzz_partial_ratio(a, b) == expected[0]


class TestAgainstReference:
    @given(a=small | mixed, b=small | mixed, cutoff=cutoff_values)
    @example(a="ab", b="xxxxab", cutoff=0.0)
    @example(a="aa", b="abab", cutoff=math.nan)
    @example(a="abcx", b="xabc", cutoff=0.0)  # equal lengths: both texts are tried as the needle
    @example(a="xyzabq", b="abc", cutoff=100.5)
    def test_short(self, a, b, cutoff):
        assert quillon.fuzz_partial_ratio_alignment(a, b, cutoff) == partial_alignment(a, b, cutoff)

    @given(a=small, b=small)
    def test_true_score_as_cutoff(self, a, b):
        score = quillon.fuzz_partial_ratio(a, b)
        assert quillon.fuzz_partial_ratio_alignment(a, b, score) == partial_alignment(a, b, score)
        assert quillon.fuzz_partial_ratio(a, b, score) == score

    @given(
        a=st.text(alphabet="ab c", min_size=1, max_size=12), b=st.text(alphabet="ab c", max_size=12)
    )
    def test_ascii_and_unicode_agree(self, a, b):
        assert quillon.fuzz_partial_ratio_alignment(
            shift(a), shift(b)
        ) == quillon.fuzz_partial_ratio_alignment(a, b)

    @pytest.mark.parametrize(
        "a, b", list(zip(words(4, 30, "ab", 5, 150), words(5, 30, "abcd", 5, 150)))
    )
    def test_long_texts(self, internals, a, b):
        # Needles and windows across 64 and 128 characters, scored with the row programme.
        needle, haystack = (a, b) if len(a) <= len(b) else (b, a)
        needle = needle[: max(1, len(needle) // 2)] if len(needle) == len(haystack) else needle
        for x, y in ((needle, haystack), (haystack, needle), (shift(needle), shift(haystack))):
            expected = partial_alignment(x, y, 0.0, internals.indel_distance_rows)
            assert quillon.fuzz_partial_ratio_alignment(x, y) == expected


class TestSharedWindows:
    """Needles of 1 to 64 characters score every full window in lanes and take the window that
    the bisection would accept by rule; the route that scores each window on its own follows
    the bisection step by step."""

    @given(
        a=st.text(alphabet="ab", min_size=1, max_size=20),
        b=st.text(alphabet="abc", max_size=150),
        cutoff=cutoff_values,
    )
    @example(a="ab", b="ba" * 40, cutoff=0.0)  # many windows at the least distance
    @example(a="ab", b="ba", cutoff=0.0)  # equal lengths: the second needle's masks
    @example(a="a", b="ab", cutoff=math.nan)
    def test_against_each_window(self, internals, a, b, cutoff):
        for x, y in ((a, b), (b, a), (shift(a), shift(b))):
            assert quillon.fuzz_partial_ratio_alignment(
                x, y, cutoff
            ) == internals.partial_ratio_per_window(x, y, cutoff)

    @pytest.mark.parametrize("n", [1, 15, 16, 17, 31, 32, 33, 63, 64, 65])
    @pytest.mark.parametrize("extra", [1, 2, 7, 8, 9, 16, 17, 32, 33, 200])
    def test_lane_and_group_seams(self, internals, n, extra):
        # Lanes of 16, 32 and 64 bits; groups of 32, 16 and 8 windows, the last one partial.
        needle = words(n, 1, "abc", n, n)[0]
        haystack = words(n + extra, 1, "abcd", n + extra, n + extra)[0]
        for x, y in ((needle, haystack), (shift(needle), shift(haystack))):
            for cutoff in (0.0, 60.0):
                assert quillon.fuzz_partial_ratio_alignment(
                    x, y, cutoff
                ) == internals.partial_ratio_per_window(x, y, cutoff)


KERNELS = ["portable", "avx2", "avx512"]


def _text(rng, alphabet, n):
    return "".join(rng.choices(alphabet, k=n))


class TestKernels:
    """Every window sweep and comb this processor runs, against the route that scores each
    window on its own: needles across the lane widths and the 64-unit seam, haystacks across the
    sweep's blocks, needles longer than haystacks and equal lengths, 16- and 32-bit comb labels
    (needle plus haystack above 65536 units; 16-bit labels above 32767 too), and periodic texts
    where many windows tie."""

    @pytest.mark.parametrize("kernel", KERNELS)
    @pytest.mark.parametrize("alphabet", ["ab", "abcd ", "aé😀 "], ids=["ab", "ascii", "mixed"])
    def test_against_each_window(self, internals, kernel, alphabet):
        if internals.partial_ratio_kernels(kernel, "a", "a") is None:
            pytest.skip(f"this processor cannot run {kernel}")
        rng = random.Random(kernel + alphabet)
        for n in [1, 2, 16, 17, 32, 33, 63, 64, 65, 66, 127, 200]:
            for extra in [0, 1, 2, 63, 64, 65, 129, rng.randint(0, 400)]:
                needle, haystack = _text(rng, alphabet, n), _text(rng, alphabet, n + extra)
                if extra and rng.random() < 0.3:  # a near copy somewhere inside
                    at = rng.randrange(extra)
                    haystack = haystack[:at] + needle[1:] + haystack[at + n - 1 :]
                for x, y in ((needle, haystack), (haystack, needle)):
                    for cutoff in (0.0, rng.uniform(30, 90)):
                        expected = internals.partial_ratio_per_window(x, y, cutoff)
                        got = internals.partial_ratio_kernels(kernel, x, y, cutoff)
                        assert got == expected, (x, y, cutoff)

    @pytest.mark.parametrize("kernel", KERNELS)
    @pytest.mark.parametrize(
        "needle, haystack",
        [
            ("ab" * 40, "ba" * 300),  # every other window at the least distance
            ("abc" * 30 + "x", "abc" * 400),
            (
                _text(random.Random(1), "abcdefgh ", 2000),
                _text(random.Random(2), "abcdefgh ", 3000),
            ),
            (_text(random.Random(3), "abcd ", 100), _text(random.Random(4), "abcd ", 40000)),
            ("é" + "ab" * 50, "ba" * 33000),  # 32-bit labels
            ("a" * 70, "b" * 70000),  # no window shares a unit with the needle
        ],
        ids=["ties", "periodic", "thousands", "high-labels", "wide-labels", "disjoint"],
    )
    def test_long_and_tied(self, internals, kernel, needle, haystack):
        if internals.partial_ratio_kernels(kernel, "a", "a") is None:
            pytest.skip(f"this processor cannot run {kernel}")
        for x, y in ((needle, haystack), (shift(haystack), shift(needle))):
            expected = internals.partial_ratio_per_window(x, y, 0.0)
            assert internals.partial_ratio_kernels(kernel, x, y, 0.0) == expected
