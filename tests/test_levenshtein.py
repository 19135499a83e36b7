"""Levenshtein distance: every route against the textbook definition and against each other."""

import random

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import levenshtein
from strategies import long_ascii_texts, long_unicode_texts, shift, texts, unicode_texts

ENTRIES = [quillon.levenshtein_distance, quillon.levenshtein_myers]

# Text kinds, and lengths around the seams of the single-pair routes: 4 and 16 bytes (texts in
# registers), 31 and 32 bytes, 64 units (one word), 256 bytes (stack buffers).
ALPHABETS = {
    "ascii": "abcde",
    "latin1": "aeé\xe8\xe0\xf6\xfc\xf1",
    "mixed": "a\xe9\u4e00\u0436",
    "astral": "a\U0001f600\U0001f642\U0001d11e",
}
SEAM_LENGTHS = [0, 1, 3, 4, 5, 8, 15, 16, 17, 31, 32, 63, 64, 65, 130, 260]


def seam_pairs(alphabet, seed):
    """Random pairs and near pairs (one to three edits, so common affixes) at the seams."""
    rng = random.Random(seed)
    pairs = []
    for length in SEAM_LENGTHS:
        for _ in range(6):
            a = "".join(rng.choices(alphabet, k=length))
            b = list(a)
            for _ in range(rng.randint(1, 3)):
                k = rng.randrange(len(b) + 1)
                b[k:k] = rng.choices(alphabet, k=rng.randint(0, 1))
                del b[k + 1 : k + 1 + rng.randint(0, 1)]
            other = "".join(rng.choices(alphabet, k=rng.choice(SEAM_LENGTHS)))
            pairs += [(a, "".join(b)), (a, other)]
    return pairs


# UTF-8 pieces, well-formed and not: Latin-1 pairs, wider sequences, lone lead and continuation
# bytes, a truncated three-byte sequence, an encoded surrogate, an overlong form.
_pieces = [b"a", b"b", b"\x00", b"\xc3\xa9", b"\xc3\xa8", b"\xc2\x80", b"\xc3", b"\xa9"]
_pieces += [b"\xe4\xb8\x80", b"\xf0\x9f\x98\x80", b"\xe0\xa0", b"\xed\xa0\x80", b"\xc0\xaf"]
raw_texts = st.lists(st.sampled_from(_pieces), max_size=24).map(b"".join)


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


@pytest.mark.parametrize("alphabet", ALPHABETS)
def test_fast_routes_equal_plain_routes(internals, alphabet):
    for a, b in seam_pairs(ALPHABETS[alphabet], alphabet):
        expected = internals.levenshtein_myers(a.encode(), b.encode())
        assert quillon.levenshtein_distance(a, b) == expected, (a, b)
        assert quillon.levenshtein_distance(b, a) == expected, (a, b)


@given(a=raw_texts, b=raw_texts)
@example(a=b"\xc3\xa9\xc3", b=b"\xc3\xa9\xc3\xa8")  # a cut before a continuation byte
@example(a=b"\xe0\xa0\xa9x", b=b"\xe0\xa0x")  # common bytes that decode apart
def test_single_pair_routes_on_raw_utf8(internals, a, b):
    # Affixes cut by bytes and the Latin-1 decoders must not change what ill-formed bytes mean.
    lev, lev_plain, jaro, jaro_flags = internals.pair_routes(a, b)
    assert lev == lev_plain
    assert jaro == jaro_flags


class TestDecoding:
    @given(data=st.binary(max_size=40))
    def test_matches_python_replace(self, internals, data):
        # Python's "replace" handler substitutes maximal ill-formed subparts the same way.
        assert internals.decode_utf8(data) == [ord(c) for c in data.decode("utf-8", "replace")]

    @pytest.mark.parametrize("kernel", ["words", "16", "16_avx2"])
    @given(data=raw_texts)
    @example(data=b"\xc3\xa9" * 8)  # the last byte of 16 a continuation
    @example(data=b"a" * 15 + b"\xc3")  # a lead byte last of all
    def test_latin1_decoders_match_python(self, internals, kernel, data):
        if kernel == "16_avx2" and not internals.isa()["avx2"]:
            pytest.skip("this processor cannot run 16_avx2")
        data = data if kernel == "words" else data[:16]
        try:
            expected = [ord(c) for c in data.decode("utf-8")]
        except UnicodeDecodeError:
            expected = None
        if expected is not None and max(expected, default=0) > 0xFF:
            expected = None
        assert internals.decode_latin1(kernel, data) == expected

    @pytest.mark.parametrize("size", [0, 1, 3, 4, 5, 7, 8, 9, 15, 63, 64, 65, 67, 71, 72, 129, 200])
    def test_ascii_test_every_position(self, internals, size):
        data = bytearray(b"x" * size)
        assert internals.is_ascii(bytes(data))
        for k in range(size):
            data[k] = 0x80
            assert not internals.is_ascii(bytes(data))
            data[k] = ord("x")


# Long pairs: the band against the unbanded blocks. Lengths around one and two words and a few
# thousand; distances from none to the whole text.
LONG_ALPHABETS = {"dna": "acgt", "text": "abcdefghijklmnopqrstuvwxyz", "astral": "a😀🙂\U0001d11e"}


def long_pairs(alphabet, n, seed):
    """A text of n letters against itself, one edit, a tenth edited, an unrelated text, ''."""
    rng = random.Random(seed)
    a = "".join(rng.choices(alphabet, k=n))

    def edited(rate):
        # A substitution, an insertion or a deletion at about `rate` of the positions.
        edits = lambda c: rng.choice(["", rng.choice(alphabet), c + rng.choice(alphabet)])
        return "".join(c if rng.random() >= rate else edits(c) for c in a)

    k = rng.randrange(n)
    one_edit = [a[:k] + a[k + 1 :], a[:k] + "g" + a[k:], a[:k] + "x" + a[k + 1 :]][seed % 3]
    unrelated = "".join(rng.choices(alphabet, k=n + rng.randint(-n // 10, n // 10)))
    return [(a, a), (a, one_edit), (a, edited(0.1)), (a, unrelated), (a, "")]


@pytest.mark.parametrize("alphabet", LONG_ALPHABETS)
@pytest.mark.parametrize("n", [63, 64, 65, 127, 128, 129, 1000, 2500])
def test_long_pairs_equal_unbanded_route(internals, alphabet, n):
    pairs = long_pairs(LONG_ALPHABETS[alphabet], n, n)
    for a, b in pairs:
        expected = internals.levenshtein_myers(a.encode(), b.encode())
        assert quillon.levenshtein_distance(a, b) == expected, (a, b)
        assert quillon.levenshtein_distance(b, a) == expected, (a, b)
    texts = [t for pair in pairs for t in pair]
    assert quillon.levenshtein_cdist(texts[:6], texts) == [
        [quillon.levenshtein_distance(x, y) for y in texts] for x in texts[:6]
    ]


@pytest.mark.parametrize("n, rate", [(70, 0.05), (300, 0.1), (1000, 0.3), (2000, 1.0)])
def test_band_pass_is_exact_within_its_bound(internals, n, rate):
    # Bounds at the distance and one or two either side (the band's half-width rounds down, so
    # both parities), and the length difference; narrow bands run on words, wide ones on lanes.
    rng = random.Random(n)
    a = "".join(rng.choices("acgt", k=n))
    b = "".join(c if rng.random() >= rate else rng.choice(["", "t", c + "a"]) for c in a)
    a, b = a.encode(), b.encode()
    d = internals.levenshtein_myers(a, b)
    for k in {d - 2, d - 1, d, d + 1, d + 2, abs(len(a) - len(b)), 0}:
        result = internals.levenshtein_band_pass(a, b, max(k, 0))
        assert result >= d
        if k >= d:
            assert result == d, k
