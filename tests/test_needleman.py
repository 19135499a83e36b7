"""Needleman-Wunsch scores: linear, affine and the byte route, with saturation."""

import random

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import quillon
from reference import INT64_MAX, INT64_MIN, nw_affine, nw_linear
from strategies import shift


nw_texts = st.one_of(st.text(alphabet="ACGT", max_size=12), st.text(alphabet="aé😀", max_size=8))
any_scores = st.one_of(
    st.integers(-5, 5),
    st.integers(INT64_MIN, INT64_MAX),
    st.sampled_from([INT64_MIN, INT64_MAX, 2**61, -(2**61)]),
)


class TestLinear:
    @pytest.mark.parametrize(
        "a, b, scores, expected",
        [
            ("", "abc", (1, -1, -2), -6),
            ("ab", "ab", (0, -1, 5), 0),
            ("ab", "abc", (0, -1, 5), 25),
            ("GATTACA", "GCATGCU", (1, -1, -1), 0),
            ("abc", "xyz", (2, -3, -1), -6),
            ("héllo", "hello", (1, -1, -1), 3),
            ("ab", "ab", (INT64_MAX, 0, 0), INT64_MAX),
            ("abc", "", (0, 0, -(2**62)), INT64_MIN),
        ],
    )
    def test_examples(self, a, b, scores, expected):
        assert quillon.needleman_wunsch_score(a, b, *scores) == expected
        assert quillon.needleman_wunsch_striped(a, b, *scores) == expected

    @given(a=nw_texts, b=nw_texts, m=any_scores, x=any_scores, g=any_scores)
    @example(a="AC", b="CA", m=INT64_MAX, x=INT64_MIN, g=INT64_MIN)
    def test_matches_reference(self, a, b, m, x, g):
        expected = nw_linear(a, b, m, x, g)
        assert quillon.needleman_wunsch_score(a, b, m, x, g) == expected
        assert quillon.needleman_wunsch_striped(a, b, m, x, g) == expected

    @pytest.mark.parametrize("lb", [1, 7, 8, 9, 15, 16, 17, 33])
    def test_striped_block_seams(self, internals, lb):
        rng = random.Random(lb)
        for _ in range(20):
            a = "".join(rng.choice("ACGT") for _ in range(rng.randint(1, 20)))
            b = "".join(rng.choice("ACGT") for _ in range(lb))
            scores = (rng.randint(-3, 3), rng.randint(-3, 3), rng.randint(-3, 3))
            expected = nw_linear(a, b, *scores)
            assert quillon.needleman_wunsch_striped(a, b, *scores) == expected
            assert internals.needleman_striped_rows(a, b, *scores) == expected

    @given(a=st.text(alphabet="ACGT", max_size=10), b=st.text(alphabet="ACGT", max_size=10))
    def test_ascii_and_unicode_agree(self, a, b):
        expected = quillon.needleman_wunsch_score(a, b, 2, -1, -1)
        assert quillon.needleman_wunsch_score(shift(a), shift(b), 2, -1, -1) == expected
        assert quillon.needleman_wunsch_striped(shift(a), b, 2, -1, -1) == nw_linear(
            shift(a), b, 2, -1, -1
        )


class TestAffine:
    @pytest.mark.parametrize(
        "a, b, scores, expected",
        [
            ("", "ACGT", (1, -1, -5, -1), -9),
            ("abc", "abc", (2, -1, -5, -1), 6),
            ("abcdef", "abef", (1, -1, -3, -1), -1),
            ("kitten", "mitten", (1, -1, -2, -1), 4),
        ],
    )
    def test_examples(self, a, b, scores, expected):
        assert quillon.needleman_wunsch_affine(a, b, *scores) == expected

    @given(a=nw_texts, b=nw_texts, m=any_scores, x=any_scores, o=any_scores, e=any_scores)
    def test_saturating_reference(self, a, b, m, x, o, e):
        assert quillon.needleman_wunsch_affine(a, b, m, x, o, e) == nw_affine(a, b, m, x, o, e)


# Narrow lanes: 16-bit cells while (la + lb + 1) * step stays within 2^14 - 1, 32-bit within
# 2^29 - 1, else the 64-bit rows; step is the largest |score| (linear) or max(|match|,
# |mismatch|) + |open| + |extend| (affine). Scores at and just past each limit, for the longest
# pair of a batch, put the longest candidates in the wider lanes and the rest in the narrower.
LIMIT16, LIMIT32 = 2**14 - 1, 2**29 - 1
LANE_ALPHABETS = {
    "dna": "ACGT",
    "latin1": "aeéè",
    "astral": "a😀\U0001d11e\u4e00",
    # code points above 0xFFFF only: the 16-bit lanes number them
    "numbered": "".join(chr(0x10000 + k) for k in range(40)),
}
LANE_LENGTHS = [1, 2, 15, 16, 17, 31, 32, 33, 63, 64, 65]


def scores_of(step, affine, rng):
    """Scores whose step is exactly `step`, signs varied."""
    if not affine:
        big = rng.choice([-step, step])
        return rng.choice([(step, -step, -step), (1, big, -step), (-step, 1, 0), (big, -1, step)])
    pair, gap = step // 3 or 1, step - (step // 3 or 1)
    return rng.choice(
        [
            (pair, -pair, -(gap // 2), -(gap - gap // 2)),
            (-pair, pair, gap // 2, -(gap - gap // 2)),
            (pair, 0, -gap, 0),
            (pair, -1, 0, gap),
        ]
    )


def step_sets(total):
    """Steps for pairs of at most `total` units: small, each limit and one past it, huge."""
    return [
        1,
        3,
        LIMIT16 // total,
        LIMIT16 // total + 1,
        LIMIT32 // total,
        LIMIT32 // total + 1,
        2**61,
    ]


@pytest.mark.parametrize("kernel", ["portable", "avx2", "avx512"])
@pytest.mark.parametrize("alphabet", LANE_ALPHABETS)
def test_lanes_equal_rows(internals, kernel, alphabet):
    """Pair and batch kernels of each instruction set against the specified rows."""
    if internals.needleman_lanes(kernel, "a", ["a"], (1, -1, -1)) is None:
        pytest.skip(f"this processor cannot run {kernel}")
    rng = random.Random(kernel + alphabet)
    letters = LANE_ALPHABETS[alphabet]

    def text(n):
        return "".join(rng.choices(letters if rng.random() < 0.8 else "ab", k=n))

    def variant(t):
        units = list(t)
        for _ in range(rng.randint(1, 4)):
            k = rng.randrange(len(units) + 1)
            units[k : k + rng.randint(0, 2)] = rng.choices(letters, k=rng.randint(0, 2))
        return "".join(units)

    for la in [0, *LANE_LENGTHS, rng.randint(66, 200)]:
        query = text(la)
        lengths = [0, *LANE_LENGTHS, rng.randint(66, 150)]
        count = rng.choice([1, 7, 16, 33, 40])
        candidates = [query, *(variant(query) for _ in range(count // 3))]
        candidates += [text(rng.choice(lengths)) for _ in range(count - len(candidates))]
        total = la + max(map(len, candidates)) + 1
        for affine in (False, True):
            for step in step_sets(total):
                scores = scores_of(step, affine, rng)
                rows = internals.needleman_affine_rows if affine else internals.needleman_rows
                want = [rows(query, c, *scores) for c in candidates]
                got = internals.needleman_lanes(kernel, query, candidates, scores)
                assert got == (want, want), (query, candidates, scores)


LONG_SCORES = [
    (1, -1, -1),
    (2, -3, -1),
    (5, -4, -9),
    (3000, -7000, -4000),
    (2**40, -(2**40), -1),
    (2**61, INT64_MIN, -(2**60)),  # saturates
]


@pytest.mark.parametrize("scores", LONG_SCORES)
@pytest.mark.parametrize("la, lb", [(1000, 1000), (127, 129), (3000, 2500), (1, 700)])
def test_long_texts_equal_rows(internals, scores, la, lb):
    """The public routes on long texts, ASCII and shifted, single and batch."""
    rng = random.Random(la * lb)
    a = "".join(rng.choices("ACGT", k=la))
    b = "".join(rng.choice([c, rng.choice("ACGT")]) for c in a[:lb]) + "".join(
        rng.choices("ACGT", k=lb - min(la, lb))
    )
    affine = (*scores, -abs(scores[2]) // 2)
    want = internals.needleman_rows(a, b, *scores)
    want_affine = internals.needleman_affine_rows(a, b, *affine)
    for x, y in [(a, b), (shift(a), shift(b)), (a, shift(b))]:
        expect = want if (x, y) != (a, shift(b)) else internals.needleman_rows(x, y, *scores)
        assert quillon.needleman_wunsch_score(x, y, *scores) == expect
        assert quillon.needleman_wunsch_striped(x, y, *scores) == expect
        expect = (
            want_affine
            if (x, y) != (a, shift(b))
            else internals.needleman_affine_rows(x, y, *affine)
        )
        assert quillon.needleman_wunsch_affine(x, y, *affine) == expect
    candidates = [b, a, "", b[: lb // 2], shift(b)] * 7
    assert quillon.needleman_wunsch_batch_fn(a, candidates, *scores) == [
        quillon.needleman_wunsch_score(a, c, *scores) for c in candidates
    ]
    assert quillon.needleman_wunsch_affine_batch(a, candidates, *affine) == [
        quillon.needleman_wunsch_affine(a, c, *affine) for c in candidates
    ]


@given(
    query=nw_texts,
    candidates=st.lists(nw_texts, max_size=40),
    scores=st.tuples(any_scores, any_scores, any_scores, any_scores),
)
@example(query="", candidates=["", "a", ""], scores=(1, -1, -1, -1))
@example(query="ACG", candidates=["ACG"] * 33 + ["AC"], scores=(2**61, -1, -1, 0))
def test_batch_equals_single(query, candidates, scores):
    """Groups, pairs and the rows mixed in one batch give each pair's own score."""
    assert quillon.needleman_wunsch_batch_fn(query, candidates, *scores[:3]) == [
        quillon.needleman_wunsch_score(query, c, *scores[:3]) for c in candidates
    ]
    assert quillon.needleman_wunsch_affine_batch(query, candidates, *scores) == [
        quillon.needleman_wunsch_affine(query, c, *scores) for c in candidates
    ]
