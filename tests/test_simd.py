"""Instruction-set selection and the multi-lane kernels, on every route this CPU has."""

import json
import os
import random
import subprocess
import sys

import pytest

# Every multi-lane kernel against its one-text kernel, given as (family, kernel). "single" takes
# any number of texts; Myers texts may have any length, Jaro texts 1..64 bytes.
GROUPS = ["4way_portable", "8way_portable", "4way_avx2", "8way_avx2", "8way_avx512"]
LANE_KERNELS = [
    ("myers", "single"),
    *(("myers", k) for k in GROUPS),
    *(("jaro", k) for k in GROUPS),
]


@pytest.mark.parametrize("family, kernel", LANE_KERNELS)
def test_lanes_equal_one_text_kernel(internals, family, kernel):
    if family == "myers":
        run, one, lengths = internals.myers_kernel, internals.levenshtein_myers_word, [0, 65, 150]
    else:
        run, one, lengths = internals.jaro_kernel, internals.jaro_bitpar, [1, 2]
    lanes = {"4": 4, "8": 8}.get(kernel[0])
    if run(kernel, b"a", [b"a"] * (lanes or 1)) is None:
        pytest.skip(f"this processor cannot run {kernel}")
    rng = random.Random(kernel)
    for _ in range(400):
        alphabet = rng.choice([b"abc", b"abcdefg"])
        query = bytes(rng.choices(alphabet, k=rng.choice([1, 2, 7, 63, 64, rng.randint(1, 64)])))
        count = lanes or rng.choice([0, 1, 2, 3, 4, 5, 8, 13])
        sizes = [rng.choice([*lengths, 1, 5, 63, 64, rng.randint(1, 64)]) for _ in range(count)]
        group = [bytes(rng.choices(alphabet, k=n)) for n in sizes]
        assert run(kernel, query, group) == [one(query, t) for t in group], (query, group)


@pytest.mark.parametrize(
    "call",
    [
        lambda t: t.myers_pattern(b"a" * 65),
        lambda t: t.myers_pattern("é".encode()),
        lambda t: t.myers_pattern(b""),
        lambda t: t.jaro_bitpar(b"a" * 65, b"abc"),
        lambda t: t.jaro_bitpar(b"ab", "é".encode()),
    ],
)
def test_kernel_preconditions_are_faults(internals, call):
    with pytest.raises(BaseException, match="ASCII \u2264 64 bytes") as info:
        call(internals)
    assert type(info.value).__name__ == "PanicException"


def run_isolated(code, **env):
    """Runs code in a fresh interpreter (the selection cells and the pool are read once)."""
    environment = {
        k: v
        for k, v in os.environ.items()
        if k not in ("QUILLON_SIMD", "RAYON_NUM_THREADS", "RAYON_RS_NUM_CPUS")
    }
    environment.update(env)
    out = subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, env=environment, check=True
    )
    return json.loads(out.stdout)


ISA_PROBE = "import json, quillon._testing as t; print(json.dumps(t.isa()))"


def test_detection_and_override():
    with open("/proc/cpuinfo") as cpuinfo:
        flags = next(
            (line.split(":", 1)[1].split() for line in cpuinfo if line.startswith("flags")), []
        )
    auto = run_isolated(ISA_PROBE)
    assert auto["avx2"] == ("avx2" in flags)
    assert auto["avx512"] == ({"avx512f", "avx2", "fma", "f16c"} <= set(flags))
    assert auto["override"] is None
    assert auto["width"] == (8 if auto["avx512"] else 4 if auto["avx2"] else 1)
    for value, width in [("avx512", 8), ("avx2", 4), ("neon", 2), ("portable", 1)]:
        assert run_isolated(ISA_PROBE, QUILLON_SIMD=value) == dict(
            auto, override=value, width=width
        )
    for ignored in ["AVX512", "avx2 ", "", "sse4", "Portable"]:
        assert run_isolated(ISA_PROBE, QUILLON_SIMD=ignored) == auto


CORPUS_RUN = """
import json, random, quillon, quillon._testing as t
rng = random.Random(99)
words = ["".join(rng.choice("abcdef") for _ in range(rng.randint(0, 30))) for _ in range(9003)]  # tails for widths 2, 4 and 8
wide = words[:40] + ["\u00e9t\u00e9"] + words[40:80]
queries = ["abcdef", "a" * 64, "fedcba" * 3, "b", "a" * 65, "", "\u00e9"]
accented = [w.replace("a", "\u00e0").replace("e", "\u00e9") for w in words[:400]]
long = ["".join(rng.choice("acgt") for _ in range(n)) for n in (300, 1200, 1201)]
long += [w[:200] + w[230:] + "acgt" * 20 for w in long]
print(json.dumps({
    "pool": t.pool_size(),
    "batch": [quillon.levenshtein_batch(q, words) for q in queries],
    "wide": [quillon.levenshtein_batch(q, wide) for q in queries],
    "cdist": quillon.levenshtein_cdist(words[:300] + queries, words[:97]),
    "jaro_lanes": [quillon.jaro_winkler_batch_fn(q, [w for w in words if w], 0.2) for q in queries],
    "jaro_pairs": [quillon.jaro_winkler_batch_fn(q, wide) for q in queries],
    "jaro_cdist": quillon.jaro_winkler_cdist(words[:200] + queries, words[:50]),
    "needleman": [quillon.needleman_wunsch_batch_fn(q, wide, 2, -1, -2) for q in queries],
    "needleman_affine": [quillon.needleman_wunsch_affine_batch(q, words[:99], 1, -1, -3, -1) for q in queries],
    "needleman_pairs": [quillon.needleman_wunsch_affine(q * 9, w, 1, -1, -3, -1) for q in queries for w in wide],
    "fuzz_lanes": [
        (quillon.fuzz_ratio_batch(q, wide), quillon.fuzz_extract(q, words, 30.0, 9),
         quillon.fuzz_extract_one(q, accented))
        for q in queries
    ],
    "accented_pairs": [
        (quillon.levenshtein_distance(x, y), quillon.jaro_winkler_similarity(x, y))
        for x, y in zip(accented, accented[1:])
    ],
    "partial": [quillon.fuzz_partial_ratio_alignment(q, " ".join(words[:90])) for q in queries],
    "band": [t.levenshtein_band_pass(x.encode(), y.encode(), k) for x in long for y in long
             for k in (0, 100, 700)] + quillon.levenshtein_cdist(long, long),
}))
"""


@pytest.fixture(scope="module")
def automatic():
    return run_isolated(CORPUS_RUN)


@pytest.mark.parametrize(
    "env, pool",
    [
        *(({"QUILLON_SIMD": simd}, None) for simd in ["portable", "neon", "avx2", "avx512"]),
        ({"RAYON_NUM_THREADS": "1"}, 1),
        ({"RAYON_NUM_THREADS": "3"}, 3),
        ({"RAYON_NUM_THREADS": "0"}, os.cpu_count()),
        ({"RAYON_NUM_THREADS": "x", "RAYON_RS_NUM_CPUS": "2"}, 2),
        ({"RAYON_RS_NUM_CPUS": "5"}, 5),
        ({"RAYON_NUM_THREADS": "-1"}, os.cpu_count()),
    ],
)
def test_routes_agree(automatic, env, pool):
    """One seeded corpus through every lane width and thread count: identical results."""
    result = run_isolated(CORPUS_RUN, **env)
    assert result.pop("pool") == (pool or automatic["pool"])
    assert result == {k: v for k, v in automatic.items() if k != "pool"}


# Narrow lanes: one query against blocks of 64 candidates, 8 to 64 bits per lane by the query's
# length, Unicode lists through per-call byte units. Lengths sit on the lane-width boundaries and
# around the 64-unit limit of a lane; "many" has more distinct code points than there are units.
PACKED_ALPHABETS = {
    "ascii": "abcdefgh",
    "latin1": "aeéèàöüñ",
    # The ends of the two-byte range and NUL, whose unit is 0 like a code point not seen yet.
    "two-byte": "a\0\u0080\u07ff\u00ff\u0416",
    "mixed": "aé\u4e00\u0416b",
    "astral": "a😀🙂\U0001d11e",
    "many": "".join(chr(0x4E00 + k) for k in range(150)) + "ab",
}
PACKED_LENGTHS = [0, 1, 7, 8, 9, 16, 17, 32, 33, 63, 64, 65]


@pytest.mark.parametrize("kernel", ["portable", "avx2", "avx512"])
@pytest.mark.parametrize("alphabet", PACKED_ALPHABETS)
def test_narrow_lanes_equal_pair_distance(internals, kernel, alphabet):
    import quillon

    if internals.packed_batch(kernel, "a", ["a"]) is None:
        pytest.skip(f"this processor cannot run {kernel}")
    rng = random.Random(alphabet + kernel)
    letters = PACKED_ALPHABETS[alphabet]

    def text(n):
        # Partly ASCII lists: some texts of every alphabet are plain letters.
        return "".join(rng.choices(letters if rng.random() < 0.8 else "ab", k=n))

    for length in PACKED_LENGTHS:
        query = text(length)
        candidates = [text(rng.choice(PACKED_LENGTHS + [rng.randint(0, 20)])) for _ in range(150)]
        want = [quillon.levenshtein_distance(query, c) for c in candidates]
        got = internals.packed_batch(kernel, query, candidates)
        # Queries that do not fit the lanes are refused whole; candidates never are.
        assert got == (None if length in (0, 65) else want), (query, candidates)
    list_a = [text(rng.choice(PACKED_LENGTHS)) for _ in range(40)]
    list_b = [text(rng.choice(PACKED_LENGTHS + [3, 4, 5])) for _ in range(130)]
    assert internals.packed_cross(kernel, list_a, list_b) == [
        [quillon.levenshtein_distance(a, b) for b in list_b] for a in list_a
    ]


# Jaro-Winkler through the narrow lanes against the pair route. Candidates set the lane width
# (8 to 64 bits by a block's longest), so lengths sit on its seams; half of them are the query
# with neighbours swapped and units replaced, for transpositions, shared prefixes and boosts.
@pytest.mark.parametrize("kernel", ["portable", "avx2", "avx512"])
@pytest.mark.parametrize("alphabet", PACKED_ALPHABETS)
def test_narrow_lanes_equal_pair_jaro_winkler(internals, kernel, alphabet):
    import quillon

    if internals.jaro_packed_batch(kernel, "a", ["a"]) is None:
        pytest.skip(f"this processor cannot run {kernel}")
    rng = random.Random("jaro" + alphabet + kernel)
    letters = PACKED_ALPHABETS[alphabet]

    def text(n):
        return "".join(rng.choices(letters if rng.random() < 0.8 else "ab", k=n))

    def variant(t):
        units = list(t)
        for _ in range(rng.randint(0, 3)):
            if len(units) > 1:
                k = rng.randrange(len(units) - 1)
                units[k], units[k + 1] = units[k + 1], units[k]
            if units and rng.random() < 0.5:
                units[rng.randrange(len(units))] = rng.choice(letters)
        return "".join(units)

    def some(query, count, lengths):
        return [
            variant(query) if rng.random() < 0.5 else text(rng.choice(lengths))
            for _ in range(count)
        ]

    for length in PACKED_LENGTHS:
        query, p = text(length), rng.choice([0.0, 0.1, 0.25])
        candidates = some(query, 150, PACKED_LENGTHS + [rng.randint(0, 20)])
        want = [quillon.jaro_winkler_similarity(query, c, p) for c in candidates]
        got = internals.jaro_packed_batch(kernel, query, candidates, p)
        # Queries that do not fit the lanes are refused whole; candidates never are.
        assert got == (None if length in (0, 65) else want), (query, candidates)
    list_a = [text(rng.choice(PACKED_LENGTHS)) for _ in range(40)]
    list_b = [c for a in list_a[:20] for c in some(a, 7, PACKED_LENGTHS + [3, 4, 5])]
    assert internals.jaro_packed_cross(kernel, list_a, list_b, 0.2) == [
        [quillon.jaro_winkler_similarity(a, b, 0.2) for b in list_b] for a in list_a
    ]
    # Enough pairs that results come from the per-call table of values, not the formula.
    query = text(3)
    candidates = some(query, 24000, [0, 1, 2, 3, 4, 5, 8, 9, 17])
    assert internals.jaro_packed_batch(kernel, query, candidates, 0.1) == [
        quillon.jaro_winkler_similarity(query, c, 0.1) for c in candidates
    ]
    list_a = [text(rng.randint(1, 8)) for _ in range(250)]
    list_b = [c for a in list_a for c in some(a, 1, range(9))]
    assert internals.jaro_packed_cross(kernel, list_a, list_b) == [
        [quillon.jaro_winkler_similarity(a, b) for b in list_b] for a in list_a
    ]
