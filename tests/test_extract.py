"""Extraction of the best matches over choices."""

import math

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import ratio
from strategies import texts, words


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
    @example(query="", choices=["x", "", "yy", ""], cutoff=0.0, limit=10)
    @example(query="café", choices=["cafe", "café 😀"], cutoff=0.0, limit=5)
    def test_matches_reference(self, query, choices, cutoff, limit):
        assert quillon.fuzz_extract(query, choices, cutoff, limit) == expected_extract(
            query, choices, cutoff, limit
        )

    def test_cutoff_is_inclusive_and_nan_keeps_nothing(self):
        assert quillon.fuzz_extract("abcd", ["abce"], 75.0) == [("abce", 75.0, 0)]
        assert quillon.fuzz_extract("abcd", ["abce"], math.nextafter(75.0, 100)) == []
        assert quillon.fuzz_extract("abcd", ["abcd"], math.nan) == []
        assert quillon.fuzz_extract_one("abcd", ["abcd"], math.nan) is None

    def test_ties_duplicates_limits_and_types(self):
        choices = ["abcx", "abcy", "abc", "abcz", "abc", "zzz"] * 3
        full = quillon.fuzz_extract("abc", choices, limit=100)
        assert full == expected_extract("abc", choices, limit=100)
        assert [type(v) for v in full[0]] == [str, float, int]
        # A limit below the number of matches keeps exactly the first of the full order.
        assert quillon.fuzz_extract("abc", choices) == full[:5]
        for limit in range(1, len(choices)):
            assert quillon.fuzz_extract("abc", choices, limit=limit) == full[:limit]
        assert quillon.fuzz_extract("a", ["a", "b"], limit=True) == [("a", 100.0, 0)]

    @pytest.mark.parametrize("size", [1000, 1001, 5000])
    def test_parallel_threshold_keeps_index_order(self, size):
        choices = words(size, size, "abc", 0, 6)
        for limit in (3, size):
            expected = expected_extract("abca", choices, 20.0, limit)
            assert quillon.fuzz_extract("abca", choices, 20.0, limit) == expected


class TestExtractOne:
    @given(
        query=texts,
        choices=st.lists(texts, max_size=12),
        cutoff=st.sampled_from([0.0, 30.0, 100.0, 101.0]),
    )
    @example(query="abcd", choices=["abce", "zz", "q", "abcf"], cutoff=0.0)
    @example(query="abc", choices=["abc", "abc"], cutoff=0.0)
    def test_first_best(self, query, choices, cutoff):
        scored = [
            (c, ratio(query, c), i) for i, c in enumerate(choices) if ratio(query, c) >= cutoff
        ]
        best = max(scored, key=lambda m: m[1], default=None)
        if best is not None:
            best = next(m for m in scored if m[1] == best[1])
        assert quillon.fuzz_extract_one(query, choices, cutoff) == best
