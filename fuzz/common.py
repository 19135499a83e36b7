"""Input decoding shared by the fuzz targets: texts, cut-offs and scores from the fuzzer's bytes.

The decoding is positional and total: every byte string decodes, a missing byte reads as 0, and
a mutation early in the input changes the structure (alphabet, length, mode) while one later
changes the characters.
"""

import math
import os
import re
import struct
import sys

import atheris
import numpy as np

# The plain references of the test suite; instrumented, so that their branches guide the fuzzer.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "tests"))
with atheris.instrument_imports():
    import reference

import quillon  # noqa: F401 - the targets import it from here

try:
    import quillon._testing as internals  # noqa: F401
except ImportError:  # pragma: no cover - a build without the test extension
    sys.exit(
        "quillon._testing is missing: install with "
        "`pip install -C cmake.define.QUILLON_TESTING=ON '.[test]'` (see README)"
    )

# Small alphabets make shared characters, and so non-trivial alignments, likely. None of them
# holds a character of U+4E00..U+4E7F, where shift() moves ASCII.
ASCII_ALPHABETS = ["ab", "abc ", "abcdefgh", "aA\x00\x7f\x1f \t"]
ALPHABETS = ASCII_ALPHABETS + [
    "aé ",  # two-byte UTF-8
    "ab\u6c34😀",  # CJK outside the shift range, and a four-byte emoji
    "ab\xa0\u3000\u2003\x85\u2028 ",  # Unicode White_Space of several encodings
    "aAéÉ\u6c34\u5b57😀🎉 \t\xa0",
]
# 256-entry tables: byte k becomes alphabet[k % len(alphabet)].
_TABLES = [{k: alphabet[k % len(alphabet)] for k in range(256)} for alphabet in ALPHABETS]
_ASCII_COUNT = len(ASCII_ALPHABETS)

# Lengths at and around the 64- and 128-unit word seams, and beyond two words.
SEAMS = [63, 64, 65, 127, 128, 129, 62, 66, 130, 191, 192, 193, 200, 32, 33, 31]

# Words and separators for token texts: repeated and shared tokens are common, U+001F is not
# White_Space and stays inside words.
WORDS = ["a", "b", "ab", "ba", "abc", "B", "a\x1fb", "\x1f", "é", "aé", "😀", "a😀", "\u6c34"]
ASCII_WORDS = WORDS[:8]
SEPARATORS = [" ", "  ", "\t", "\n", "\r\n", "\x0b", "\x0c", "\xa0", "\u3000", "\u2003", "\u2028"]
ASCII_SEPARATORS = SEPARATORS[:7]

# Odd UTF-8 bytes: ASCII, continuation bytes at both ends of their range, every kind of lead
# byte, the leads of surrogate and over-long sequences, and bytes that never occur.
_ODD = b"a\x00\x7f\x80\x8f\x90\x9f\xa0\xbf\xc0\xc2\xdf\xe0\xe4\xed\xef\xf0\xf4\xf5\xff"
_RAW = bytes(_ODD[k % len(_ODD)] for k in range(256))

INT64_MIN, INT64_MAX = reference.INT64_MIN, reference.INT64_MAX
SCORES = [0, 1, -1, 2, -2, 3, -3, 5, -5, INT64_MAX, INT64_MIN, INT64_MAX - 1, INT64_MIN + 1]
SCORES += [2**61, -(2**61), 2**62, -(2**62), 2**32, -(2**32)]
CUTOFFS = [0.0, 0.0, 50.0, 75.0, 90.0, 100.0, math.nextafter(100.0, math.inf), 100.5, -1.0]
CUTOFFS += [math.nan, math.inf, -math.inf, 1e-300, -0.0, 99.99999999999999]

_CLASH = re.compile("[\u4e00-\u4e7f]")
_SHIFT = {c: chr(c + 0x4E00) for c in range(0x80) if chr(c) not in reference.WHITE_SPACE}


def shift(text: str) -> str:
    """Moves every ASCII character that is not White_Space into U+4E00..U+4E7F: the same
    structure without ASCII, and the same order (UTF-8 byte order follows code points)."""
    return text.translate(_SHIFT)


def shiftable(*texts: str) -> bool:
    """True when shifting cannot make a character equal to one already there."""
    return not any(_CLASH.search(t) for t in texts)


def token_shiftable(*texts: str) -> bool:
    """True when shifting keeps the byte order of tokens: every non-White_Space character is
    ASCII, so no unshifted character sits between shifted ones."""
    return all(c.isascii() or c in reference.WHITE_SPACE for t in texts for c in t)


def relabel(*texts: str) -> list[str]:
    """The texts with each distinct character replaced by its own ASCII character: the same
    equalities, so the same value for every metric that compares characters only for
    equality, through the byte routes. None of the alphabets has more than 128 characters."""
    table = {ord(c): chr(k) for k, c in enumerate(sorted(set().union(*texts)))}
    return [t.translate(table) for t in texts]


class Source:
    """Reads values from the fuzzer's bytes, front to back."""

    __slots__ = ("data", "pos", "seams")

    def __init__(self, data: bytes, seams: list[int] = SEAMS):
        self.data = data
        self.pos = 0
        self.seams = seams

    def byte(self) -> int:
        pos = self.pos
        self.pos = pos + 1
        return self.data[pos] if pos < len(self.data) else 0

    def below(self, n: int) -> int:
        return self.byte() % n

    def bytes(self, n: int) -> bytes:
        chunk = self.data[self.pos : self.pos + n]
        self.pos += n
        return chunk + bytes(n - len(chunk))

    def length(self, short: int = 24) -> int:
        """Mostly short lengths; one read in four a length at a word seam."""
        k = self.byte()
        return self.seams[k % len(self.seams)] if k >= 0xC0 else k % short

    def alphabet(self, ascii_only: bool = False) -> int:
        return self.below(_ASCII_COUNT if ascii_only else len(ALPHABETS))

    def text(self, alphabet: int, length: int | None = None) -> str:
        """Characters of one alphabet; up to 32 are read and repeated to the length."""
        n = self.length() if length is None else length
        chunk = self.bytes(min(n, 32))
        if not n:
            return ""
        text = chunk.decode("latin-1").translate(_TABLES[alphabet])
        if n > len(text):
            text = (text * (n // len(text) + 1))[:n]
        return text

    def edited(self, text: str, alphabet: int) -> str:
        """The text after up to 4 insertions, deletions or substitutions: long pairs at a
        small distance, where carries cross words and windows are pruned."""
        chars = list(text)
        table = _TABLES[alphabet]
        for _ in range(self.below(5)):
            op, where, what = self.byte(), self.byte(), table[self.byte()]
            k = where * (len(chars) + 1) // 256
            if op % 3 == 0 or not chars:
                chars.insert(k, what)
            elif op % 3 == 1:
                del chars[min(k, len(chars) - 1)]
            else:
                chars[min(k, len(chars) - 1)] = what
        return "".join(chars)

    def pair(self, ascii_only: bool = False) -> tuple[str, str]:
        """Two texts: of one alphabet or of two, independent or one edited from the other."""
        mode = self.byte()
        alphabet = self.alphabet(ascii_only)
        a = self.text(alphabet)
        other = self.alphabet(ascii_only) if mode & 1 else alphabet
        b = self.edited(a, other) if mode & 2 else self.text(other)
        return (b, a) if mode & 4 else (a, b)

    def texts(self, count: int, ascii_only: bool = False) -> list[str]:
        """count texts: a first one, then texts edited from it or independent."""
        alphabet = self.alphabet(ascii_only)
        first = self.text(alphabet)
        out = [first]
        for _ in range(count - 1):
            mode = self.byte()
            if mode & 3 == 0:
                out.append(self.text(self.alphabet(ascii_only)))
            else:
                out.append(self.edited(first, alphabet if mode & 4 else self.alphabet(ascii_only)))
        return out

    def token_text(self, ascii_only: bool = False) -> str:
        words = ASCII_WORDS if ascii_only else WORDS
        separators = ASCII_SEPARATORS if ascii_only else SEPARATORS
        # Up to 60 words: joined strings that cross 64 and 128 characters.
        count = self.below(12) if self.byte() < 0xE0 else 20 + self.below(41)
        text = separators[self.below(len(separators))] if self.byte() & 1 else ""
        for i in range(count):
            text += words[self.below(len(words))]
            if i + 1 < count or self.byte() & 1:
                text += separators[self.below(len(separators))]
        return text

    def cutoff(self, near: float | None = None) -> float:
        """A score cut-off: special values, any double, or the given score and its neighbours."""
        k = self.byte()
        if near is not None and k >= 0xD0:
            return [near, math.nextafter(near, math.inf), math.nextafter(near, -math.inf)][k % 3]
        if k >= 0xA0:
            return struct.unpack("<d", self.bytes(8))[0]
        if k >= 0x60:
            return k - 0x60 + (self.byte() / 256.0)
        return CUTOFFS[k % len(CUTOFFS)]

    def score(self) -> int:
        """A signed 64-bit score: small values, values at the limits, or any value."""
        k = self.byte()
        if k >= 0xE0:
            return struct.unpack("<q", self.bytes(8))[0]
        return SCORES[k % len(SCORES)]

    def raw(self) -> bytes:
        """Bytes that are mostly not well-formed UTF-8: lead, continuation and excluded bytes."""
        n = self.length()
        chunk = self.bytes(n)
        return chunk.translate(_RAW) if chunk[:1] < b"\x80" else chunk

    def probability(self) -> float:
        k = self.byte()
        return [0.0, 0.1, 0.25][k % 3] if k < 0x80 else (k - 0x80) / 127 * 0.25


def bucket(n: int) -> int:
    """Which side of the word seams a length or distance lies on. Each return is its own edge
    for the coverage feedback, so inputs that reach a new bucket join the corpus: the kernels
    themselves are not instrumented."""
    if n == 0:
        return 0
    if n == 1:
        return 1
    if n < 63:
        return 2
    if n == 63:
        return 63
    if n == 64:
        return 64
    if n == 65:
        return 65
    if n < 127:
        return 66
    if n == 127:
        return 127
    if n == 128:
        return 128
    if n == 129:
        return 129
    return 130


def agree(what: str, got, expected, *inputs) -> None:
    """Exact agreement of two routes; the message names the check and the inputs."""
    if got != expected:
        raise AssertionError(f"{what}: {got!r} != {expected!r} for {inputs!r}")


def check_forms(
    src: Source, texts: list[str], single, batch, batch_into, cdist, cdist_into, dtype=np.uint32
) -> list:
    """Batch, cross-product and their _into forms against single pairs: the first text is the
    query against the rest, and the texts split at a point the fuzzer picks into two lists."""
    query, *candidates = texts
    expected = [single(query, c) for c in candidates]
    agree("batch", batch(query, candidates), expected, texts)
    fill = 0xFFFFFFFF if dtype == np.uint32 else -1.0  # never a result
    out = np.full(len(candidates), fill, dtype=dtype)
    batch_into(query, candidates, out)
    agree("batch into", out.tolist(), expected, texts)
    k = 1 + src.below(len(texts))
    list_a, list_b = texts[:k], texts[k:]
    nested = [[single(x, y) for y in list_b] for x in list_a] if list_b else []
    agree("cdist", cdist(list_a, list_b), nested, list_a, list_b)
    matrix = np.full((len(list_a), len(list_b)), fill, dtype=dtype)
    cdist_into(list_a, list_b, matrix)
    if list_b:
        agree("cdist into", matrix.tolist(), nested, list_a, list_b)
    return expected


def main(namespace: dict) -> None:
    """Instruments the target's own functions, then runs libFuzzer on namespace['check'], or
    else on one of namespace['MODES'] picked by the first byte; either takes a Source with the
    lengths namespace['SEAMS'] (by default those of SEAMS).

    Defaults that keep inputs small and hangs short are added unless given on the command line.
    """
    for value in list(namespace.values()):
        if getattr(value, "__module__", None) == "__main__" and hasattr(value, "__code__"):
            atheris.instrument_func(value)
    atheris.instrument_func(bucket)
    argv = list(sys.argv)
    for flag in ("-max_len=512", "-timeout=20"):
        if not any(arg.startswith(flag.split("=")[0] + "=") for arg in argv):
            argv.append(flag)
    seams, modes = namespace.get("SEAMS", SEAMS), namespace.get("MODES")
    check = namespace.get("check") or (lambda src: modes[src.below(len(modes))](src))

    def test_one_input(data: bytes) -> None:
        check(Source(data, seams))

    atheris.Setup(argv, test_one_input)
    atheris.Fuzz()
