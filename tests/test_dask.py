"""quillon.dask against the single-machine functions, on one thread and on a two-process cluster."""

import os
import random
import signal
import time

import pytest

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
np = pytest.importorskip("numpy")
import dask.bag as db
import quillon
import quillon.dask as qd

try:
    import dask.dataframe as dd
    import pandas as pd
except ImportError:
    dd = pd = None

rng = random.Random(12)
# Short texts over a few letters, so that scores tie often and the index order of ties matters.
ALPHABET = "ab cé中"
CHOICES = ["".join(rng.choices(ALPHABET, k=rng.randint(0, 8))) for _ in range(150)]
CHOICES += CHOICES[:10]  # duplicates keep their own indices
QUERIES = ["", "ba c", "中é"]

SINGLE = {
    "ratio": quillon.fuzz_ratio,
    "qratio": quillon.fuzz_qratio,
    "partial": quillon.fuzz_partial_ratio,
    "token_sort": quillon.fuzz_token_sort_ratio,
    "token_set": quillon.fuzz_token_set_ratio,
    "token": quillon.fuzz_token_ratio,
    "partial_token_sort": quillon.fuzz_partial_token_sort_ratio,
    "partial_token_set": quillon.fuzz_partial_token_set_ratio,
    "partial_token": quillon.fuzz_partial_token_ratio,
    "wratio": quillon.fuzz_wratio,
    "jaro": quillon.jaro_similarity,
    "jaro_winkler": quillon.jaro_winkler_similarity,
    "levenshtein": quillon.levenshtein_distance,
    "damerau": quillon.damerau_levenshtein_distance,
}
DISTANCES = {"levenshtein", "damerau"}
CUTOFFS = {"jaro": 0.7, "jaro_winkler": 0.7, "levenshtein": 3, "damerau": 3}
CDIST = {
    "levenshtein": quillon.levenshtein_cdist,
    "damerau_levenshtein": quillon.damerau_levenshtein_cdist,
    "jaro_winkler": quillon.jaro_winkler_cdist,
}


def expected(query, choices, scorer, limit, cutoff):
    """Every choice scored one pair at a time: best first, equal scores in index order."""
    if scorer == "ratio":
        limit = len(choices) if limit is None else limit
        return quillon.fuzz_extract(query, choices, 0.0 if cutoff is None else cutoff, limit)
    sign = 1 if scorer in DISTANCES else -1
    scored = [(SINGLE[scorer](query, c), i) for i, c in enumerate(choices)]
    if cutoff is not None:
        scored = [(s, i) for s, i in scored if sign * s <= sign * cutoff]
    scored.sort(key=lambda m: (sign * m[0], m[1]))
    return [(choices[i], s, i) for s, i in scored[:limit]]


def containers(texts):
    out = {"list": texts, "bag": db.from_sequence(texts, npartitions=7)}
    if dd is not None:
        out["series"] = dd.from_pandas(pd.Series(texts, name="name"), npartitions=4)
    return out


def sync(collection):
    return collection.compute(scheduler="sync")


@pytest.mark.parametrize("metric", [*CDIST, "damerau"])
@pytest.mark.parametrize(
    "chunks", [(1, 40), 7, 1000, "auto", (16, 9), ((100, 1, 59), (3, 30)), [(160,), 33]]
)
def test_cdist_equals_single_machine(metric, chunks):
    list_b = CHOICES[:33]
    x = qd.cdist(CHOICES, list_b, metric, chunks)
    reference = CDIST[qd._METRIC_ALIASES.get(metric, metric)](CHOICES, list_b)
    assert x.shape == (len(CHOICES), 33)
    assert x.dtype == (np.float64 if metric == "jaro_winkler" else np.uint32)
    np.testing.assert_array_equal(sync(x), np.asarray(reference))


@pytest.mark.parametrize("list_a, list_b", [([], CHOICES), (CHOICES, []), ([], [])])
def test_cdist_of_empty_lists(list_a, list_b):
    assert sync(qd.cdist(list_a, list_b, chunks=7)).shape == (len(list_a), len(list_b))


def test_cdist_ships_each_block_only_its_texts():
    x = qd.cdist(CHOICES, QUERIES, chunks=(40, 2))
    held = [v for v in dict(x.__dask_graph__()).values() if isinstance(v, qd._Texts)]
    assert sorted(len(t.items) for t in held) == [1, 2, 40, 40, 40, 40]


@pytest.mark.parametrize("container", ["list", "bag", "series"])
@pytest.mark.parametrize("scorer", qd.SCORERS)
def test_extract_one_query_merges_partitions_exactly(scorer, container):
    assert set(SINGLE) == set(qd.SCORERS)
    choices = containers(CHOICES).get(container)
    if choices is None:
        pytest.skip("dask.dataframe needs pandas and pyarrow")
    cases = [
        (query, limit, cutoff)
        for query in QUERIES
        for limit in (0, 1, 23, None)
        for cutoff in (None, CUTOFFS.get(scorer, 50.0))
    ]
    found = dask.compute(
        *(qd.extract(q, choices, scorer, lim, c) for q, lim, c in cases), scheduler="sync"
    )
    for (query, limit, cutoff), got in zip(cases, found, strict=True):
        assert got == expected(query, CHOICES, scorer, limit, cutoff), (query, limit, cutoff)


@pytest.mark.parametrize("container", ["bag", "series"])
@pytest.mark.parametrize("scorer", ["ratio", "token_set", "jaro_winkler", "damerau"])
def test_extract_per_row(scorer, container):
    queries = containers(CHOICES[:40]).get(container)
    if queries is None:
        pytest.skip("dask.dataframe needs pandas and pyarrow")
    got = sync(qd.extract(queries, CHOICES, scorer, 3))
    if container == "series":
        assert list(got.index) == list(range(40))
        got = list(got)
    assert got == [expected(q, CHOICES, scorer, 3, None) for q in CHOICES[:40]]


def bad_calls():
    cases = [
        (lambda: qd.cdist(CHOICES, CHOICES, "hamming"), ValueError, "valid metrics: levenshtein"),
        (lambda: qd.cdist(CHOICES, CHOICES, None), TypeError, "metric must be a str"),
        (lambda: qd.cdist(CHOICES, CHOICES, chunks=0), ValueError, "chunks must be positive"),
        (lambda: qd.cdist(CHOICES, CHOICES, chunks=(5, -1)), ValueError, "chunks must be positive"),
        (lambda: qd.cdist(CHOICES, CHOICES, chunks=2.5), TypeError, "chunks must hold ints"),
        (lambda: qd.cdist(CHOICES, CHOICES, chunks=True), TypeError, "chunks must hold ints"),
        (lambda: qd.cdist(CHOICES, CHOICES, chunks=(5,)), ValueError, "one entry per axis"),
        (lambda: qd.cdist(CHOICES, CHOICES, chunks="big"), ValueError, "'auto'"),
        (lambda: qd.cdist(CHOICES, [], chunks=(9, (5,))), ValueError, "list_b sum to 5, not 0"),
        (lambda: qd.cdist("abc", CHOICES), TypeError, "list_a must be a sequence of str"),
        (lambda: qd.cdist(CHOICES, ["a", b"b"]), TypeError, "list_b[1] must be a str"),
        (lambda: qd.cdist(CHOICES, CHOICES, p=0.2), ValueError, "only to metric 'jaro_winkler'"),
        (lambda: qd.cdist(CHOICES, CHOICES, "jaro_winkler", p=0.3), ValueError, "p must be"),
        (lambda: qd.extract("a", CHOICES, "fuzzy"), ValueError, "valid scorers: ratio, qratio"),
        (lambda: qd.extract("a", CHOICES, limit=-1), ValueError, "limit must be at least 0"),
        (lambda: qd.extract("a", CHOICES, limit=2.0), TypeError, "limit must be an int"),
        (lambda: qd.extract("a", CHOICES, score_cutoff=101), ValueError, "between 0 and 100"),
        (lambda: qd.extract("a", CHOICES, "jaro", score_cutoff=80), ValueError, "between 0 and 1"),
        (lambda: qd.extract("a", CHOICES, "damerau", score_cutoff=-1), ValueError, "between 0"),
        (lambda: qd.extract("a", CHOICES, score_cutoff=float("nan")), ValueError, "NaN"),
        (lambda: qd.extract("a", CHOICES, score_cutoff="50"), TypeError, "score_cutoff must be"),
        (lambda: qd.extract("a", ["x", None]), TypeError, "choices[1] must be a str"),
        (lambda: qd.extract(["a"], CHOICES), TypeError, "query_or_series must be a str"),
        (
            lambda: qd.extract(db.from_sequence(["a"]), db.from_sequence(["a"])),
            TypeError,
            "choices",
        ),
    ]
    if dd is not None:
        frame = dd.from_pandas(pd.DataFrame({"n": ["a"], "k": [1]}), npartitions=1)
        cases += [
            (lambda: qd.extract("a", frame), TypeError, "one column of a dataframe"),
            (lambda: qd.extract("a", frame["k"]), TypeError, "column of str, got a column of"),
            (lambda: qd.extract(frame["k"], ["a"]), TypeError, "query_or_series must be a column"),
        ]
    return cases


def test_bad_arguments_are_refused_before_any_task():
    # Refused at the call itself: nothing is built, so nothing can reach a scheduler.
    for call, error, fragment in bad_calls():
        with pytest.raises(error) as raised:
            call()
        assert fragment in str(raised.value), (fragment, str(raised.value))


def test_bad_item_in_a_partition_names_it():
    with pytest.raises(TypeError, match=r"choices\[2\] must be a str, got int"):
        sync(qd.extract("a", db.from_sequence(["a", "b", 3], npartitions=1)))


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(
        n_workers=2,
        threads_per_worker=1,
        processes=True,
        host="127.0.0.1",
        dashboard_address=None,
        silence_logs=50,
    )
    with distributed.Client(cluster) as client:
        yield client
    cluster.close()


def test_cluster_results_equal_single_machine(client):
    x = qd.cdist(CHOICES, CHOICES[:50], "jaro_winkler", 13, p=0.2)
    np.testing.assert_array_equal(
        client.compute(x).result(), quillon.jaro_winkler_cdist(CHOICES, CHOICES[:50], 0.2)
    )
    bag = db.from_sequence(CHOICES, npartitions=6)
    assert client.compute(qd.extract("ab c", bag, limit=17)).result() == expected(
        "ab c", CHOICES, "ratio", 17, None
    )
    rows = client.compute(qd.extract(bag, CHOICES, "token", 2, 50.0)).result()
    assert rows == [expected(q, CHOICES, "token", 2, 50.0) for q in CHOICES]


def test_worker_killed_during_a_computation(client):
    # Once both workers hold blocks, one is killed: the blocks it held are lost and must be
    # filled again by the other one (or its restarted process) for the result to be complete.
    x = qd.cdist(CHOICES, CHOICES, "levenshtein", 8)
    persisted = client.persist(x, optimize_graph=False)
    deadline = time.monotonic() + 60
    while True:
        held = client.has_what()
        if len(held) == 2 and all(any(k[0] == x.name for k in keys) for keys in held.values()):
            break
        assert time.monotonic() < deadline, held
        time.sleep(0.01)
    pids = client.run(os.getpid)
    os.kill(pids[min(pids)], signal.SIGKILL)
    np.testing.assert_array_equal(
        client.compute(persisted).result(timeout=120), quillon.levenshtein_cdist(CHOICES, CHOICES)
    )
