"""Levenshtein batches and cross-products: every route, the string lists, the pool."""

import random
import threading

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quillon
from reference import levenshtein
from strategies import texts
from threads import other_thread_runs_during

short_ascii = st.text(alphabet="abcd", max_size=12)


def nested_single(list_a, list_b):
    if not list_a or not list_b:
        return []
    return [[quillon.levenshtein_distance(a, b) for b in list_b] for a in list_a]


class TestBatch:
    @given(query=texts, candidates=st.lists(texts, max_size=19))
    def test_batch_equals_single(self, query, candidates):
        expected = [quillon.levenshtein_distance(query, c) for c in candidates]
        assert quillon.levenshtein_batch(query, candidates) == expected

    @given(query=short_ascii, candidates=st.lists(short_ascii, max_size=40))
    def test_myers_route_equals_reference(self, query, candidates):
        assert quillon.levenshtein_batch(query, candidates) == [
            levenshtein(query, c) for c in candidates
        ]

    @pytest.mark.parametrize("size", [0, 1, 7, 8, 9, 13, 4095, 4096, 4097, 8200])
    def test_chunk_and_group_boundaries(self, size):
        rng = random.Random(size)
        candidates = [
            "".join(rng.choice("abcde") for _ in range(rng.randint(0, 20))) for _ in range(size)
        ]
        query = "abcdeabcde"
        result = quillon.levenshtein_batch(query, candidates)
        assert result == [quillon.levenshtein_distance(query, c) for c in candidates]

    @pytest.mark.parametrize(
        "query, odd_one",
        [
            ("q" * 65, None),  # query too long for one word
            ("", None),  # empty query
            ("abc", "é"),  # one non-ASCII candidate sends the batch to the scalar route
            ("é", None),
        ],
    )
    def test_scalar_fallbacks(self, query, odd_one):
        candidates = ["abc", "", "q" * 70, "xbcq"] * 5
        if odd_one is not None:
            candidates.insert(9, odd_one)
        expected = [levenshtein(query, c) for c in candidates]
        assert quillon.levenshtein_batch(query, candidates) == expected

    def test_pattern_lengths(self):
        candidates = ["", "a", "ab" * 40, "b" * 64, "a" * 63 + "b", "x"] * 3
        for query in ("a", "a" * 63, "a" * 64, "ab" * 32):
            assert quillon.levenshtein_batch(query, candidates) == [
                levenshtein(query, c) for c in candidates
            ]

    def test_general_pairs_with_differing_queries(self, internals):
        pairs = [("abc", "abd"), ("abd", "abd"), ("kitten", "sitting"), ("", "xy")] * 3
        assert internals.levenshtein_pairs(pairs) == [levenshtein(a, b) for a, b in pairs]
        same = [("abc", c) for c in ("abd", "", "abcabc", "x")]
        assert internals.levenshtein_pairs(same) == [levenshtein(a, b) for a, b in same]


class TestCdist:
    @given(list_a=st.lists(texts, max_size=6), list_b=st.lists(texts, max_size=9))
    def test_cdist_equals_nested_single(self, list_a, list_b):
        assert quillon.levenshtein_cdist(list_a, list_b) == nested_single(list_a, list_b)

    def test_empty_lists_give_no_rows(self):
        assert quillon.levenshtein_cdist([], ["x"]) == []
        assert quillon.levenshtein_cdist(["x"], []) == []
        assert quillon.levenshtein_cdist([], []) == []

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


class TestStringLists:
    def test_any_iterable(self):
        assert quillon.levenshtein_batch("a", "ab") == [0, 1]
        assert quillon.levenshtein_batch("a", ("a", "b")) == [0, 1]
        assert quillon.levenshtein_batch("a", (c for c in ["a", "bb"])) == [0, 2]
        assert quillon.levenshtein_batch("a", {"a": 1, "b": 2}.keys()) == [0, 1]
        assert quillon.levenshtein_batch("abc", []) == []

        class Text(str):
            pass

        assert quillon.levenshtein_cdist([Text("a")], iter(["b"])) == [[1]]

    @pytest.mark.parametrize(
        "candidates, message",
        [
            (["x", 1], "'int' object is not an instance of 'str'"),
            (["x", None], "'None' is not an instance of 'str'"),
            ([b"x"], "'bytes' object is not an instance of 'str'"),
            (5, "'int' object is not iterable"),
            (None, "'NoneType' object is not iterable"),
        ],
    )
    def test_refusals_have_no_note(self, candidates, message):
        for call in (
            lambda: quillon.levenshtein_batch("a", candidates),
            lambda: quillon.levenshtein_cdist(candidates, ["a"]),
            lambda: quillon.levenshtein_cdist(["a"], candidates),
        ):
            with pytest.raises(TypeError) as info:
                call()
            assert str(info.value) == message
            assert not hasattr(info.value, "__notes__")

    def test_query_is_converted_first(self):
        with pytest.raises(TypeError) as info:
            quillon.levenshtein_batch(None, 5)
        assert str(info.value) == "'None' is not an instance of 'str'"
        assert info.value.__notes__ == ["while processing 'query'"]

    def test_iterator_errors_pass_through(self):
        def broken():
            yield "a"
            raise KeyError("inside")

        with pytest.raises(KeyError):
            quillon.levenshtein_batch("a", broken())

    def test_items_taken_before_encoding(self):
        # list_b's type error is found before list_a's encoding error.
        with pytest.raises(TypeError):
            quillon.levenshtein_cdist(["\ud800"], [1])
        with pytest.raises(UnicodeEncodeError) as info:
            quillon.levenshtein_cdist(["a"], ["\ud800"])
        assert not hasattr(info.value, "__notes__")

    def test_refusals_leak_nothing(self):
        import sys

        items = ["kept", "also kept"]
        probe = object()
        before = [sys.getrefcount(x) for x in items + [probe]]
        for _ in range(1000):
            with pytest.raises(TypeError):
                quillon.levenshtein_batch("a", items + [probe])
            with pytest.raises(TypeError):
                quillon.levenshtein_cdist(items, items + [probe])
            with pytest.raises(UnicodeEncodeError):
                quillon.levenshtein_batch("a", items + ["\udc80"])
        assert [sys.getrefcount(x) for x in items + [probe]] == before


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

    def test_python_threads_submit_at_once(self):
        rng = random.Random(11)
        candidates = [
            "".join(rng.choice("abc") for _ in range(rng.randint(0, 12))) for _ in range(9000)
        ]
        queries = ["abc", "a" * 70, "é", "cab", "", "bbbb"]
        expected = {q: [levenshtein(q, c) for c in candidates[:50]] for q in queries}
        results, errors = {}, []

        def work(query):
            try:
                for _ in range(5):
                    got = quillon.levenshtein_batch(query, candidates)
                    assert got[:50] == expected[query]
                results[query] = got
            except BaseException as error:  # pragma: no cover - reported below
                errors.append(error)

        threads = [threading.Thread(target=work, args=(q,)) for q in queries]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        assert not errors
        for query in queries:
            assert results[query] == quillon.levenshtein_batch(query, candidates)

    def test_lock_released_during_cdist(self):
        def make_call(scale):
            list_a, list_b = ["abcdefghij" * 3] * (100 * scale), ["bcdefghija" * 3] * 4000
            return lambda: quillon.levenshtein_cdist(list_a, list_b)

        assert other_thread_runs_during(make_call)
