"""Every function called many times, accepted and refused: argument reference counts stay as they
were and resident memory stays flat."""

import inspect
import os
import sys
from collections import Counter

import pytest

import quillon

np = pytest.importorskip("numpy")

CALLS = 20_000
# One leaked object per call, however small (an int, a float, a 12-byte buffer), takes at least
# 32 bytes: 20 000 of them are 640 KB, well above what a healthy loop moves.
SLACK = 256 * 1024
FUNCTIONS = [name for name in quillon.__all__ if name != "__version__"]
# A sanitizer's allocator keeps freed blocks in quarantine, so resident memory grows there
# without a leak; reference counts are still checked, and the release run checks memory.
RSS_MEANINGFUL = "san" not in os.environ.get("LD_PRELOAD", "")


def resident():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


class Broken:
    """Iteration fails after the first item; conversion to float fails."""

    def __iter__(self):
        yield TEXT
        raise KeyError("broken")

    def __float__(self):
        raise ZeroDivisionError("broken")


# Fresh objects, so that nothing else in the process moves their counts.
TEXT, WIDE, SURROGATE = "".join("kitten"), "".join("sïtting😀"), "".join("a\udc80")
ITEMS, BAD_ITEMS, BAD_TEXTS = [TEXT, WIDE], [TEXT, object()], [WIDE, SURROGATE]
PROBE, BROKEN = object(), Broken()
M, X, GAP, OPEN = 10**12, -(10**12), -(10**12 + 1), -(10**13)
P, CUT, LIMIT = float("0.15"), float("12.5"), 10**12
VALUES = {
    **dict.fromkeys(["a", "query"], TEXT),
    **dict.fromkeys(["list_a", "list_b", "candidates", "choices"], ITEMS),
    "b": WIDE,
    "p": P,
    "score_cutoff": CUT,
    "limit": LIMIT,
    "match_score": M,
    "mismatch_score": X,
    "gap_penalty": GAP,
    "gap_open": OPEN,
    "gap_extend": GAP,
    "cpu_only": True,
    "threshold": LIMIT,
}
# A refused value and its exception for each parameter; every kind of refusal appears.
REFUSALS = {
    "a": (PROBE, TypeError),
    "b": (SURROGATE, UnicodeEncodeError),
    "query": (None, TypeError),
    "candidates": (BAD_TEXTS, UnicodeEncodeError),
    "choices": (BROKEN, KeyError),
    "list_a": (BAD_ITEMS, TypeError),
    "list_b": (BROKEN, KeyError),
    "p": (float("0.3"), ValueError),
    "score_cutoff": (BROKEN, ZeroDivisionError),
    "limit": (-LIMIT, OverflowError),
    "match_score": (2**70, OverflowError),
    "mismatch_score": (PROBE, TypeError),
    "gap_penalty": (P, TypeError),
    "gap_open": (P, TypeError),
    "gap_extend": (None, TypeError),
    "cpu_only": (PROBE, TypeError),
    "threshold": (-LIMIT, OverflowError),
}


def outs(name):
    """An accepted out array for two items, and refused ones, each with its exception."""
    dtype = np.float64 if "jaro" in name else np.uint32
    shape = (2, 2) if "cdist" in name else (2,)
    read_only = np.zeros(shape, dtype)
    read_only.flags.writeable = False
    return np.zeros(shape, dtype), [
        (np.zeros((3, *shape[1:]), dtype), ValueError),
        (read_only, BufferError),
        (np.zeros(2 * read_only.size, dtype)[::2].reshape(shape), BufferError),
        (np.zeros(shape, np.float32), TypeError),
    ]


def calls(refused):
    """One call per function, with every argument accepted, or with one refused: the parameter
    refused least often so far, or an unexpected keyword. Every other call passes keywords."""
    prepared, used = [], Counter()
    for k, name in enumerate(FUNCTIONS):
        function = getattr(quillon, name)
        names = list(inspect.signature(function).parameters)
        accepted, refused_outs = outs(name)
        values = [accepted if n == "out" else VALUES[n] for n in names]
        kind, keywords = (), {}
        if refused:
            spoiled = min([*names, "unexpected"], key=lambda n: used[n])
            if spoiled == "unexpected":
                keywords, kind = {"unexpected": PROBE}, TypeError
            elif spoiled == "out":
                values[names.index("out")], kind = refused_outs[used["out"] % 4]
            else:
                values[names.index(spoiled)], kind = REFUSALS[spoiled]
            used[spoiled] += 1
        if k % 2:
            keywords.update(zip(names, values))
            values = []
        prepared.append((function, values, keywords, kind))
    return prepared


def run(prepared, count):
    for _ in range(count):
        for function, positional, keywords, refused in prepared:
            try:
                function(*positional, **keywords)
            except refused:
                pass


def reference_counts(prepared):
    objects = {}
    for _, positional, keywords, _ in prepared:
        for value in (*positional, *keywords.values()):
            objects[id(value)] = value
            if isinstance(value, list):
                objects.update((id(item), item) for item in value)
    # None and the booleans are shared by the whole interpreter; their counts move anyway.
    for shared in (None, True, False):
        objects.pop(id(shared), None)
    return [(repr(value), sys.getrefcount(value)) for value in objects.values()]


@pytest.mark.parametrize("refused", [False, True], ids=["accepted", "refused"])
def test_calls_leak_nothing(refused):
    prepared = calls(refused)
    for function, positional, keywords, kind in prepared:
        if kind:
            with pytest.raises(kind):
                function(*positional, **keywords)
    run(prepared, 500)  # free lists, caches and first allocations settle
    counts = reference_counts(prepared)
    # A leak grows memory in every round; noise in one round is forgiven once.
    for _ in range(2):
        before = resident()
        run(prepared, CALLS)
        growth = resident() - before
        if growth <= SLACK or not RSS_MEANINGFUL:
            break
    assert growth <= SLACK or not RSS_MEANINGFUL
    assert reference_counts(prepared) == counts
