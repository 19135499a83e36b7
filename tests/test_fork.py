"""A child forked while other threads are inside pool work or _into calls starts clean."""

import os
import random
import threading
import time

import numpy as np
import pytest

import quillon

pytestmark = pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")

_rng = random.Random(3)
WORDS = ["".join(_rng.choices("abcdéfgh", k=_rng.randint(1, 90))) for _ in range(300)]


def wait_child(pid, timeout=60.0):
    """The child's exit status; a child still running after `timeout` seconds is killed."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.01)
    os.kill(pid, 9)
    os.waitpid(pid, 0)
    return "hung"


def in_child(body):
    """Runs body() in a forked child; its exit code: 0 when body returns True."""
    pid = os.fork()
    if pid == 0:  # pragma: no cover - the child
        code = 1
        try:
            code = 0 if body() else 3
        finally:
            os._exit(code)
    return wait_child(pid)


def test_hold_of_another_thread_is_gone_in_child():
    out = np.zeros((len(WORDS), len(WORDS) * 8), dtype=np.uint32)
    inside = threading.Event()

    def hold():
        inside.set()
        quillon.levenshtein_cdist_into(WORDS, WORDS * 8, out)

    worker = threading.Thread(target=hold)
    worker.start()
    inside.wait()
    time.sleep(0.02)
    try:
        with pytest.raises(BufferError):  # still held in this process
            quillon.levenshtein_cdist_into(WORDS[:1], WORDS * 8, out[:1])

        def write_in_child():
            quillon.levenshtein_cdist_into(WORDS[:1], WORDS * 8, out[:1])
            return out[0, 1] == quillon.levenshtein_distance(WORDS[0], WORDS[1])

        assert in_child(write_in_child) == 0
    finally:
        worker.join()


def test_fork_while_threads_run_pool_work():
    expected = quillon.levenshtein_cdist(WORDS[:40], WORDS)
    stop = threading.Event()

    def load(call):
        while not stop.is_set():
            call()

    calls = [
        lambda: quillon.levenshtein_cdist(WORDS, WORDS[:100]),
        lambda: quillon.jaro_winkler_batch_into(
            WORDS[0], WORDS * 4, np.zeros(len(WORDS) * 4, dtype=np.float64)
        ),
        lambda: quillon.fuzz_extract(WORDS[1], WORDS * 5, limit=3),
    ]
    threads = [threading.Thread(target=load, args=(c,)) for c in calls]
    for t in threads:
        t.start()
    try:
        codes = [
            in_child(lambda: quillon.levenshtein_cdist(WORDS[:40], WORDS) == expected)
            for _ in range(20)
        ]
    finally:
        stop.set()
        for t in threads:
            t.join()
    assert codes == [0] * 20
