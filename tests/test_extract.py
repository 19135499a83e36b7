"""Extraction of the best matches over choices."""

import math
import random

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


def mixed_words(seed, count):
    """Words of 0 to 30 characters: runs that are all ASCII, then runs mixing ASCII, accented
    and astral words, so that one list takes every candidate route."""
    rng = random.Random(seed)
    alphabets = ["abcd", "abcdé", "ab😀c", "é\u4e00ab"]
    return [
        "".join(
            rng.choices(
                alphabets[0] if k % 100 < 50 else rng.choice(alphabets), k=rng.randint(0, 30)
            )
        )
        for k in range(count)
    ]


# Empty, ASCII, accented and astral queries, and queries above 64 characters (several words
# of masks per query).
QUERIES = ["", "abca", "abcdabcdabcdab", "abcé", "a😀bc", ("abcd" * 40)[:65], ("abé" * 50)[:130]]


class TestAgainstPairwise:
    """The prepared-query routes against scoring every choice with fuzz_ratio."""

    @pytest.mark.parametrize("size", [7, 1000, 1001, 3000])
    @pytest.mark.parametrize("query", QUERIES, ids=range(len(QUERIES)))
    def test_routes_agree(self, internals, query, size):
        choices = mixed_words(size, size)
        for cutoff, limit in ((0.0, 5), (45.0, 1), (60.0, 17), (0.0, size + 1), (-1.0, 3)):
            expected = internals.extract_pairwise(query, choices, cutoff, limit)
            assert quillon.fuzz_extract(query, choices, cutoff, limit) == expected
        for cutoff in (0.0, 50.0, 101.0):
            expected = internals.extract_one_pairwise(query, choices, cutoff)
            assert quillon.fuzz_extract_one(query, choices, cutoff) == expected
        assert quillon.fuzz_ratio_batch(query, choices) == [
            quillon.fuzz_ratio(query, c) for c in choices
        ]

    @pytest.mark.parametrize("query", ["abcd", "abcé", ("ab" * 40)[:70]])
    def test_cutoff_at_and_around_a_score(self, internals, query):
        # Extensions of the query score exactly what their length allows: the length bound
        # equals the score, and a cut-off there must keep them.
        choices = mixed_words(3, 1500) + [query + "x" * k for k in range(6)] + [query[1:]]
        scores = sorted(set(quillon.fuzz_ratio_batch(query, choices)), reverse=True)
        for score in scores[:8]:
            for cutoff in (
                score,
                math.nextafter(score, -math.inf),
                math.nextafter(score, math.inf),
            ):
                for limit in (1, 4, 2000):
                    expected = internals.extract_pairwise(query, choices, cutoff, limit)
                    assert quillon.fuzz_extract(query, choices, cutoff, limit) == expected
                expected = internals.extract_one_pairwise(query, choices, cutoff)
                assert quillon.fuzz_extract_one(query, choices, cutoff) == expected

    @pytest.mark.parametrize("query", ["a" * 300, "abc"])
    def test_ratio_batch_of_many_distinct_scores(self, query):
        # More distinct scores than the result list shares float objects for, between
        # repeated ones.
        candidates = ["a" * k for k in range(2500)] + ["b", "ab"] * 40
        scores = quillon.fuzz_ratio_batch(query, candidates)
        assert scores == [quillon.fuzz_ratio(query, c) for c in candidates]
        assert all(type(s) is float for s in scores)

    @pytest.mark.parametrize("limit", [1, 2, 5, 7, 64])
    def test_ties_across_pieces(self, internals, limit):
        # Long runs of equal scores: the worst kept match of each piece ties with what follows,
        # and the merge of the pieces must give the first ones in index order.
        choices = ["abcx", "abcy", "zzzz", "abc", "abcz"] * 700
        assert quillon.fuzz_extract("abc", choices, 0.0, limit) == internals.extract_pairwise(
            "abc", choices, 0.0, limit
        )


# Narrow lanes: 64 candidates per kernel run, 8 to 64 bits per lane by the query's length, so
# query lengths sit on the lane-width seams and at the 64-character limit (65 scores candidate
# by candidate). Lists mix each alphabet with plain ASCII words, texts of more than 64 units
# (scored on their own between blocks), empty texts and near copies of the query; every third
# query is ASCII, whose lanes take the bytes of accented candidates as they are. 1100 choices
# run in pieces of 16 on the pool, 300 in full blocks on the calling thread.
LANE_ALPHABETS = {
    "ascii": "abcdefgh",
    "latin1": "aeéèàöüñ",
    "mixed": "aé\u4e00\u0416b\x00",
    "astral": "a😀🙂\U0001d11e",
}
LANE_LENGTHS = [1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65]


@pytest.mark.parametrize("kernel", ["portable", "avx2", "avx512"])
@pytest.mark.parametrize("alphabet", LANE_ALPHABETS)
def test_lanes_equal_per_candidate_route(internals, kernel, alphabet):
    if internals.ratio_batch_lanes(kernel, "a", ["a"]) is None:
        pytest.skip(f"this processor cannot run {kernel}")
    rng = random.Random(kernel + alphabet)
    letters = LANE_ALPHABETS[alphabet]

    def text(n, alphabet=letters):
        return "".join(rng.choices(alphabet if rng.random() < 0.7 else "ab", k=n))

    for k, length in enumerate(LANE_LENGTHS):
        query = text(length, letters if k % 3 else "abcd")
        sizes = [0, 1, 5, 16, 30, 64, 65, 70] + [rng.randint(0, 40)] * 4
        choices = [text(rng.choice(sizes)) for _ in range(1100 if k % 2 else 300)]
        choices += [query, query + "x", query[1:], query[::-1]]
        rng.shuffle(choices)
        scores = internals.ratio_batch_lanes("candidates", query, choices)
        assert internals.ratio_batch_lanes(kernel, query, choices) == scores, query
        third = sorted(set(scores), reverse=True)[2]
        for cutoff in (0.0, third, math.nextafter(third, -math.inf), math.nextafter(third, 100)):
            for limit in (1, 5, 2000):
                expected = internals.extract_pairwise(query, choices, cutoff, limit)
                assert internals.extract_lanes(kernel, query, choices, cutoff, limit) == expected
            expected = internals.extract_one_pairwise(query, choices, cutoff)
            assert internals.extract_one_lanes(kernel, query, choices, cutoff) == expected
