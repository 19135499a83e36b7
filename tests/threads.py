"""Observing that a call releases the interpreter lock."""

import threading
import time

MARGIN = 0.02  # thread switches just before and after the call


def other_thread_runs_during(make_call, attempts=8):
    """make_call(scale) returns a zero-argument call whose cost grows with scale. Returns True
    when another Python thread records timestamps strictly inside one long enough call."""
    scale = 1
    for _ in range(attempts):
        call = make_call(scale)
        stamps, done = [], threading.Event()

        def tick():
            while not done.is_set():
                stamps.append(time.perf_counter())

        ticker = threading.Thread(target=tick)
        ticker.start()
        try:
            start = time.perf_counter()
            call()
            end = time.perf_counter()
        finally:
            done.set()
            ticker.join()
        if end - start > 0.1:
            return any(start + MARGIN < t < end - MARGIN for t in stamps)
        scale *= 2
    raise AssertionError("the call never took long enough to observe")
