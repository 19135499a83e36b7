"""Extraction over choices and the ratio batch."""

import math
import random
import sys

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quillon
from reference import ratio
from strategies import texts


def expected_extract(query, choices, cutoff=0.0, limit=5):
    kept = [(c, ratio(query, c), i) for i, c in enumerate(choices)]
    kept = [m for m in kept if m[1] >= cutoff]
    kept.sort(key=lambda m: -m[1])  # stable: equal scores stay in index order
    return kept[:limit]


class TestExtract:
    @given(
        query=texts,
        choices=st.lists(texts, max_size=15),
        cutoff=st.sampled_from([0.0, 40.0, 100.0]),
        limit=st.integers(0, 20),
    )
    def test_matches_reference(self, query, choices, cutoff, limit):
        assert quillon.fuzz_extract(query, choices, cutoff, limit) == expected_extract(
            query, choices, cutoff, limit
        )

    def test_defaults_and_shape(self):
        result = quillon.fuzz_extract(
            "apple", ["apple", "apply", "maple", "x", "ape", "apples", "pale"]
        )
        assert len(result) == 5
        assert all(type(t) is tuple and len(t) == 3 for t in result)
        assert result[0] == ("apple", 100.0, 0)
        assert [type(v) for v in result[0]] == [str, float, int]

    def test_limit_zero_and_empty(self):
        assert quillon.fuzz_extract("a", ["a"], limit=0) == []
        assert quillon.fuzz_extract("a", []) == []
        assert quillon.fuzz_extract_one("zzz", []) is None
        assert quillon.fuzz_ratio_batch("a", []) == []

    def test_cutoff_is_inclusive_and_nan_keeps_nothing(self):
        assert quillon.fuzz_extract("abcd", ["abce"], 75.0) == [("abce", 75.0, 0)]
        assert quillon.fuzz_extract("abcd", ["abce"], math.nextafter(75.0, 100)) == []
        assert quillon.fuzz_extract("abcd", ["abcd"], math.nan) == []
        assert quillon.fuzz_extract_one("abcd", ["abcd"], math.nan) is None

    def test_empty_query(self):
        assert quillon.fuzz_extract("", ["x", "", "yy", ""], limit=10) == [
            ("", 100.0, 1),
            ("", 100.0, 3),
            ("x", 0.0, 0),
            ("yy", 0.0, 2),
        ]

    def test_ties_duplicates_and_selection(self):
        choices = ["abcx", "abcy", "abc", "abcz", "abc", "zzz"] * 3
        full = quillon.fuzz_extract("abc", choices, limit=100)
        assert full == expected_extract("abc", choices, limit=100)
        # A limit below the number of matches keeps the best ones, best first; strictly higher
        # scores always survive.
        for limit in range(1, len(choices)):
            part = quillon.fuzz_extract("abc", choices, limit=limit)
            assert len(part) == limit
            assert [m[1] for m in part] == [m[1] for m in full[:limit]]
            assert all(choices[i] == text for text, _, i in part)
            assert len({i for _, _, i in part}) == limit

    @pytest.mark.parametrize("size", [1000, 1001, 5000])
    def test_parallel_threshold_keeps_index_order(self, size):
        rng = random.Random(size)
        choices = [
            "".join(rng.choice("abc") for _ in range(rng.randint(0, 6))) for _ in range(size)
        ]
        for limit in (3, size):
            assert quillon.fuzz_extract("abca", choices, 20.0, limit) == expected_extract(
                "abca", choices, 20.0, limit
            )
        assert (
            quillon.fuzz_extract("abca", choices[:1000], 0.0, size)[:10]
            == [m for m in quillon.fuzz_extract("abca", choices, 0.0, size) if m[2] < 1000][:10]
        )

    def test_non_ascii_choice_text_round_trips(self):
        assert quillon.fuzz_extract("café", ["cafe", "café 😀"])[1] == ("cafe", 75.0, 0)
        assert quillon.fuzz_extract_one("😀", ["a", "😀"]) == ("😀", 100.0, 1)

    def test_argument_refusals(self):
        with pytest.raises(OverflowError) as info:
            quillon.fuzz_extract("a", ["a"], limit=-1)
        assert info.value.__notes__ == ["while processing 'limit'"]
        with pytest.raises(TypeError) as info:
            quillon.fuzz_extract("a", ["a"], limit=2.0)
        assert info.value.__notes__ == ["while processing 'limit'"]
        # Named parameters come before the list: a bad cut-off wins over a bad list.
        with pytest.raises(TypeError) as info:
            quillon.fuzz_extract("a", 5, None)
        assert info.value.__notes__ == ["while processing 'score_cutoff'"]
        with pytest.raises(TypeError, match="'int' object is not iterable"):
            quillon.fuzz_extract_one("a", 5)
        assert quillon.fuzz_extract("a", ["a", "b"], limit=True) == [("a", 100.0, 0)]


class TestExtractOne:
    @given(
        query=texts,
        choices=st.lists(texts, max_size=12),
        cutoff=st.sampled_from([0.0, 30.0, 100.0, 101.0]),
    )
    def test_first_best(self, query, choices, cutoff):
        scored = [
            (c, ratio(query, c), i) for i, c in enumerate(choices) if ratio(query, c) >= cutoff
        ]
        best = max(scored, key=lambda m: m[1], default=None)
        if best is not None:
            best = next(m for m in scored if m[1] == best[1])
        assert quillon.fuzz_extract_one(query, choices, cutoff) == best

    def test_equal_scores_first_index_wins(self):
        assert quillon.fuzz_extract_one("abcd", ["abce", "zz", "q", "abcf"]) == ("abce", 75.0, 0)
        assert quillon.fuzz_extract_one("abc", ["abc", "abc"]) == ("abc", 100.0, 0)


class TestRatioBatch:
    @given(query=texts, candidates=st.lists(texts, max_size=20))
    def test_batch_equals_single(self, query, candidates):
        assert quillon.fuzz_ratio_batch(query, candidates) == [
            quillon.fuzz_ratio(query, c) for c in candidates
        ]

    def test_large_batch(self):
        candidates = ["abcdefgh"[: k % 9] for k in range(20000)]
        assert quillon.fuzz_ratio_batch("abcd", candidates) == [
            ratio("abcd", c) for c in candidates
        ]

    def test_refusals_leak_nothing(self):
        probe = object()
        before = sys.getrefcount(probe)
        for _ in range(500):
            with pytest.raises(TypeError):
                quillon.fuzz_ratio_batch("a", ["a", probe])
            with pytest.raises(TypeError):
                quillon.fuzz_extract("a", ["a"], 0.0, probe)
        assert sys.getrefcount(probe) == before
