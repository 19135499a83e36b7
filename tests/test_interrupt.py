"""Long pool calls stop at a signal whose handler raises, and leave nothing behind."""

import _thread
import random
import signal
import threading

import numpy as np
import pytest

import quillon

# Each call below takes seconds unless interrupted.
_rng = random.Random(9)
WORDS = ["".join(_rng.choices("abcdefgh", k=_rng.randint(150, 300))) for _ in range(600)]
LONG = WORDS * 20


def interrupted(call, raise_signal):
    """Runs call() while another thread delivers the signal; returns the exception raised."""
    timer = threading.Timer(0.05, raise_signal)
    timer.start()
    try:
        call()
    except BaseException as error:  # noqa: BLE001 - KeyboardInterrupt is what we want to see
        return error
    finally:
        timer.join()
    return None


INTO = [
    (quillon.levenshtein_cdist_into, (WORDS, WORDS), (len(WORDS), len(WORDS)), np.uint32),
    (quillon.damerau_levenshtein_batch_into, (WORDS[0], LONG[:6000]), (6000,), np.uint32),
    (quillon.jaro_winkler_cdist_into, (WORDS, WORDS), (len(WORDS), len(WORDS)), float),
]


@pytest.mark.parametrize("fn, lists, shape, dtype", INTO, ids=lambda v: getattr(v, "__name__", ""))
def test_interrupted_into_leaves_out_untouched_and_released(fn, lists, shape, dtype):
    out = np.full(shape, 7, dtype=dtype)
    # A shell starts background jobs with SIGINT ignored, and then Python installs no handler.
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        error = interrupted(lambda: fn(*lists, out), _thread.interrupt_main)
    finally:
        signal.signal(signal.SIGINT, previous)
    assert isinstance(error, KeyboardInterrupt)
    assert (out == 7).all()
    # The hold is gone: the same memory takes a short call.
    if len(shape) == 2:
        fn(lists[0][:2], lists[1], out[:2])
    else:
        fn(lists[0], lists[1][:3], out[:3])
    assert (out[:2] != 7).any()


LIST_FORMS = [
    lambda: quillon.levenshtein_cdist(WORDS, WORDS),
    lambda: quillon.fuzz_ratio_batch(WORDS[1] * 3, LONG * 20),
    # A long list kept: a small limit would let the kept scores pass over most choices by length.
    lambda: quillon.fuzz_extract(WORDS[1] * 3, LONG * 20, 0.0, 300),
    lambda: quillon.needleman_wunsch_batch_fn(WORDS[2], LONG * 10, 1, -1, -1),
    lambda: quillon.needleman_wunsch_affine_batch(WORDS[2], LONG * 5, 1, -1, -3, -1),
]


@pytest.mark.parametrize("call", LIST_FORMS)
def test_handler_exception_ends_list_forms(call):
    class Stop(Exception):
        pass

    def handler(signum, frame):
        raise Stop

    previous = signal.signal(signal.SIGUSR1, handler)
    main = threading.main_thread().ident
    try:
        error = interrupted(call, lambda: signal.pthread_kill(main, signal.SIGUSR1))
    finally:
        signal.signal(signal.SIGUSR1, previous)
    assert isinstance(error, Stop)
    assert quillon.levenshtein_batch("abc", ["abd"] * 100) == [1] * 100


def test_handler_that_returns_lets_the_call_finish():
    calls = []
    previous = signal.signal(signal.SIGUSR1, lambda signum, frame: calls.append(signum))
    main = threading.main_thread().ident
    try:
        expected = quillon.levenshtein_cdist(WORDS[:50], WORDS[:50])
        result = []
        error = interrupted(
            lambda: result.append(quillon.levenshtein_cdist(WORDS[:200], WORDS[:200])),
            lambda: signal.pthread_kill(main, signal.SIGUSR1),
        )
    finally:
        signal.signal(signal.SIGUSR1, previous)
    assert error is None and calls == [signal.SIGUSR1]
    assert [row[:50] for row in result[0][:50]] == expected
