"""Quillon against its targets and against other libraries, used as black boxes on the same
inputs: every row of the short-words table and of the long-texts and alignment table in one run.

    pip install '.[bench]' && python bench/peers.py      # about three minutes on 2 cores
    python bench/peers.py --table long --quick          # one table, shorter lists, fewer samples

Each row prints the workload, quillon's time (per call, word, pair or choice, as the row says),
the other side of the row's ratio (a peer library on the same inputs, quillon on the ASCII words,
the Levenshtein cross-product, or the same call on one thread), the ratio, the target, whether it
is met, and whether both sides returned the same values ("=" same, "~" different). Word lists
come from a seeded generator, so every run times the same inputs. The pool reads its thread
count once per process, so the measurements run in fresh interpreters under RAYON_NUM_THREADS=1
and 2, and a multi-threaded peer gets the same count. Peers that are not installed are skipped
with a note.
"""

import argparse
import functools
import gc
import hashlib
import importlib
import importlib.metadata
import itertools
import json
import math
import os
import random
import re
import statistics
import subprocess
import sys
import time
from collections import deque

# One line per row: workload | quillon's measurement | the other side | target.
# A measurement is "threads:key". The other side is a peer's label (the peer on quillon's inputs,
# same threads) or "label=threads:key" (another measurement of quillon). Ratios are other/quillon
# for ">=" targets (times faster) and quillon/other for "<=" targets (times slower); a target in
# ns or us applies to quillon's own time.
ROWS = """
levenshtein_distance per call, random ASCII words      | 1:lev/random     | polyleven | >= 1.3x
levenshtein_distance per call, similar ASCII words     | 1:lev/similar    | polyleven | >= 1.3x
levenshtein_distance per call, random accented words   | 1:lev/random é   | polyleven | >= 1.2x
levenshtein_distance per call, similar accented words  | 1:lev/similar é  | polyleven | >= 1.2x
damerau_levenshtein_distance per call, similar words   | 1:dl/similar     | jellyfish | >= 8x
damerau_levenshtein_distance per call, accented words  | 1:dl/similar é   | jellyfish | >= 8x
jaro_winkler_similarity per call, similar words        | 1:jw/similar     | jellyfish | >= 6x
jaro_winkler_similarity per call, accented words       | 1:jw/similar é   | jellyfish | >= 6x
levenshtein_batch_into per word, {batch} ASCII words, 1 thread
                                | 1:lev_batch   | polyleven loop    | >= 6x
  the same, accented words      | 1:lev_batch é | ASCII=1:lev_batch | <= 1.5x
levenshtein_cdist_into per pair, {cdist} random words, 1 thread
                                | 1:lev_cdist/random | -            | <= 5 ns
  against stringzillas, 1 thread  | 1:lev_cdist/random | stringzillas | >= 10x
  against stringzillas, 2 threads | 2:lev_cdist/random | stringzillas | >= 10x
levenshtein_cdist_into per pair, {cdist} similar words, 1 thread
                                | 1:lev_cdist/similar | -            | <= 5 ns
  against stringzillas, 1 thread  | 1:lev_cdist/similar | stringzillas | >= 10x
  against stringzillas, 2 threads | 2:lev_cdist/similar | stringzillas | >= 10x
jaro_winkler_cdist_into per pair, {cdist} random words, 1 thread
                                | 1:jw_cdist/random  | Levenshtein=1:lev_cdist/random  | <= 2x
jaro_winkler_cdist_into per pair, {cdist} similar words, 1 thread
                                | 1:jw_cdist/similar | Levenshtein=1:lev_cdist/similar | <= 2x
damerau_levenshtein_cdist per pair, 300 x 300 words, 2 threads | 2:dl_cdist | - | <= 100 ns
fuzz_extract per choice, {choices} words of 5-30, 2 threads | 2:extract        | - | <= 25 ns
fuzz_extract_one per choice, the same, 2 threads            | 2:extract_one    | - | <= 15 ns
fuzz_ratio_batch per choice, the same, 2 threads            | 2:ratio_batch    | - | <= 25 ns
fuzz_partial_ratio per call, 10 chars in 1000               | 1:partial/needle | - | <= 1.5 us
fuzz_wratio per call, the same                              | 1:wratio/needle  | - | <= 5 us
levenshtein_batch_into, 2 threads         | 2:lev_batch   | 1 thread=1:lev_batch   | >= 1.5x
jaro_winkler_batch_into, 2 threads        | 2:jw_batch    | 1 thread=1:jw_batch    | >= 1.5x
damerau_levenshtein_batch_into, 2 threads | 2:dl_batch    | 1 thread=1:dl_batch    | >= 1.5x
levenshtein_cdist_into, 2 threads         | 2:lev_cdist/random | 1 thread=1:lev_cdist/random | >= 1.8x
jaro_winkler_cdist_into, 2 threads        | 2:jw_cdist/random  | 1 thread=1:jw_cdist/random  | >= 1.8x
damerau_levenshtein_cdist, 2 threads      | 2:dl_cdist    | 1 thread=1:dl_cdist    | >= 1.8x
fuzz_extract, 2 threads                   | 2:extract     | 1 thread=1:extract     | -
fuzz_extract_one, 2 threads               | 2:extract_one | 1 thread=1:extract_one | -
fuzz_ratio_batch, 2 threads               | 2:ratio_batch | 1 thread=1:ratio_batch | -
"""

# Long texts and alignment.
LONG_ROWS = """
levenshtein_distance, 10 000 chars, 10 % edits     | 1:lev/10k edited   | edlib     | >= 2x
levenshtein_distance, 10 000 chars, unrelated      | 1:lev/10k random   | edlib     | >= 4x
levenshtein_distance, 1000 chars, 10 % edits       | 1:lev/1k edited    | edlib     | >= 5x
levenshtein_cdist, 20 x 20 texts of 1000 chars, 1 thread  | 1:lev_cdist/1k | stringzillas | >= 2x
  the same, 2 threads                                     | 2:lev_cdist/1k | stringzillas | >= 2x
damerau_levenshtein_distance, 1000 chars, 10 % edits | 1:dl/1k edited   | jellyfish | >= 15x
damerau_levenshtein_distance, 5000 chars, 10 % edits | 1:dl/5k edited   | -         | <= 30 ms
needleman_wunsch_score (1, -1, -1), 1000 DNA chars   | 1:nw/dna         | biopython | >= 8x
  the same, needleman_wunsch_striped                 | 1:nw_striped/dna | biopython | >= 8x
needleman_wunsch_affine (1, -1, -3, -1), the same    | 1:nw_affine/dna  | biopython | >= 5x
needleman_wunsch_batch_fn, 40 x 40 DNA texts of 1000 chars, per pair, 2 threads
                                                     | 2:nw_all         | stringzillas | >= 1.5x
jaro_winkler_similarity, 1000 chars                  | 1:jw/1k edited   | jellyfish | >= 20x
fuzz_partial_ratio, 5000 chars in 50 000             | 1:partial/long   | -         | <= 100 ms
fuzz_partial_token_ratio, the same                   | 1:partial_token/long | -     | <= 300 ms
jaro_optimized, 30 000 chars (against jaro_similarity) | 1:jaro_opt/30k | jaro_similarity=1:jaro/30k | <= 2x
"""

# Not in the table: levenshtein_distance against every installed peer.
MORE_ROWS = """
levenshtein_distance per call, random ASCII words      | 1:lev/random     | editdistance | -
  the same                                             | 1:lev/random     | jellyfish    | -
  the same                                             | 1:lev/random     | edlib        | -
levenshtein_distance per call, texts of 1000 chars     | 1:lev/1000 chars | polyleven    | -
  the same                                             | 1:lev/1000 chars | editdistance | -
  the same                                             | 1:lev/1000 chars | jellyfish    | -
  the same                                             | 1:lev/1000 chars | edlib        | -
"""

# Peers by label: (distribution, module, attribute); jellyfish's attribute is quillon's name.
PEERS = {
    "polyleven": ("polyleven", "polyleven", "levenshtein"),
    "editdistance": ("editdistance", "editdistance", "eval"),
    "jellyfish": ("jellyfish", "jellyfish", None),
    "edlib": ("edlib", "edlib", "align"),
    "stringzillas": ("stringzillas-cpus", "stringzillas", "LevenshteinDistances"),
    "stringzilla": ("stringzilla", "stringzilla", "Strs"),  # the string list stringzillas takes
    "biopython": ("biopython", "Bio.Align", "PairwiseAligner"),
    "parasail": ("parasail", "parasail", "nw_scan_16"),
}
LEVENSHTEIN_PEERS = ["polyleven", "editdistance", "jellyfish", "edlib"]

# English letter frequencies (per cent), spread over a 256-entry table so that one
# bytes.translate turns random bytes into letters; every letter keeps at least one entry.
FREQUENCIES = dict(
    zip(
        "etaoinshrdlcumwfgypbvkjxqz",
        (12.7, 9.1, 8.2, 7.5, 7.0, 6.7, 6.3, 6.1, 6.0, 4.3, 4.0, 2.8, 2.8)
        + (2.4, 2.4, 2.2, 2.0, 2.0, 1.9, 1.5, 1.0, 0.8, 0.15, 0.15, 0.10, 0.07),
    )
)


def letter_table() -> bytes:
    total = sum(FREQUENCIES.values())
    counts = {c: max(1, round(256 * f / total)) for c, f in FREQUENCIES.items()}
    counts["e"] += 256 - sum(counts.values())  # the rounding slack goes to the commonest letter
    return "".join(c * k for c, k in counts.items()).encode()


LETTERS = letter_table()
# One code point for one letter, so an accented list keeps the distances of its ASCII original.
ACCENTS = str.maketrans("eaoun", "\u00e9\u00e0\u00f6\u00fc\u00f1")


def words(rng: random.Random, n: int, shortest: int, longest: int) -> list[str]:
    """n words of shortest..longest letters; a million take about half a second."""
    span = longest - shortest + 1
    lengths = [shortest + b % span for b in rng.randbytes(n)]
    letters = rng.randbytes(sum(lengths)).translate(LETTERS).decode("ascii")
    return [letters[end - k : end] for end, k in zip(itertools.accumulate(lengths), lengths)]


def edited(rng: random.Random, word: str, edits: int) -> str:
    """word after random substitutions, insertions, deletions or swaps of neighbours."""
    w = list(word)
    for _ in range(edits):
        kind, i, letter = rng.randrange(4), rng.randrange(len(w)), chr(LETTERS[rng.randrange(256)])
        if kind == 0:
            w[i] = letter
        elif kind == 1 or len(w) < 2:
            w.insert(i, letter)
        elif kind == 2:
            del w[i]
        else:
            i = min(i, len(w) - 2)
            w[i], w[i + 1] = w[i + 1], w[i]
    return "".join(w)


def accented(texts: list[str]) -> list[str]:
    return [t.translate(ACCENTS) for t in texts]


class Inputs:
    """Every list the rows time; the same seed gives the same lists in every process."""

    def __init__(self, quick: bool) -> None:
        rng = random.Random(2024)
        n_pairs = 500 if quick else 2000
        a, b = words(rng, n_pairs, 4, 14), words(rng, n_pairs, 4, 14)
        bases = words(rng, n_pairs, 4, 14)
        variants = [edited(rng, w, rng.randint(1, 2)) for w in bases]
        hay = [" ".join(words(rng, 200, 4, 14))[:1000] for _ in range(40)]
        needles = [edited(rng, h[s : s + 10], 1) for h in hay for s in [rng.randrange(990)]]
        self.pairs = {
            "random": (a, b),
            "similar": (bases, variants),
            "random é": (accented(a), accented(b)),
            "similar é": (accented(bases), accented(variants)),
            "1000 chars": (hay[:20], hay[20:]),
            "needle": (needles, hay),
        }
        self.query = edited(rng, "international", 2)
        self.batch = words(rng, 100_000 if quick else 1_000_000, 4, 14)
        n_cdist = 1000 if quick else 2000
        # Ten variants of each base word give the similar list clusters of near pairs.
        cluster = words(rng, n_cdist // 10, 4, 14)
        self.cdist = {
            "random": words(rng, n_cdist, 4, 14),
            "similar": [edited(rng, cluster[i // 10], rng.randint(1, 2)) for i in range(n_cdist)],
        }
        self.choices = words(rng, 100_000, 5, 30)
        self.choice_query = edited(rng, self.choices[4321], 2)


def text(rng: random.Random, n: int, alphabet: bytes = LETTERS) -> str:
    """n random letters drawn from alphabet (a 256-entry table)."""
    return rng.randbytes(n).translate(alphabet).decode("ascii")


def mutated(rng: random.Random, t: str, alphabet: bytes = LETTERS) -> str:
    """t with a tenth of its positions substituted, deleted or inserted before."""
    out = []
    for c in t:
        roll = rng.random()
        if roll >= 0.1:
            out.append(c)
        elif roll < 0.1 / 3:
            out.append(chr(alphabet[rng.randrange(256)]))
        elif roll < 0.2 / 3:
            out += [chr(alphabet[rng.randrange(256)]), c]
    return "".join(out)


DNA = b"ACGT" * 64


class LongInputs:
    """The long texts; the same seed gives the same texts in every process."""

    def __init__(self, quick: bool) -> None:
        rng = random.Random(2025)
        pairs = 2 if quick else 4

        def edited_pairs(n: int, k: int, alphabet: bytes = LETTERS):
            a = [text(rng, n, alphabet) for _ in range(k)]
            return a, [mutated(rng, s, alphabet) for s in a]

        self.pairs = {
            "10k edited": edited_pairs(10_000, pairs),
            "10k random": (
                [text(rng, 10_000) for _ in range(pairs)],
                [text(rng, 10_000) for _ in range(pairs)],
            ),
            "1k edited": edited_pairs(1000, 5 * pairs),
            "5k edited": edited_pairs(5000, 1),
            "dna": edited_pairs(1000, 5 * pairs, DNA),
            "30k": ([text(rng, 30_000)], [text(rng, 30_000)]),
        }
        base = text(rng, 1000)
        self.cdist = [mutated(rng, base) if i % 2 else text(rng, 1000) for i in range(20)]
        self.dna = [text(rng, 1000, DNA) for _ in range(10 if quick else 40)]
        self.partial = (text(rng, 5000), text(rng, 50_000))


def peer(label: str, attribute: str | None = None):
    _, module, default = PEERS[label]
    try:
        return getattr(importlib.import_module(module), attribute or default)
    except (ImportError, AttributeError):
        return None


def edlib_distance(align, a: str, b: str) -> int:
    return align(a, b)["editDistance"]


def timed(calls, budget: float, min_seconds: float) -> list[float]:
    """Median seconds per call of each callable, from 3 to 7 samples within about budget seconds.
    The callables are sampled in turn, so load from elsewhere on the machine weighs on both sides
    of a ratio alike."""
    numbers, elapsed = [], 0.0
    for call in calls:
        start = time.perf_counter()
        call()  # also starts the pool and faults in the output pages
        once = time.perf_counter() - start
        numbers.append(max(1, math.ceil(min_seconds / max(once, 1e-9))))
        elapsed += numbers[-1] * once
    runs = [[] for _ in calls]
    gc.disable()
    try:
        for _ in range(max(3, min(7, int(budget / elapsed)))):
            for call, number, run in zip(calls, numbers, runs):
                start = time.perf_counter()
                for _ in range(number):
                    call()
                run.append((time.perf_counter() - start) / number)
    finally:
        gc.enable()
    return [statistics.median(run) for run in runs]


def pairwise(f, a, b):
    """A timed pass of f over the pairs, and one that returns the results."""
    return lambda: deque(map(f, a, b), 0), lambda: list(map(f, a, b))


def into(f, out, *args):
    """A timed call writing into out, and one that returns a copy of what it wrote."""

    def run():
        f(*args, out)

    def result():
        run()
        return out.copy()

    return run, result


def same(call):
    """A call timed as it is whose result is its return value."""
    return call, call


def workloads(inputs: Inputs, threads: int):
    """(items, sides) of each workload, built when asked for. A side is (key, (run, result),
    checked); the sides of one workload are timed in turn, and a checked side (a peer) must return
    what the first returns."""
    import numpy as np
    import quillon as q

    if threads == 1:  # single pairs never reach the pool
        for key, f, sets, labels in (
            ("lev", q.levenshtein_distance, ["random", "1000 chars"], LEVENSHTEIN_PEERS),
            ("lev", q.levenshtein_distance, ["similar", "random é", "similar é"], ["polyleven"]),
            ("dl", q.damerau_levenshtein_distance, ["similar", "similar é"], ["jellyfish"]),
            ("jw", q.jaro_winkler_similarity, ["similar", "similar é"], ["jellyfish"]),
            ("partial", q.fuzz_partial_ratio, ["needle"], []),
            ("wratio", q.fuzz_wratio, ["needle"], []),
        ):
            for pair_set in sets:
                a, b = inputs.pairs[pair_set]
                sides = [(f"{key}/{pair_set}", pairwise(f, a, b), False)]
                for label in labels:
                    g = peer(label, f.__name__ if label == "jellyfish" else None)
                    if g is not None:
                        g = functools.partial(edlib_distance, g) if label == "edlib" else g
                        sides.append((f"{key}/{pair_set}/{label}", pairwise(g, a, b), True))
                yield len(a), sides

    query, batch, n = inputs.query, inputs.batch, len(inputs.batch)
    out = np.empty(n, np.uint32)
    sides = [("lev_batch", into(q.levenshtein_batch_into, out, query, batch), False)]
    if threads == 1:
        batch_accented, out_accented = accented(batch), np.empty(n, np.uint32)
        run = into(q.levenshtein_batch_into, out_accented, query.translate(ACCENTS), batch_accented)
        sides.append(("lev_batch é", run, False))
        if (lev := peer("polyleven")) is not None:
            loop = same(lambda: [lev(query, w) for w in batch])
            sides.append(("lev_batch/polyleven loop", loop, True))
    yield n, sides
    out = np.empty(n, np.float64)
    yield n, [("jw_batch", into(q.jaro_winkler_batch_into, out, query, batch), False)]
    # A fifth of the list: enough pieces for every thread, at a fifth of the slower kernel's time.
    part, out = batch[: n // 5], np.empty(n // 5, np.uint32)
    yield len(part), [("dl_batch", into(q.damerau_levenshtein_batch_into, out, query, part), False)]

    for name, texts in inputs.cdist.items():
        shape = (len(texts), len(texts))
        sides = [
            (
                f"lev_cdist/{name}",
                into(q.levenshtein_cdist_into, np.empty(shape, np.uint32), texts, texts),
                False,
            ),
            (
                f"jw_cdist/{name}",
                into(q.jaro_winkler_cdist_into, np.empty(shape), texts, texts),
                False,
            ),
        ]
        yield shape[0] * shape[1], sides

    short = inputs.cdist["random"][:300]
    call = same(lambda: q.damerau_levenshtein_cdist(short, short))
    yield len(short) ** 2, [("dl_cdist", call, False)]
    query, choices = inputs.choice_query, inputs.choices
    sides = [
        (key, same(lambda f=f: f(query, choices)), False)
        for key, f in (
            ("extract", q.fuzz_extract),
            ("extract_one", q.fuzz_extract_one),
            ("ratio_batch", q.fuzz_ratio_batch),
        )
    ]
    yield len(choices), sides


def long_workloads(inputs: LongInputs, threads: int):
    """The long texts' workloads, as workloads() gives them."""
    import numpy as np
    import quillon as q

    if threads == 1:
        aligner = peer("biopython")
        linear = aligner and aligner(
            mode="global", match_score=1, mismatch_score=-1, open_gap_score=-1, extend_gap_score=-1
        )
        # A gap run of k costs gap_open + k * gap_extend in quillon, open + (k - 1) * extend here.
        affine = aligner and aligner(
            mode="global", match_score=1, mismatch_score=-1, open_gap_score=-4, extend_gap_score=-1
        )
        nw_parasail, matrix = peer("parasail"), None
        if nw_parasail is not None:
            matrix = peer("parasail", "matrix_create")("ACGT", 1, -1)
        for key, f, sets, others in (
            ("lev", q.levenshtein_distance, ["10k edited", "10k random", "1k edited"], ["edlib"]),
            ("dl", q.damerau_levenshtein_distance, ["1k edited", "5k edited"], ["jellyfish"]),
            ("jw", q.jaro_winkler_similarity, ["1k edited"], ["jellyfish"]),
            ("nw", lambda a, b: q.needleman_wunsch_score(a, b, 1, -1, -1), ["dna"], ["biopython"]),
            ("nw_striped", lambda a, b: q.needleman_wunsch_striped(a, b, 1, -1, -1), ["dna"], []),
            ("nw_affine", lambda a, b: q.needleman_wunsch_affine(a, b, 1, -1, -3, -1), ["dna"], []),
            ("jaro", q.jaro_similarity, ["30k"], []),
            ("jaro_opt", q.jaro_optimized, ["30k"], []),
        ):
            for pair_set in sets:
                a, b = inputs.pairs[pair_set]
                sides = [(f"{key}/{pair_set}", pairwise(f, a, b), False)]
                peers = {
                    label: peer(label, f.__name__ if label == "jellyfish" else None)
                    for label in others
                    if pair_set != "5k edited"  # one pair, jellyfish would take seconds
                }
                if pair_set == "dna" and linear is not None:
                    peers["biopython"] = affine.score if key == "nw_affine" else linear.score
                if key == "nw" and nw_parasail is not None:
                    peers["parasail"] = lambda x, y: nw_parasail(x, y, 1, 1, matrix).score
                for label, g in peers.items():
                    if g is not None:
                        g = functools.partial(edlib_distance, g) if label == "edlib" else g
                        sides.append((f"{key}/{pair_set}/{label}", pairwise(g, a, b), True))
                yield len(a), sides
        a, b = inputs.partial
        yield 1, [("partial/long", same(lambda: q.fuzz_partial_ratio(a, b)), False)]
        yield 1, [("partial_token/long", same(lambda: q.fuzz_partial_token_ratio(a, b)), False)]

    texts, shape = inputs.cdist, (len(inputs.cdist),) * 2
    run = into(q.levenshtein_cdist_into, np.empty(shape, np.uint32), texts, texts)
    yield shape[0] * shape[1], [("lev_cdist/1k", run, False)]
    dna = inputs.dna
    call = same(lambda: [q.needleman_wunsch_batch_fn(x, dna, 1, -1, -1) for x in dna])
    yield len(dna) ** 2, [("nw_all", call, False)]


def stringzillas_workloads(inputs: Inputs | None, long_inputs: LongInputs | None, threads: int):
    """stringzillas' cross-products beside quillon's, whose result is the agreement check (its
    time here is not reported). Last in a worker, because the engine's threads keep spinning once
    it has run, taking a core from everything measured after it in that interpreter."""
    import numpy as np
    import quillon as q

    module, strs = peer("stringzillas", "DeviceScope"), peer("stringzilla")
    if module is None or strs is None:
        return
    import stringzillas

    scope = stringzillas.DeviceScope(cpu_cores=threads)
    levenshtein = stringzillas.LevenshteinDistances(capabilities=scope)
    cdists = dict(inputs.cdist) if inputs else {}
    if long_inputs:
        cdists["1k"] = long_inputs.cdist
    for name, texts in cdists.items():
        shape = (len(texts), len(texts))
        # The engine takes its own string list, built once outside the timing.
        texts_sz, out_sz = strs(texts), np.empty(shape, np.uint64)
        call = functools.partial(levenshtein, texts_sz, texts_sz, device=scope, out=out_sz)
        sides = [
            (
                f"lev_cdist/{name}/check",
                into(q.levenshtein_cdist_into, np.empty(shape, np.uint32), texts, texts),
                False,
            ),
            (f"lev_cdist/{name}/stringzillas", (call, lambda call=call: call().copy()), True),
        ]
        yield shape[0] * shape[1], sides
    if long_inputs:
        dna = long_inputs.dna
        classes = np.zeros(256, np.uint8)
        classes[list(b"ACGT")] = [0, 1, 2, 3]
        costs = np.full((32, 32), -1, np.int8)
        np.fill_diagonal(costs, 1)
        engine = stringzillas.NeedlemanWunschScores(classes, costs, -1, -1, scope)
        dna_sz, out_sz = strs(dna), np.empty((len(dna), len(dna)), np.int64)
        call = functools.partial(engine, dna_sz, dna_sz, device=scope, out=out_sz)
        sides = [
            (
                "nw_all/check",
                same(lambda: [q.needleman_wunsch_batch_fn(x, dna, 1, -1, -1) for x in dna]),
                False,
            ),
            ("nw_all/stringzillas", (call, lambda: call().copy()), True),
        ]
        yield len(dna) ** 2, sides


def digest(value) -> str:
    data = value.tobytes() if hasattr(value, "tobytes") else repr(value).encode()
    return hashlib.blake2b(data, digest_size=8).hexdigest()


def measure(sides, items: int, quick: bool) -> dict:
    """Seconds per item of each side, a digest of each result (to compare one thread with two),
    and whether each checked side returned what the first did."""
    import numpy as np

    budget, min_seconds = (0.5, 0.01) if quick else (3.0, 0.02)
    seconds = timed([run for _, (run, _), _ in sides], budget, min_seconds)
    found, first = {}, None
    for (key, (_, result), checked), s in zip(sides, seconds):
        value = result()
        found[key] = {"seconds": s / items, "digest": digest(value)}
        if first is None:
            first = np.asarray(value)
        elif checked:
            found[key]["same"] = bool(np.array_equal(np.asarray(value), first))
    return found


def serve(threads: int, quick: bool, table: str) -> None:
    """The worker's side of Worker: the list sizes, then one answer per command read."""
    inputs = Inputs(quick) if table != "long" else None
    long_inputs = LongInputs(quick) if table != "short" else None
    sizes = {}
    if inputs:
        sizes = {
            "batch": f"1 query x {len(inputs.batch):,}".replace(",", " "),
            "cdist": "{0} x {0}".format(len(inputs.cdist["random"])),
            "choices": f"{len(inputs.choices):,}".replace(",", " "),
        }
    print(json.dumps(sizes), flush=True)
    pending = itertools.chain(
        workloads(inputs, threads) if inputs else (),
        long_workloads(long_inputs, threads) if long_inputs else (),
        stringzillas_workloads(inputs, long_inputs, threads),
    )
    current = None
    for command in sys.stdin:
        if command.strip() == "next":
            current = next(pending, None)
            print(json.dumps(current and current[1][0][0]), flush=True)
        else:
            print(json.dumps(measure(current[1], current[0], quick)), flush=True)


class Worker:
    """A fresh interpreter under RAYON_NUM_THREADS=threads that builds the next workload on
    "next" (answering its name, None after the last) and times it on "measure"."""

    def __init__(self, threads: int, quick: bool, table: str) -> None:
        # NumPy's BLAS threads spin for a while once started and would take a core from the
        # two-thread measurements; nothing here uses BLAS.
        env = dict(os.environ, RAYON_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1")
        argv = [sys.executable, __file__, "--worker", str(threads), "--table", table]
        argv += ["--quick"] * quick
        self.threads = threads
        self.process = subprocess.Popen(
            argv, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True
        )
        self.sizes = self.answer()

    def answer(self):
        line = self.process.stdout.readline()
        if not line:
            sys.exit(f"the worker on {self.threads} thread(s) failed")
        return json.loads(line)

    def ask(self, command: str):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        return self.answer()

    def close(self) -> None:
        self.process.stdin.close()
        self.process.wait()


def run_all(quick: bool, table: str) -> dict:
    """Every measurement, by thread count ("1", "2") and key. Both workers live for the whole run
    and take each workload in turn, one after the other, so that a change in the machine's load
    weighs on one thread and two alike; the one-thread worker alone takes the single pairs."""
    workers = [Worker(threads, quick, table) for threads in (1, 2)]
    runs = {str(w.threads): {} for w in workers}
    names = [w.ask("next") for w in workers]
    while names[0] is not None:
        current = names[0]
        for i, worker in enumerate(workers):
            if names[i] == current:
                runs[str(worker.threads)].update(worker.ask("measure"))
                names[i] = worker.ask("next")
    for worker in workers:
        worker.close()
    runs["sizes"] = workers[0].sizes
    return runs


def shown(seconds: float) -> str:
    for scale, unit in ((1e-6, "ns"), (1e-3, "us"), (1.0, "ms")):
        if seconds < scale:
            return f"{seconds / scale * 1e3:.3g} {unit}"
    return f"{seconds:.3g} s"


def row(runs: dict, workload: str, ours: str, other: str, target: str) -> list[str]:
    """The printed cells of one line of ROWS."""
    threads, key = ours.split(":")
    mine = runs[threads][key]
    label, _, other_key = other.partition("=")
    if other == "-":
        theirs, same = None, ""
    elif other_key:
        other_threads, other_key = other_key.split(":")
        theirs = runs[other_threads][other_key]
        # Accented words keep their ASCII distances, and threads never change a result.
        comparable = label in ("ASCII", "1 thread", "jaro_similarity")
        same = ("=" if theirs["digest"] == mine["digest"] else "~") if comparable else ""
    else:
        theirs = runs[threads].get(f"{key}/{label}")  # a peer on the same inputs and threads
        if theirs is None:
            return [workload, shown(mine["seconds"]), f"{label} not installed", "", target, "", ""]
        same = "=" if theirs["same"] else "~"
    cells = [workload, shown(mine["seconds"]), "", "", target, "", same]
    ratio = None
    if theirs is not None:
        cells[2] = f"{label} {shown(theirs['seconds'])}"
        ratio = theirs["seconds"] / mine["seconds"]
        if target.startswith("<="):
            ratio = 1 / ratio
        cells[3] = f"{ratio:.2f}x"
    if target != "-":
        op, value = target.split()[:2]
        if target.endswith("x"):
            measured, limit = ratio, float(value.rstrip("x"))
        else:
            measured, limit = (
                mine["seconds"],
                float(value) * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[target[-2:]],
            )
        cells[5] = "yes" if (measured >= limit if op == ">=" else measured <= limit) else "NO"
    return cells


def table(runs: dict, rows: str) -> list[list[str]]:
    """The cells of every line of rows; a line that starts with "|" continues the one before."""
    cells = []
    for line in re.sub(r"\n\s+\|", " |", rows.strip()).splitlines():
        workload, ours, other, target = (cell.strip() for cell in line.split("|"))
        workload = " " * (len(line) - len(line.lstrip())) + workload  # keeps a sub-row's indent
        cells.append(row(runs, workload.format(**runs["sizes"]), ours, other, target))
    return cells


def versions() -> str:
    found = [f"quillon {importlib.metadata.version('quillon')}"]
    for distribution, _, _ in PEERS.values():
        try:
            found.append(f"{distribution} {importlib.metadata.version(distribution)}")
        except importlib.metadata.PackageNotFoundError:
            found.append(f"{distribution} not installed (its rows are skipped)")
    return ", ".join(found)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="shorter lists, fewer samples")
    parser.add_argument(
        "--table",
        choices=["short", "long", "all"],
        default="all",
        help="short words, long texts and alignment, or both (the default)",
    )
    parser.add_argument("--worker", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.worker:
        serve(args.worker, args.quick, args.table)
        return
    start = time.perf_counter()
    print(versions())
    print(f"{os.cpu_count()} hardware threads; {'quick' if args.quick else 'full'} run")
    runs = run_all(args.quick, args.table)
    head = ["workload", "quillon", "other", "ratio", "target", "met", "same"]
    tables = {
        "short": [("Short words", ROWS), ("\nlevenshtein_distance, other peers", MORE_ROWS)],
        "long": [("\nLong texts and alignment", LONG_ROWS)],
    }
    for title, rows in [
        t for name in ("short", "long") if args.table in (name, "all") for t in tables[name]
    ]:
        print(title)
        lines = [head] + table(runs, rows)
        widths = [max(len(line[i]) for line in lines) for i in range(len(head))]
        for line in lines:
            print("  ".join(cell.ljust(w) for cell, w in zip(line, widths)).rstrip())
    print(f"\n{time.perf_counter() - start:.0f} s")


if __name__ == "__main__":
    main()
