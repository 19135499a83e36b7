"""Damerau-Levenshtein (unrestricted) distance, ratio, batch and cross-product."""

import itertools
import random

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quillon
from reference import damerau
from strategies import shift, texts
from test_jaro import edited

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


# Every route against the full-matrix one: the stack matrix (ASCII bytes, short decoded texts),
# the heap matrix, the dense per-pair alphabet, and the sixteen-lane kernel of batch and cdist.
def full_matrix_table(internals, list_a, list_b):
    return [[internals.damerau_full_matrix(a, b) for b in list_b] for a in list_a]


def assert_routes_agree(internals, list_a, list_b):
    expected = full_matrix_table(internals, list_a, list_b)
    assert quillon.damerau_levenshtein_cdist(list_a, list_b) == (expected if list_b else [])
    assert [quillon.damerau_levenshtein_batch(a, list_b) for a in list_a] == expected
    singles = [[quillon.damerau_levenshtein_distance(a, b) for b in list_b] for a in list_a]
    assert singles == expected


def test_short_pairs_over_three_letters(internals):
    # Common ends are stripped before the matrix, and the lanes keep only the transpositions
    # with one empty gap: every pair up to five letters over three, against the full matrix.
    words = [""] + ["".join(p) for n in range(1, 6) for p in itertools.product("abc", repeat=n)]
    assert_routes_agree(internals, words[:121], words)


@pytest.mark.parametrize(
    "a, b",
    [
        ("xca", "xabc"),  # a transposition with a gap behind a common first character
        ("cax", "abcx"),
        ("abXYcd", "baXYdc"),  # transpositions at both ends around a common middle
        ("aab", "aba"),  # the common prefix overlaps the transposed pair
        ("abca", "acba"),
        ("abcb", "bcab"),
        ("ab" * 20, "ba" * 20),
        ("a" * 30 + "bc", "cb" + "a" * 30),
    ],
)
def test_transpositions_at_the_ends(internals, a, b):
    for x, y in ((a, b), (b, a), (shift(a), shift(b)), (a + "é", b + "é")):
        assert_routes_agree(internals, [x, y[1:], y], [y, x, x[:-1], ""])


@given(
    list_a=st.lists(dl_texts, max_size=5),
    list_b=st.lists(st.one_of(dl_texts, st.text(alphabet="ab\u0100\U00010000", max_size=70))),
)
def test_routes_agree_on_mixed_lists(internals, list_a, list_b):
    assert_routes_agree(internals, list_a, list_b)


def text_of(alphabet, n, seed):
    rng = random.Random(seed)
    return "".join(rng.choice(alphabet) for _ in range(n))


# Lengths around the seams: 60 (the longest lane text), 128 (the longest text decoded on the
# stack); groups of 1, 16 and 17.
@pytest.mark.parametrize("alphabet", ["abc", "aé", "a\u4e00b😀"])
@pytest.mark.parametrize("la, lb", [(59, 60), (60, 61), (61, 16), (127, 128), (128, 129)])
def test_lengths_at_the_seams(internals, alphabet, la, lb):
    list_a = [text_of(alphabet, la, 1), text_of(alphabet, lb, 2)]
    list_b = [text_of(alphabet, n, n) for n in (0, 1, lb - 1, lb, la, la + 1) * 3]
    assert_routes_agree(internals, list_a, list_b)


# 8192 cells (the stack matrix), then the vector route's 16-bit cells up to 65 534 units in the
# longer text (either one) and 32-bit cells beyond.
@pytest.mark.parametrize(
    "la, lb",
    [(1, 2728), (1, 2729), (88, 88), (89, 89), (4, 65534), (65534, 4), (4, 65535), (65535, 3)],
)
def test_matrix_sizes_at_the_seams(internals, la, lb):
    # Different ends, so that nothing is stripped before the matrix is sized.
    a = ("x" + text_of("abc", la, 3))[: la - 1] + "y"
    b = ("z" + text_of("acb", lb, 4))[: lb - 1] + "w"
    expected = internals.damerau_full_matrix(a, b)
    assert quillon.damerau_levenshtein_distance(a, b) == expected
    assert quillon.damerau_levenshtein_distance(shift(a), shift(b)) == expected


# Short texts number their characters from U+0100 up on the stack (64 of them, so a row text
# of 65 goes to the dense alphabet), and the lanes take lists of at most 256 characters.
@pytest.mark.parametrize("distinct", [64, 65, 66, 256, 257])
def test_alphabets_at_the_seams(internals, distinct):
    chars = ["\xe9"] + [chr(0x100 + 7 * k) for k in range(distinct - 1)]
    a = "".join(chars)
    list_b = ["".join(chars[k : k + 9]) for k in range(0, distinct, 5)] + [a[::-1], a[1:]]
    assert_routes_agree(internals, [a, a[:40], a[-50:], chars[0]], list_b)


# The dense alphabet of a decoded pair: up to 65 535 characters fit the 16-bit codes of the
# vector route, one more takes the 32-bit cells.
@pytest.mark.parametrize("extra", [2, 3])
def test_dense_alphabet_at_the_seam(internals, extra):
    chars = [chr(0x10000 + k) for k in range(65533 + extra)]
    a, b = "".join(chars[:65533]), "".join(chars[65533:])[::-1] + chars[7]
    assert quillon.damerau_levenshtein_distance(a, b) == internals.damerau_full_matrix(a, b)


# Long pairs on the vector route: ASCII bytes and the dense alphabet of decoded texts.
@pytest.mark.parametrize("alphabet", ["ab", "abcdefghijklmnopqrstuvwxyz", "aé", "a\u4e00😀b"])
@pytest.mark.parametrize("size", [150, 1000])
def test_long_pairs(internals, alphabet, size):
    rng = random.Random(size)
    a = text_of(alphabet, size, size)
    pairs = [(a, edited(rng, a, alphabet, size // 10)), (a, text_of(alphabet, size // 2, 7))]
    pairs += [(a, a[::-1]), (a, a[1:] + a[0]), ("ab" * (size // 2), "ba" * (size // 2))]
    for x, y in pairs:
        expected = internals.damerau_full_matrix(x, y)
        assert quillon.damerau_levenshtein_distance(x, y) == expected
        assert quillon.damerau_levenshtein_distance(y, x) == expected
        assert quillon.damerau_ratio(x, "") == 0.0
    # Pool threads at once, each taking the kept matrix or a fresh one of its own.
    candidates = [y for x, y in pairs if x == a] * 3
    expected = [internals.damerau_full_matrix(a, y) for y in candidates]
    assert quillon.damerau_levenshtein_batch(a, candidates) == expected


# A transposed pair with a gap of n on one side, placed across the vector seams of a row
# (8 columns) and with the gap itself spanning vectors.
@pytest.mark.parametrize("n", [0, 1, 6, 7, 8, 9, 16, 17, 100])
@pytest.mark.parametrize("p", [0, 6, 7, 8, 15])
def test_transpositions_far_apart(internals, n, p):
    base = text_of("abcd", 120, p)
    a = "x" + base[:p] + "pq" + base[p:] + "y"
    b = "z" + base[:p] + "q" + "e" * n + "p" + base[p:] + "w"
    for x, y in ((a, b), (b, a), (shift(a), shift(b))):
        assert quillon.damerau_levenshtein_distance(x, y) == internals.damerau_full_matrix(x, y)
