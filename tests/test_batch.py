"""Batches and cross-products of every family against single pairs; Levenshtein's routes, any
iterable, the pool."""

import random

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quillon
from reference import levenshtein
from strategies import texts
from threads import other_thread_runs_during


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


def nested_single(list_a, list_b, single=quillon.levenshtein_distance, extra=()):
    if not list_a or not list_b:
        return []
    return [[single(a, b, *extra) for b in list_b] for a in list_a]


@pytest.mark.parametrize("batch, single, extra", BATCHES, ids=[b[0].__name__ for b in BATCHES])
@given(query=texts, candidates=st.lists(texts, max_size=19))
def test_batch_equals_single(batch, single, extra, query, candidates):
    assert batch(query, candidates, *extra) == [single(query, c, *extra) for c in candidates]


@pytest.mark.parametrize("cdist, single, extra", CDISTS, ids=[c[0].__name__ for c in CDISTS])
@given(list_a=st.lists(texts, max_size=6), list_b=st.lists(texts, max_size=9))
def test_cdist_equals_nested_single(cdist, single, extra, list_a, list_b):
    assert cdist(list_a, list_b, *extra) == nested_single(list_a, list_b, single, extra)


class TestBatch:
    @pytest.mark.parametrize("size", [0, 1, 7, 8, 9, 13, 4095, 4096, 4097, 8200])
    def test_chunk_and_group_boundaries(self, size):
        rng = random.Random(size)
        candidates = [
            "".join(rng.choice("abcde") for _ in range(rng.randint(0, 20))) for _ in range(size)
        ]
        query = "abcdeabcde"
        result = quillon.levenshtein_batch(query, candidates)
        assert result == [quillon.levenshtein_distance(query, c) for c in candidates]

    @pytest.mark.parametrize("query", ["", "a", "a" * 63, "a" * 64, "ab" * 32, "q" * 65, "é"])
    @pytest.mark.parametrize("odd_one", [None, "é"])
    def test_query_and_candidate_routes(self, query, odd_one):
        # Queries around one word; one non-ASCII candidate sends the batch pair by pair.
        candidates = ["abc", "", "a", "ab" * 40, "b" * 64, "a" * 63 + "b", "q" * 70, "xbcq"] * 3
        if odd_one is not None:
            candidates.insert(9, odd_one)
        expected = [levenshtein(query, c) for c in candidates]
        assert quillon.levenshtein_batch(query, candidates) == expected

    def test_general_pairs_with_differing_queries(self, internals):
        pairs = [("abc", "abd"), ("abd", "abd"), ("kitten", "sitting"), ("", "xy")] * 3
        assert internals.levenshtein_pairs(pairs) == [levenshtein(a, b) for a, b in pairs]
        same = [("abc", c) for c in ("abd", "", "abcabc", "x")]
        assert internals.levenshtein_pairs(same) == [levenshtein(a, b) for a, b in same]


class TestCdist:
    def test_rows_choose_their_route(self):
        list_a = ["abc", "é" * 3, "a" * 65, "", "abd"]
        list_b = ["abc", "abcd", "", "zz" * 40, "b"]
        assert quillon.levenshtein_cdist(list_a, list_b) == [
            [levenshtein(a, b) for b in list_b] for a in list_a
        ]
        assert quillon.levenshtein_cdist(list_a, list_b + ["é"]) == nested_single(
            list_a, list_b + ["é"]
        )

    def test_many_rows(self):
        rng = random.Random(5)
        list_a = ["".join(rng.choice("abc") for _ in range(rng.randint(0, 9))) for _ in range(300)]
        list_b = list_a[:23]
        assert quillon.levenshtein_cdist(list_a, list_b) == nested_single(list_a, list_b)


def test_any_iterable_of_str():
    assert quillon.levenshtein_batch("a", "ab") == [0, 1]
    assert quillon.levenshtein_batch("a", ("a", "b")) == [0, 1]
    assert quillon.levenshtein_batch("a", (c for c in ["a", "bb"])) == [0, 2]
    assert quillon.levenshtein_batch("a", {"a": 1, "b": 2}.keys()) == [0, 1]
    assert quillon.levenshtein_batch("abc", []) == []

    class Text(str):
        pass

    assert quillon.levenshtein_cdist([Text("a")], iter(["b"])) == [[1]]


class TestPool:
    def test_fault_on_a_worker_reaches_the_caller(self, internals):
        for failing in (0, 4999, 9999):
            with pytest.raises(BaseException, match=f"^fault on item {failing}$") as info:
                internals.pool_fault(10_000, failing)
            assert not isinstance(info.value, Exception)
        internals.pool_fault(10_000, 10_000)  # and the pool still works
        if internals.pool_size() > 1:
            with pytest.raises(BaseException, match="^fault on a worker thread$") as info:
                internals.pool_fault_on_worker()
            assert type(info.value).__name__ == "PanicException"

    def test_chunks_cover_the_range_once(self, internals):
        assert internals.pool_chunks(0, 4096) == []
        assert internals.pool_chunks(4097, 4096) == [(0, 0, 4096), (1, 4096, 4097)]
        chunks = internals.pool_chunks(100_001, 4096)
        assert [c for c, _, _ in chunks] == list(range(25))
        assert all(end - begin == 4096 for _, begin, end in chunks[:-1])
        assert chunks[-1] == (24, 98304, 100_001)

    def test_lock_released_during_cdist(self):
        def make_call(scale):
            list_a, list_b = ["abcdefghij" * 3] * (100 * scale), ["bcdefghija" * 3] * 4000
            return lambda: quillon.levenshtein_cdist(list_a, list_b)

        assert other_thread_runs_during(make_call)
