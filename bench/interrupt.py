"""How long a Ctrl-C takes to end a long cross-product: interrupt_main() at a few points of a
levenshtein_cdist of 3000 x 3000 texts of 100-300 characters, time until KeyboardInterrupt.

    python bench/interrupt.py        (RAYON_NUM_THREADS=1 for one thread)
"""

import _thread
import random
import signal
import threading
import time

import quillon

rng = random.Random(1)
words = ["".join(rng.choices("abcdefghij", k=rng.randint(100, 300))) for _ in range(3000)]
start = time.perf_counter()
quillon.levenshtein_cdist(words[:100], words)
print(f"uninterrupted: about {(time.perf_counter() - start) * 30:.1f} s")

signal.signal(signal.SIGINT, signal.default_int_handler)  # a background job may ignore SIGINT
for delay in (1.0, 2.3, 3.7):
    fired = []
    timer = threading.Timer(
        delay, lambda: (fired.append(time.perf_counter()), _thread.interrupt_main())
    )
    timer.start()
    try:
        quillon.levenshtein_cdist(words, words)
        print("not interrupted")
    except KeyboardInterrupt:
        print(
            f"after {delay} s: KeyboardInterrupt {1000 * (time.perf_counter() - fired[0]):.0f} ms later"
        )
    timer.join()
