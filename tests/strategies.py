"""Hypothesis strategies shared by the test modules."""

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


def random_pairs(seed: int, count: int, low: int, high: int, alphabets=("ab", "abcd", "abcdefgh")):
    """A fixed corpus of text pairs with lengths in [low, high]."""
    import random

    rng = random.Random(seed)
    pairs = []
    for _ in range(count):
        alphabet = rng.choice(alphabets)
        a = "".join(rng.choice(alphabet) for _ in range(rng.randint(low, high)))
        b = "".join(rng.choice(alphabet) for _ in range(rng.randint(low, high)))
        pairs.append((a, b))
    return pairs


def shift(text: str) -> str:
    """Moves every non-space ASCII character into the CJK block: same structure, no ASCII."""
    return "".join(chr(ord(c) + 0x4E00) if c < "\x80" and not c.isspace() else c for c in text)
