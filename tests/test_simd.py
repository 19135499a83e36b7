"""Instruction-set selection and the multi-lane Myers kernels, on every route this CPU has."""

import json
import os
import random
import subprocess
import sys

import pytest

KERNELS = ["4way_portable", "8way_portable", "4way_avx2", "8way_avx512", "4way_pat"]
LANES = {"4": 4, "8": 8}


def group(rng, lanes, max_len=150):
    lengths = [rng.choice([0, 1, 5, 63, 64, 65, rng.randint(0, max_len)]) for _ in range(lanes)]
    return [bytes(rng.choice(b"abcdefg") for _ in range(n)) for n in lengths]


@pytest.fixture(scope="module")
def corpus():
    rng = random.Random(2024)
    patterns = [
        b"a",
        b"ab",
        bytes(rng.choice(b"abcdefg") for _ in range(63)),
        bytes(rng.choice(b"abc") for _ in range(64)),
    ]
    patterns += [
        bytes(rng.choice(b"abcdefg") for _ in range(rng.randint(1, 64))) for _ in range(20)
    ]
    return rng, patterns


class TestKernels:
    @pytest.mark.parametrize("kernel", KERNELS)
    def test_lanes_equal_single_text_kernel(self, internals, corpus, kernel):
        rng, patterns = corpus
        lanes = LANES[kernel[0]]
        if internals.myers_kernel(kernel, b"a", [b""] * lanes) is None:
            pytest.skip(f"this processor cannot run {kernel}")
        for pattern in patterns:
            for _ in range(15):
                texts = group(rng, lanes)
                expected = internals.myers_kernel("single", pattern, texts)
                assert internals.myers_kernel(kernel, pattern, texts) == expected, (pattern, texts)
                assert expected == [internals.levenshtein_myers_word(pattern, t) for t in texts]

    @pytest.mark.parametrize("n", [0, 1, 2, 3, 4, 5, 8, 13])
    def test_width_any_count(self, internals, corpus, n):
        rng, patterns = corpus
        for pattern in patterns[:6]:
            texts = group(rng, n)
            assert internals.myers_kernel("width", pattern, texts) == internals.myers_kernel(
                "single", pattern, texts
            )

    @pytest.mark.parametrize("pattern", [b"a" * 65, "é".encode(), b""])
    def test_pattern_precondition_is_a_fault(self, internals, pattern):
        with pytest.raises(BaseException, match="must be non-empty ASCII \u2264 64 bytes") as info:
            internals.myers_pattern(pattern)
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


class TestSelection:
    def test_override_values(self):
        auto = run_isolated(ISA_PROBE)
        assert auto["override"] is None
        assert auto["width"] == (8 if auto["avx512"] else 4 if auto["avx2"] else 1)
        for value, width in [("avx512", 8), ("avx2", 4), ("neon", 2), ("portable", 1)]:
            assert run_isolated(ISA_PROBE, QUILLON_SIMD=value) == {
                **auto,
                "override": value,
                "width": width,
            }
        for ignored in ["AVX512", "avx2 ", "", "sse4", "Portable"]:
            assert run_isolated(ISA_PROBE, QUILLON_SIMD=ignored) == auto

    def test_detection_agrees_with_the_kernel_flags(self):
        flags = set()
        with open("/proc/cpuinfo") as cpuinfo:
            for line in cpuinfo:
                if line.startswith("flags"):
                    flags = set(line.split(":", 1)[1].split())
                    break
        found = run_isolated(ISA_PROBE)
        assert found["avx2"] == ("avx2" in flags)
        assert found["avx512"] == ({"avx512f", "avx2", "fma", "f16c"} <= flags)


CORPUS_RUN = """
import json, random, quillon, quillon._testing as t
rng = random.Random(99)
words = ["".join(rng.choice("abcdef") for _ in range(rng.randint(0, 30))) for _ in range(9003)]  # tails for widths 2, 4 and 8
wide = words[:40] + ["\u00e9t\u00e9"] + words[40:80]
queries = ["abcdef", "a" * 64, "fedcba" * 3, "b", "a" * 65, "", "\u00e9"]
print(json.dumps({
    "pool": t.pool_size(),
    "batch": [quillon.levenshtein_batch(q, words) for q in queries],
    "wide": [quillon.levenshtein_batch(q, wide) for q in queries],
    "cdist": quillon.levenshtein_cdist(words[:300] + queries, words[:97]),
    "jaro_lanes": [quillon.jaro_winkler_batch_fn(q, [w for w in words if w], 0.2) for q in queries],
    "jaro_pairs": [quillon.jaro_winkler_batch_fn(q, wide) for q in queries],
    "jaro_cdist": quillon.jaro_winkler_cdist(words[:200] + queries, words[:50]),
}))
"""


@pytest.fixture(scope="module")
def automatic():
    return run_isolated(CORPUS_RUN)


class TestRoutesAgree:
    """One seeded corpus through every lane width and thread count: identical results."""

    @pytest.mark.parametrize("simd", ["portable", "neon", "avx2", "avx512"])
    def test_simd_override(self, automatic, simd):
        result = run_isolated(CORPUS_RUN, QUILLON_SIMD=simd)
        assert {k: v for k, v in result.items() if k != "pool"} == {
            k: v for k, v in automatic.items() if k != "pool"
        }

    @pytest.mark.parametrize(
        "env, size",
        [
            ({"RAYON_NUM_THREADS": "1"}, 1),
            ({"RAYON_NUM_THREADS": "3"}, 3),
            ({"RAYON_NUM_THREADS": "0"}, os.cpu_count()),
            ({"RAYON_NUM_THREADS": "x", "RAYON_RS_NUM_CPUS": "2"}, 2),
            ({"RAYON_RS_NUM_CPUS": "5"}, 5),
            ({"RAYON_NUM_THREADS": "-1"}, os.cpu_count()),
        ],
    )
    def test_thread_counts(self, automatic, env, size):
        result = run_isolated(CORPUS_RUN, **env)
        assert result.pop("pool") == size
        assert result == {k: v for k, v in automatic.items() if k != "pool"}
