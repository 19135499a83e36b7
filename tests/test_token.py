"""Token scorers and the weighted ratio: splitting, set decomposition, closed forms, cut-offs."""

import math
import sys

import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import quillon
import reference
from strategies import ascii_token_texts, cutoffs, long_token_texts, shift, token_texts


def partial(a, b, c):
    """The module's partial ratio, which has tests of its own."""
    return quillon.fuzz_partial_ratio_alignment(a, b, c)[0]


# (function, reference(a, b, c)) for every scorer, named for the test ids.
SCORERS = {
    "token_sort": (quillon.fuzz_token_sort_ratio, reference.token_sort_ratio),
    "token_set": (quillon.fuzz_token_set_ratio, reference.token_set_ratio),
    "token": (quillon.fuzz_token_ratio, reference.token_ratio),
    "partial_token_sort": (
        quillon.fuzz_partial_token_sort_ratio,
        lambda a, b, c: reference.partial_token_sort_ratio(a, b, c, partial),
    ),
    "partial_token_set": (
        quillon.fuzz_partial_token_set_ratio,
        lambda a, b, c: reference.partial_token_set_ratio(a, b, c, partial),
    ),
    "partial_token": (
        quillon.fuzz_partial_token_ratio,
        lambda a, b, c: reference.partial_token_ratio(a, b, c, partial),
    ),
    "wratio": (quillon.fuzz_wratio, lambda a, b, c: reference.wratio(a, b, c, partial)),
}
scorer_params = pytest.mark.parametrize(
    "scorer, expected_of", list(SCORERS.values()), ids=list(SCORERS)
)


def check(scorer, expected_of, a, b, cutoff):
    """Bit-identical to the reference in both argument orders. The orders may differ: for texts
    of equal length the partial ratio tries the second as the needle with a raised cut-off."""
    assert scorer(a, b, cutoff) == expected_of(a, b, cutoff)
    assert scorer(b, a, cutoff) == expected_of(b, a, cutoff)


class TestSplit:
    # ASCII texts of more than 64 bytes take the word-at-a-time scan.
    @given(text=st.one_of(token_texts, long_token_texts, ascii_token_texts, st.text(max_size=30)))
    @example(text="\x1c\x1d\x1e\x1f a\x1fb")
    @example(text="\u200b\u180e\ufeff x\u2060y")  # format characters, not White_Space
    # 48 tokens and more are bucketed by first byte: small buckets, one bucket of 52, and keys
    # equal in their first eight bytes (NUL bytes appended, longer tails).
    @example(
        text=" ".join(c + "bcdefgh" + t for c in "zyxwvutsrqponm" for t in ("\0", "", "zz", "a"))
    )
    @example(text=" ".join("abcdefgh" + c for c in "zyxwvutsrqponmlkjihgfedcba" * 2))
    def test_sorted_split_matches_reference(self, internals, text):
        assert internals.sorted_split(text) == reference.sorted_split(text)

    def test_every_code_point(self, internals):
        # Each code point sits between two letters, so it splits them exactly when it is
        # White_Space; neighbours of the whitespace encodings share their lead bytes.
        chars = [chr(c) for c in range(sys.maxunicode + 1) if not 0xD800 <= c <= 0xDFFF]
        text = "x" + "x".join(chars) + "x"
        expected = reference.sorted_split(text)
        assert internals.sorted_split(text) == expected
        assert len(expected) == len(reference.WHITE_SPACE) + 1

    @given(
        a=st.lists(st.sampled_from(["a", "b", "ab", "B", "é", "😀", ""]), max_size=8),
        b=st.lists(st.sampled_from(["a", "b", "ab", "B", "é", "😀", ""]), max_size=8),
    )
    @example(a=["b", "a", "b"], b=["a"])  # unsorted, repeated
    def test_set_decomposition_matches_reference(self, internals, a, b):
        expected = reference.set_decomposition(a, b)
        assert internals.set_decomposition(a, b) == expected
        assert internals.set_decomposition(b, a) == (expected[0], expected[2], expected[1])


RED_SET, RED_SORT = 100.0 - 700.0 / 17, (1.0 - 7 / 17) * 100.0  # closed forms one ulp apart


@pytest.mark.parametrize(
    "scorer, a, b, cutoff, expected",
    [
        (quillon.fuzz_token_set_ratio, "red green", "red blue", 0.0, RED_SET),
        (quillon.fuzz_token_sort_ratio, "red green", "red blue", 0.0, RED_SORT),
        (quillon.fuzz_token_ratio, "red green", "red blue", 0.0, RED_SORT),
        (quillon.fuzz_partial_token_set_ratio, "red green", "red blue", 0.0, 100.0),
        (quillon.fuzz_partial_token_ratio, "red green", "red blue", 0.0, 100.0),
        # A cut-off between the two forms keeps only the sort score.
        (quillon.fuzz_token_set_ratio, "red green", "red blue", RED_SORT, 0.0),
        (quillon.fuzz_token_ratio, "red green", "red blue", RED_SORT, RED_SORT),
        (quillon.fuzz_wratio, "red green", "red blue", 0.0, RED_SORT),  # token_ratio cut to 0
        (quillon.fuzz_wratio, "abc", "xxabcxx", 0.0, 90.0),  # partial 100 x 0.9 beats 85.5
        (quillon.fuzz_wratio, "abc", "abcdefghijklmnopqrstuvwxyz", 0.0, 60.0),  # 8.67: x 0.6
        (quillon.fuzz_wratio, "ab", "abx", 0.0, 90.0),  # exactly 1.5: the partial branch
        (quillon.fuzz_wratio, "ab", "ab" + "x" * 14, 0.0, 90.0),  # exactly 8.0 keeps 0.9
        (quillon.fuzz_wratio, "ab", "ab" + "x" * 15, 0.0, 60.0),  # 8.5
        (quillon.fuzz_wratio, "ab", "ab" + "😀" * 14, 0.0, 90.0),  # lengths count characters
        # Length ratio 9, weight 0.6. The partial token score 100 x 0.95 x 0.6 = 57 cannot
        # reach 80: the token scorer gets 80 / 0.6 / 0.95, above 100, and scores 0.
        (quillon.fuzz_wratio, "x", "a bcd x a", 57.0, 60.0),
        (quillon.fuzz_wratio, "x", "a bcd x a", 80.0, 0.0),
    ],
)
def test_known_values(scorer, a, b, cutoff, expected):
    assert scorer(a, b, cutoff) == expected
    assert scorer(b, a, cutoff) == expected


@scorer_params
class TestAgainstReference:
    @given(a=token_texts, b=token_texts, cutoff=cutoffs)
    @example(a="red green", b="red blue", cutoff=0.0)
    @example(a="", b="", cutoff=math.nan)
    @example(a=" ", b="\t\u3000", cutoff=0.0)  # sides without tokens
    @example(a="a a b", b="a b", cutoff=math.nextafter(100.0, math.inf))  # before the shortcuts
    @example(a="abc", b="abc", cutoff=math.inf)
    @example(a="x x x x y", b="abcy", cutoff=0.0)  # difference strings shorter than sorted ones
    @example(a="red green", b="green red", cutoff=math.nan)
    @example(a="abc", b="xxabcxx", cutoff=math.nan)
    @example(a="a\x85a\x85b\x85ab\x85abc\x85B", b="aaaaaaaaaaaa", cutoff=math.nan)
    def test_short(self, scorer, expected_of, a, b, cutoff):
        check(scorer, expected_of, a, b, cutoff)

    @given(a=token_texts, b=token_texts)
    def test_cutoff_at_the_score(self, scorer, expected_of, a, b):
        score = expected_of(a, b, 0.0)
        for cutoff in (score, math.nextafter(score, -math.inf), math.nextafter(score, math.inf)):
            check(scorer, expected_of, a, b, cutoff)

    @settings(max_examples=25)
    @given(a=long_token_texts, b=st.one_of(long_token_texts, token_texts), cutoff=cutoffs)
    def test_long(self, scorer, expected_of, a, b, cutoff):
        check(scorer, expected_of, a, b, cutoff)

    @pytest.mark.parametrize("size", [63, 64, 65, 127, 128, 129])
    @pytest.mark.parametrize("last_word", ["ae", "aé"], ids=["ascii", "unicode"])
    def test_length_seams(self, scorer, expected_of, size, last_word):
        # A joined string of exactly `size` characters against its words reversed, one changed.
        a = (f"ab ba abc b a\x1fb {last_word} " * 30)[: size - 1] + "z"
        words = a.split(" ")
        words[1] = "bb"
        b = "\u3000".join(reversed(words))
        for cutoff in (0.0, 50.0):
            check(scorer, expected_of, a, b, cutoff)

    @given(a=ascii_token_texts, b=ascii_token_texts, cutoff=cutoffs)
    def test_ascii_and_unicode_routes_agree(self, scorer, expected_of, a, b, cutoff):
        assert scorer(shift(a), shift(b), cutoff) == scorer(a, b, cutoff)


@pytest.mark.parametrize("n", [1, 16, 17, 33, 64, 65])
@pytest.mark.parametrize("ratio", [1.5, 3, 8, 9])
@pytest.mark.parametrize("inside", [False, True], ids=["apart", "inside"])
def test_wratio_shared_pair_against_composed(internals, n, ratio, inside):
    # The partial branch scores the plain and the partial ratio on one set of masks; the
    # composed route calls each public scorer on its own. A short text found inside the long
    # one (and a near copy of equal length) scores so high that no token score can win.
    a = ("ab cd a" * 20)[:n]
    b = ("cab d ba dc" * 80)[: int(n * ratio)]
    if inside:
        b = b[: len(b) - n] + a
    pairs = [(a, b), (b, a), (shift(a), shift(b)), (a.replace("a", "é"), b), (a, a + "x")]
    for x, y in pairs:
        for cutoff in (0.0, 30.0, 80.0):
            assert quillon.fuzz_wratio(x, y, cutoff) == internals.wratio_composed(x, y, cutoff)
