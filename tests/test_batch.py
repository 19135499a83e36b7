"""Batches and cross-products of every family against single pairs; the pool and the lock."""

import threading
import time
from functools import partial

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quillon
from reference import levenshtein
from strategies import texts, words

# (batch or cross-product, its single-pair function, arguments after the texts)
BATCHES = [
    (quillon.levenshtein_batch, quillon.levenshtein_distance, ()),
    (quillon.damerau_levenshtein_batch, quillon.damerau_levenshtein_distance, ()),
    (quillon.jaro_winkler_batch_fn, quillon.jaro_winkler_similarity, (0.2,)),
    (quillon.fuzz_ratio_batch, quillon.fuzz_ratio, ()),
    (quillon.needleman_wunsch_batch_fn, quillon.needleman_wunsch_score, (2, -1, -1)),
    (quillon.needleman_wunsch_affine_batch, quillon.needleman_wunsch_affine, (2, -1, -3, -1)),
]
CDISTS = [
    (quillon.levenshtein_cdist, quillon.levenshtein_distance, ()),
    (quillon.damerau_levenshtein_cdist, quillon.damerau_levenshtein_distance, ()),
    (quillon.jaro_winkler_cdist, quillon.jaro_winkler_similarity, (0.25,)),
]
batches = pytest.mark.parametrize(
    "batch, single, extra", BATCHES, ids=[b[0].__name__ for b in BATCHES]
)


def nested_single(list_a, list_b, single=quillon.levenshtein_distance, extra=()):
    if not list_a or not list_b:
        return []
    return [[single(a, b, *extra) for b in list_b] for a in list_a]


@batches
@given(query=texts, candidates=st.lists(texts, max_size=19))
def test_batch_equals_single(batch, single, extra, query, candidates):
    assert batch(query, candidates, *extra) == [single(query, c, *extra) for c in candidates]


@batches
@pytest.mark.parametrize("size", [0, 1, 3, 7, 8, 9, 13, 4095, 4096, 4097, 8200])
def test_lane_groups_and_chunks(batch, single, extra, size):
    # ASCII candidates of 1..64 characters take the lane kernels, in chunks of 4096. The query
    # gives Jaro-Winkler values on both sides of 0.7, with and without shared prefixes.
    candidates = words(size, size, low=1, high=64)
    expected = [single("abcdabcdab", c, *extra) for c in candidates]
    assert batch("abcdabcdab", candidates, *extra) == expected


@pytest.mark.parametrize("cdist, single, extra", CDISTS, ids=[c[0].__name__ for c in CDISTS])
@given(list_a=st.lists(texts, max_size=6), list_b=st.lists(texts, max_size=9))
def test_cdist_equals_nested_single(cdist, single, extra, list_a, list_b):
    assert cdist(list_a, list_b, *extra) == nested_single(list_a, list_b, single, extra)


@pytest.mark.parametrize("query", ["", "a", "a" * 63, "a" * 64, "ab" * 32, "q" * 65, "é"])
@pytest.mark.parametrize("odd_one", [None, "é"])
def test_levenshtein_query_and_candidate_routes(query, odd_one):
    # Queries around one word; one non-ASCII candidate sends the batch pair by pair.
    candidates = ["abc", "", "a", "ab" * 40, "b" * 64, "a" * 63 + "b", "q" * 70, "xbcq"] * 3
    if odd_one is not None:
        candidates.insert(9, odd_one)
    assert quillon.levenshtein_batch(query, candidates) == [
        levenshtein(query, c) for c in candidates
    ]


def test_levenshtein_pairs_with_differing_queries(internals):
    mixed = [("abc", "abd"), ("abd", "abd"), ("kitten", "sitting"), ("", "xy")] * 3
    for pairs in (mixed, [("abc", c) for c in ("abd", "", "abcabc", "x")]):
        assert internals.levenshtein_pairs(pairs) == [levenshtein(a, b) for a, b in pairs]


def test_cdist_rows_choose_their_route():
    # Rows of every kind, and enough of them to be split into pieces.
    list_a = ["abc", "é" * 3, "a" * 65, "", "abd"] + words(5, 300, "abc", 0, 9)
    list_b = ["abc", "abcd", "", "zz" * 40, "b"]
    for b in (list_b, list_b + ["é"]):
        assert quillon.levenshtein_cdist(list_a, b) == nested_single(list_a, b)


def test_any_iterable_of_str():
    assert quillon.levenshtein_batch("a", "ab") == [0, 1]
    assert quillon.levenshtein_batch("a", (c for c in ["a", "bb"])) == [0, 2]
    assert quillon.levenshtein_batch("a", {"a": 1, "b": 2}.keys()) == [0, 1]
    assert quillon.levenshtein_batch("abc", []) == []

    class Text(str):
        pass

    assert quillon.levenshtein_cdist([Text("a")], iter(["b"])) == [[1]]


def test_fault_on_a_worker_reaches_the_caller(internals):
    for failing in (0, 4999, 9999):
        with pytest.raises(BaseException, match=f"^fault on item {failing}$") as info:
            internals.pool_fault(10_000, failing)
        assert not isinstance(info.value, Exception)
    internals.pool_fault(10_000, 10_000)  # and the pool still works
    if internals.pool_size() > 1:
        with pytest.raises(BaseException, match="^fault on a worker thread$") as info:
            internals.pool_fault_on_worker()
        assert type(info.value).__name__ == "PanicException"


def other_thread_runs_during(make_call):
    """make_call(scale) returns a call whose cost grows with scale. True when another Python
    thread records timestamps strictly inside one call long enough to tell (0.02 s margins for
    the switches just before and after it)."""

    def tick(stamps, done):
        while not done.is_set():
            stamps.append(time.perf_counter())

    for scale in (2**k for k in range(8)):
        call, stamps, done = make_call(scale), [], threading.Event()
        ticker = threading.Thread(target=tick, args=(stamps, done))
        ticker.start()
        try:
            start = time.perf_counter()
            call()
            end = time.perf_counter()
        finally:
            done.set()
            ticker.join()
        if end - start > 0.1:
            return any(start + 0.02 < t < end - 0.02 for t in stamps)
    raise AssertionError("the call never took long enough to observe")


def token_pair(scale):
    # A token of its own on each side: no shortcut applies, the sorted strings are compared.
    a = " ".join(f"w{i % 997}" for i in range(3000 * scale))
    return a, " ".join(f"w{i % 991}" for i in range(3000 * scale)) + " only"


@pytest.mark.parametrize(
    "make_call",
    [
        # Unrelated texts: a near pair would finish in a narrow band whatever its length.
        lambda s: partial(quillon.levenshtein_distance, "ab" * 5000 * s + "é", "cd" * 5000 * s),
        lambda s: partial(quillon.fuzz_token_ratio, *token_pair(s)),
        lambda s: partial(
            quillon.levenshtein_cdist, ["abcdefghij" * 3] * (100 * s), ["bcdefghija" * 3] * 4000
        ),
    ],
    ids=["single", "token", "cdist"],
)
def test_lock_released_while_computing(make_call):
    assert other_thread_runs_during(make_call)
