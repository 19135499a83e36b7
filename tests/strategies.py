"""Hypothesis strategies and fixed corpora shared by the test modules."""

import random

from hypothesis import strategies as st

# Small alphabets make common characters, and so non-trivial alignments, likely.
ascii_texts = st.text(alphabet="abcde \x00", max_size=40)
# Long enough that the shorter text of a pair usually needs more than one 64-bit word.
long_ascii_texts = st.text(alphabet="abcdef", min_size=50, max_size=300)
long_unicode_texts = st.text(alphabet="abcé\u4e00😀", min_size=50, max_size=300)
unicode_texts = st.text(alphabet="abcé\u4e00😀\xa0 ", max_size=40)
any_texts = st.text(max_size=30)
texts = st.one_of(ascii_texts, unicode_texts, any_texts)
cutoffs = st.one_of(
    st.floats(min_value=-10, max_value=110),
    st.sampled_from([0.0, 100.0, 100.5, -1.0, float("nan"), float("inf"), -float("inf")]),
)


def words(seed: int, count: int, alphabet: str = "abcd", low: int = 0, high: int = 20) -> list:
    """A fixed list of count words over alphabet, with lengths in [low, high]."""
    rng = random.Random(seed)
    return ["".join(rng.choices(alphabet, k=rng.randint(low, high))) for _ in range(count)]


def shift(text: str) -> str:
    """Moves every non-space ASCII character into the CJK block: same structure, no ASCII."""
    return "".join(chr(ord(c) + 0x4E00) if c < "\x80" and not c.isspace() else c for c in text)


# Token texts: words from a small vocabulary, so that shared and repeated tokens are common,
# between runs of White_Space of several kinds. U+001F is not White_Space and stays in words.
_ascii_words = ["a", "b", "ab", "ba", "abc", "B", "a\x1fb", "\x1f"]
_ascii_separators = st.text(alphabet=" \t\n\r\x0b\x0c", min_size=1, max_size=3)
_words = _ascii_words + ["é", "aé", "😀", "a😀", "\u4e00", "é\u4e00"]
_separators = st.text(alphabet=" \t\xa0\u3000\u2003\u2028\x85", min_size=1, max_size=3)


@st.composite
def _token_texts(draw, words, separators, min_words, max_words):
    chosen = draw(st.lists(st.sampled_from(words), min_size=min_words, max_size=max_words))
    text = draw(separators) if draw(st.booleans()) else ""
    for i, word in enumerate(chosen):
        text += word
        if i + 1 < len(chosen) or draw(st.booleans()):
            text += draw(separators)
    return text


token_texts = st.one_of(
    _token_texts(_words, _separators, 0, 12),
    st.text(alphabet="ab é😀\t\xa0\u3000\x1f", max_size=30),
)
# Joined token strings that cross 64 and 128 characters.
long_token_texts = _token_texts(_words, _separators, 20, 70)
ascii_token_texts = _token_texts(_ascii_words, _ascii_separators, 0, 50)
