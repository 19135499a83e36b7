"""Working memory that grows with the product of two lengths is refused before it is touched.

Each refusal runs in a child whose address space is capped a little above what it already
uses, so that even a route that allocated anyway could not take the machine with it. The child
reports whether it got MemoryError and how far its peak resident size grew during the call.
"""

import json
import os
import subprocess
import sys
import textwrap

import pytest

np = pytest.importorskip("numpy")

# Sanitizer runtimes reserve terabytes of address space, so the cap cannot be lowered there.
uncapped = pytest.mark.skipif(
    "san" in os.environ.get("LD_PRELOAD", ""), reason="address-space cap under a sanitizer"
)

HEADROOM = 1 << 30

CHILD = textwrap.dedent(
    """
    import json, resource, sys
    import numpy as np
    import quillon, quillon._testing

    # 120 000 distinct characters: one row of position masks each, 1.8 GB in all. The ASCII
    # and Unicode pairs need a 3.6 GB Damerau-Levenshtein matrix.
    wide = "".join(map(chr, range(0x10000, 0x10000 + 120_000)))
    pairs = {"ascii": ("ab" * 15_000, "ba" * 15_000), "unicode": ("é" * 30_000, "è" * 30_000),
             "distinct": (wide, wide[::-1])}
    out = np.full((2, 2), 7, dtype=np.uint32)

    def cdist_into(a, b):
        quillon.damerau_levenshtein_cdist_into(["ab", a], ["ba", b], out)

    routes = {
        "damerau_levenshtein_distance": quillon.damerau_levenshtein_distance,
        "damerau_ratio": quillon.damerau_ratio,
        "damerau_levenshtein_batch": lambda a, b: quillon.damerau_levenshtein_batch(a, ["x", b]),
        "damerau_levenshtein_cdist_into": cdist_into,
        "damerau_bytes": lambda a, b: quillon._testing.damerau_bytes(a.encode(), b.encode()),
        "levenshtein_distance": quillon.levenshtein_distance,
        "fuzz_ratio": quillon.fuzz_ratio,
        "fuzz_token_sort_ratio": quillon.fuzz_token_sort_ratio,
        "jaro_similarity": quillon.jaro_similarity,
    }
    route, pair = sys.argv[1], pairs[sys.argv[2]]
    quillon.levenshtein_batch("a", ["b"] * 64)  # the pool's threads exist before the cap
    with open("/proc/self/statm") as statm:
        size = int(statm.read().split()[0]) * resource.getpagesize()
    resource.setrlimit(resource.RLIMIT_AS, (size + int(sys.argv[3]), resource.RLIM_INFINITY))
    available = getattr(quillon._testing, "memory_available", lambda: None)()
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    try:
        routes[route](*pair)
        raised = False
    except MemoryError:
        raised = True
    grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
    out_after = out.tolist()
    # The hold on out is gone: the same array takes the next call.
    quillon.damerau_levenshtein_cdist_into(["ab", "abc"], ["ba", "x"], out)
    reused = out.tolist() == quillon.damerau_levenshtein_cdist(["ab", "abc"], ["ba", "x"])
    print(json.dumps({"raised": raised, "grown_kib": grown, "available": available,
                      "out": out_after, "reused": reused}))
    """
)


def run_capped(route, pair):
    done = subprocess.run(
        [sys.executable, "-c", CHILD, route, pair, str(HEADROOM)],
        check=False,
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@uncapped
@pytest.mark.parametrize(
    "route, pair",
    [
        ("damerau_levenshtein_distance", "ascii"),
        ("damerau_levenshtein_distance", "unicode"),
        ("damerau_ratio", "unicode"),
        ("damerau_levenshtein_batch", "ascii"),
        ("damerau_levenshtein_cdist_into", "unicode"),
        ("damerau_bytes", "ascii"),
        ("levenshtein_distance", "distinct"),
        ("fuzz_ratio", "distinct"),
        ("fuzz_token_sort_ratio", "distinct"),
        ("jaro_similarity", "distinct"),
    ],
)
def test_refused_before_touching(route, pair):
    result = run_capped(route, pair)
    assert result["raised"]
    # Decoding the texts takes a few MiB; the refused buffer would have taken hundreds.
    assert result["grown_kib"] < 64 * 1024
    # The cap, not the machine's memory, bounds what is available; the process may have given
    # back some address space (a thread's malloc arena) since its size was read.
    assert result["available"] is not None and result["available"] < 2 * HEADROOM
    assert result["out"] == [[7, 7], [7, 7]]
    assert result["reused"]


def mem_available():
    with open("/proc/meminfo") as meminfo:
        fields = dict(line.split(":", 1) for line in meminfo)
    return int(fields["MemAvailable"].split()[0]) * 1024


def test_available_follows_mem_available(internals):
    before = mem_available()
    available = internals.memory_available()
    # Other processes move MemAvailable between the reads; 64 MiB covers the drift.
    assert available <= max(before, mem_available()) + (64 << 20)
