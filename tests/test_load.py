"""Eight Python threads at once through every list form, each result as one thread computed it."""

import threading

import pytest

import quillon
from strategies import words

np = pytest.importorskip("numpy")

THREADS, ROUNDS = 8, 2


# Short ASCII candidates take the lane kernels in chunks of 4096; the others are mapped pair by
# pair (pieces of 16 pairs, or of rows worth 512 pairs) and cross 64 characters.
LANES = words(1, 5000, "abcdef", 1, 64)
MIXED = words(2, 600, "abcdefé😀", 0, 100)
LIST_A, LIST_B = MIXED[:48], MIXED[48:112]
CHOICES = MIXED * 2  # above 1000 choices, extraction scores in parallel

# (list form, arguments); the _into form, where there is one, writes the same results.
CASES = [
    ("levenshtein_batch", ("abcabc", LANES)),
    ("levenshtein_batch", ("ab😀" * 30, MIXED)),
    ("levenshtein_cdist", (LIST_A, LIST_B)),
    ("damerau_levenshtein_batch", ("badcé", MIXED)),
    ("damerau_levenshtein_batch", ("badcab", LANES)),
    ("damerau_levenshtein_cdist", (LIST_A, LIST_B[:20])),
    ("jaro_winkler_batch_fn", ("abcabc", LANES, 0.2)),
    ("jaro_winkler_batch_fn", ("a" * 70, MIXED)),
    ("jaro_winkler_cdist", (LIST_A, LIST_B, 0.25)),
    ("fuzz_ratio_batch", ("abcé" * 20, MIXED)),
    ("fuzz_extract", ("abcabcé", CHOICES, 30.0, 25)),
    ("fuzz_extract_one", ("cabbage", CHOICES)),
    ("needleman_wunsch_batch_fn", ("abcé", MIXED[:300], 2, -1, -2)),
    ("needleman_wunsch_affine_batch", ("abcé", MIXED[:300], 2, -1, -3, -1)),
]


def test_threads_agree_with_one_thread():
    # One call per form; each thread starts at another form, so different forms overlap.
    calls = []
    for name, args in CASES:
        want = getattr(quillon, name)(*args)
        calls.append((getattr(quillon, name), args, None, want))
        into = name.removesuffix("_fn") + "_into"
        if into in quillon.__all__:
            dtype = np.float64 if "jaro" in name else np.uint32
            calls.append((getattr(quillon, into), args, dtype, want))
    barrier = threading.Barrier(THREADS)
    failures = []

    def work(first):
        outs = [dtype and np.empty(np.shape(want), dtype) for _, _, dtype, want in calls]
        barrier.wait()
        for k in range(ROUNDS * len(calls)):
            index = (first + k) % len(calls)
            function, args, dtype, want = calls[index]
            try:
                if dtype is None:
                    got = function(*args)
                else:
                    out = outs[index]
                    out.fill(7)
                    function(*args[:2], out, *args[2:])
                    got = out.tolist()
                if got != want:
                    failures.append((function.__name__, first))
            except BaseException as error:  # pragma: no cover - reported below
                failures.append((function.__name__, first, error))

    threads = [threading.Thread(target=work, args=(k,)) for k in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not failures
