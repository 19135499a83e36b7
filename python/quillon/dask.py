"""Cross-products and extraction on a Dask cluster.

``cdist`` returns a dask array whose blocks the workers fill with the ``_into`` functions;
``extract`` finds the best matches of one query among choices held in a dask bag, a dask
dataframe column or a list, or the best matches of every row of a bag or column of queries
among a list of choices. Results equal those of the single-machine functions exactly, whatever
the partitioning.

Every argument is checked when the function is called, before anything is submitted; the
workers need ``quillon`` installed, at the same version as the caller.
"""

from __future__ import annotations

import heapq
import math
from collections.abc import Callable, Sequence
from typing import Any, Final, TypeAlias, cast

import dask
import dask.bag
import numpy as np
import quillon
from dask.array import Array
from dask.array.core import normalize_chunks
from dask.base import tokenize
from dask.delayed import Delayed, delayed
from dask.highlevelgraph import HighLevelGraph

__all__ = ["METRICS", "SCORERS", "cdist", "extract"]

Match: TypeAlias = tuple[str, float, int]
Chunks: TypeAlias = int | str | tuple[Any, ...] | list[Any]


class _Texts:
    """A run of texts held as one opaque value in a graph.

    A bare list or tuple in a graph is searched for keys, so a text that happened to spell a key
    would be replaced by that key's value; an object of this class is passed through untouched.
    """

    __slots__ = ("items",)

    def __init__(self, items: list[str]) -> None:
        self.items = items

    def __dask_tokenize__(self) -> str:
        return tokenize(self.items)


# ---------------------------------------------------------------------------------------------
# Cross-products

# metric name -> (_into function, dtype, takes p)
_METRIC_TABLE: Final[dict[str, tuple[Callable[..., None], type[np.generic], bool]]] = {
    "levenshtein": (quillon.levenshtein_cdist_into, np.uint32, False),
    "damerau_levenshtein": (quillon.damerau_levenshtein_cdist_into, np.uint32, False),
    "jaro_winkler": (quillon.jaro_winkler_cdist_into, np.float64, True),
}
_METRIC_ALIASES: Final[dict[str, str]] = {"damerau": "damerau_levenshtein"}
METRICS: Final[tuple[str, ...]] = (*_METRIC_TABLE, *_METRIC_ALIASES)

_DEFAULT_CHUNKS: Final = 1000
# Typed here: dask leaves them unannotated.
_normalize_chunks: Callable[..., tuple[tuple[int, ...], ...]] = normalize_chunks
_new_array: Callable[..., Array] = Array


def _fill_block(a: _Texts, b: _Texts, metric: str, p: float | None) -> np.ndarray[Any, Any]:
    fill, dtype, _ = _METRIC_TABLE[metric]
    out = np.empty((len(a.items), len(b.items)), dtype=dtype)
    if p is None:
        fill(a.items, b.items, out)
    else:
        fill(a.items, b.items, out, p)
    return out


def cdist(
    list_a: Sequence[str],
    list_b: Sequence[str],
    metric: str = "levenshtein",
    chunks: Chunks = _DEFAULT_CHUNKS,
    *,
    p: float | None = None,
) -> Array:
    """The cross-product of two lists of texts as a lazy dask array.

    Element ``[i, j]`` is ``metric`` of ``list_a[i]`` and ``list_b[j]``: ``"levenshtein"`` and
    ``"damerau_levenshtein"`` (or ``"damerau"``) give ``uint32`` distances, ``"jaro_winkler"``
    gives ``float64`` similarities with prefix weight ``p`` (0.1 when ``None``; only this metric
    takes ``p``). ``chunks`` is what ``dask.array`` takes for a two-dimensional array: an int for
    square blocks, ``"auto"``, or a pair of block sizes or of tuples of block sizes. Each block is
    one task that receives only the texts of its rows and columns and fills its array with the
    metric's ``_into`` function, so the result equals ``levenshtein_cdist`` and its siblings.
    """
    name = _check_metric(metric)
    a = _check_texts("list_a", list_a)
    b = _check_texts("list_b", list_b)
    _, dtype, takes_p = _METRIC_TABLE[name]
    if p is not None:
        if not takes_p:
            raise ValueError(f"p applies only to metric 'jaro_winkler', not {metric!r}")
        p = _check_real("p", p)
        if not 0.0 <= p <= 0.25:
            raise ValueError(f"p must be between 0 and 0.25, got {p!r}")
    row_chunks, col_chunks = _check_chunks(chunks, (len(a), len(b)), dtype)

    token = tokenize(a, b, name, p, row_chunks, col_chunks)
    out_name = f"quillon-cdist-{token}"
    rows_name = f"quillon-cdist-rows-{token}"
    cols_name = f"quillon-cdist-cols-{token}"
    graph: dict[Any, Any] = {}
    for i, (start, stop) in enumerate(_bounds(row_chunks)):
        graph[(rows_name, i)] = _Texts(a[start:stop])
    for j, (start, stop) in enumerate(_bounds(col_chunks)):
        graph[(cols_name, j)] = _Texts(b[start:stop])
    for i in range(len(row_chunks)):
        for j in range(len(col_chunks)):
            graph[(out_name, i, j)] = (_fill_block, (rows_name, i), (cols_name, j), name, p)
    hlg = HighLevelGraph.from_collections(out_name, graph, dependencies=())
    return _new_array(hlg, out_name, chunks=(row_chunks, col_chunks), dtype=dtype)


def _check_metric(metric: object) -> str:
    if not isinstance(metric, str):
        raise TypeError(f"metric must be a str, one of {', '.join(METRICS)}; got {_kind(metric)}")
    name = _METRIC_ALIASES.get(metric, metric)
    if name not in _METRIC_TABLE:
        raise ValueError(f"unknown metric {metric!r}; valid metrics: {', '.join(METRICS)}")
    return name


def _check_chunks(
    chunks: object, shape: tuple[int, int], dtype: type[np.generic]
) -> tuple[tuple[int, ...], tuple[int, ...]]:
    def bad(why: str) -> ValueError:
        return ValueError(
            f"chunks {why}; give a positive int, 'auto', or a pair of block sizes "
            f"(each an int or a tuple of ints summing to the list's length), got {chunks!r}"
        )

    def check_size(size: object) -> None:
        if isinstance(size, bool) or not isinstance(size, (int, np.integer)):
            raise TypeError(f"chunks must hold ints, got {_kind(size)} in {chunks!r}")
        if size < 1:
            raise bad("must be positive")

    if isinstance(chunks, str):
        if chunks != "auto":
            raise bad("as a str must be 'auto'")
    elif isinstance(chunks, (tuple, list)):
        if len(chunks) != 2:
            raise bad("must have one entry per axis (2)")
        for axis, entry in enumerate(chunks):
            if isinstance(entry, (tuple, list)):
                for size in entry:
                    # A zero block is how dask describes an empty axis.
                    if not (size == 0 and shape[axis] == 0 and len(entry) == 1):
                        check_size(size)
                if sum(entry) != shape[axis]:
                    list_name = ("list_a", "list_b")[axis]
                    raise bad(f"for {list_name} sum to {sum(entry)}, not {shape[axis]}")
            elif entry != "auto":
                check_size(entry)
    else:
        check_size(chunks)
    try:
        normalized = _normalize_chunks(chunks, shape=shape, dtype=np.dtype(dtype))
    except (TypeError, ValueError, NotImplementedError) as error:
        raise bad(f"not accepted ({error})") from None
    return normalized[0], normalized[1]


def _bounds(sizes: tuple[int, ...]) -> list[tuple[int, int]]:
    out = []
    start = 0
    for size in sizes:
        out.append((start, start + size))
        start += size
    return out


# ---------------------------------------------------------------------------------------------
# Extraction


class _floatr:
    """One scorer: its batch form and whether a lower value is the better one."""

    def __init__(
        self,
        batch: Callable[[str, list[str]], Sequence[float]],
        lower_is_better: bool,
        bounds: tuple[float, float],
    ) -> None:
        self.batch = batch
        self.lower_is_better = lower_is_better
        self.bounds = bounds

    def order(self, score: float, index: int) -> tuple[float, int]:
        # Best first, equal scores in index order: a total order, so the best `limit` of the
        # whole list are among the best `limit` of the partition each of them belongs to.
        return (score if self.lower_is_better else -score, index)


def _pairwise(fn: Callable[[str, str], float]) -> Callable[[str, list[str]], Sequence[float]]:
    def batch(query: str, choices: list[str]) -> list[float]:
        return [fn(query, choice) for choice in choices]

    return batch


_RATIO: Final = (0.0, 100.0)
_UNIT: Final = (0.0, 1.0)
_DISTANCE: Final = (0.0, math.inf)
_SCORER_TABLE: Final[dict[str, _floatr]] = {
    "ratio": _floatr(quillon.fuzz_ratio_batch, False, _RATIO),
    "qratio": _floatr(_pairwise(quillon.fuzz_qratio), False, _RATIO),
    "partial": _floatr(_pairwise(quillon.fuzz_partial_ratio), False, _RATIO),
    "token_sort": _floatr(_pairwise(quillon.fuzz_token_sort_ratio), False, _RATIO),
    "token_set": _floatr(_pairwise(quillon.fuzz_token_set_ratio), False, _RATIO),
    "token": _floatr(_pairwise(quillon.fuzz_token_ratio), False, _RATIO),
    "partial_token_sort": _floatr(_pairwise(quillon.fuzz_partial_token_sort_ratio), False, _RATIO),
    "partial_token_set": _floatr(_pairwise(quillon.fuzz_partial_token_set_ratio), False, _RATIO),
    "partial_token": _floatr(_pairwise(quillon.fuzz_partial_token_ratio), False, _RATIO),
    "wratio": _floatr(_pairwise(quillon.fuzz_wratio), False, _RATIO),
    "jaro": _floatr(_pairwise(quillon.jaro_similarity), False, _UNIT),
    "jaro_winkler": _floatr(quillon.jaro_winkler_batch_fn, False, _UNIT),
    "levenshtein": _floatr(quillon.levenshtein_batch, True, _DISTANCE),
    "damerau": _floatr(quillon.damerau_levenshtein_batch, True, _DISTANCE),
}
SCORERS: Final[tuple[str, ...]] = tuple(_SCORER_TABLE)

# Choices given as a plain list are scored in pieces of this many texts, one task each.
_LIST_PIECE: Final = 50_000


def _best(
    query: str, choices: list[str], scorer: str, limit: int | None, cutoff: float | None
) -> list[Match]:
    """The single-machine extraction: best first, equal scores in index order."""
    if scorer == "ratio":
        # fuzz_extract orders exactly so; no choice list is longer than its limit of all.
        return quillon.fuzz_extract(
            query,
            choices,
            0.0 if cutoff is None else cutoff,
            len(choices) if limit is None else limit,
        )
    rule = _SCORER_TABLE[scorer]
    scores = rule.batch(query, choices)
    kept: Sequence[int]
    if cutoff is None:
        kept = range(len(scores))
    elif rule.lower_is_better:
        kept = [i for i, s in enumerate(scores) if s <= cutoff]
    else:
        kept = [i for i, s in enumerate(scores) if s >= cutoff]
    key: Callable[[int], tuple[float, int]] = lambda i: rule.order(scores[i], i)
    chosen = sorted(kept, key=key) if limit is None else heapq.nsmallest(limit, kept, key=key)
    return [(choices[i], scores[i], i) for i in chosen]


def _partition_best(
    part: Any, query: str, scorer: str, limit: int | None, cutoff: float | None
) -> tuple[int, list[Match]]:
    choices = _as_texts(part, "choices")
    return len(choices), _best(query, choices, scorer, limit, cutoff)


def _merge(parts: list[tuple[int, list[Match]]], scorer: str, limit: int | None) -> list[Match]:
    rule = _SCORER_TABLE[scorer]
    merged: list[Match] = []
    offset = 0
    for count, matches in parts:
        merged.extend((text, score, index + offset) for text, score, index in matches)
        offset += count
    key: Callable[[Match], tuple[float, int]] = lambda m: rule.order(m[1], m[2])
    return sorted(merged, key=key) if limit is None else heapq.nsmallest(limit, merged, key=key)


def _rows_best(
    part: Any, choices: _Texts, scorer: str, limit: int | None, cutoff: float | None
) -> list[list[Match]]:
    queries = _as_texts(part, "query_or_series")
    return [_best(q, choices.items, scorer, limit, cutoff) for q in queries]


def _series_rows_best(
    part: Any, choices: _Texts, scorer: str, limit: int | None, cutoff: float | None
) -> Any:
    rows = _rows_best(part, choices, scorer, limit, cutoff)
    return type(part)(rows, index=part.index, name=part.name, dtype=object)


def extract(
    query_or_series: Any,
    choices: Any,
    scorer: str = "ratio",
    limit: int | None = 5,
    score_cutoff: float | None = None,
) -> Any:
    """Best matches, as lazy dask objects; ``.compute()`` gives the result.

    With a ``str`` query, ``choices`` may be a dask bag of texts, a dask dataframe column
    (``Series``) of texts or a plain sequence of texts. Each partition is scored where it lies
    and keeps its best ``limit`` matches; one final task merges them. The result is a
    ``Delayed`` whose value is a list of ``(choice, score, index)`` with ``index`` counted over
    the whole collection in partition order, best first and equal scores in index order: with
    ``scorer="ratio"``, exactly ``fuzz_extract(query, list_of_all_choices, score_cutoff, limit)``.

    With a dask bag or dask dataframe column of queries, ``choices`` must be a plain sequence of
    texts; it is sent to each worker once. The result is a bag, or a ``Series`` with the
    column's index, holding for every query the list that a ``str`` query would give.

    ``scorer`` is one of ``SCORERS``: the fuzzy ratios (0 to 100; ``"ratio"`` is
    ``fuzz_ratio``, ``"partial"``, ``"token_sort"``, ``"token_set"``, ``"token"``, their
    ``"partial_token..."`` forms, ``"qratio"``, ``"wratio"``), ``"jaro"`` and
    ``"jaro_winkler"`` (0 to 1; keep a match whose score is at least ``score_cutoff``), or the
    distances ``"levenshtein"`` and ``"damerau"`` (smallest first; keep a match whose distance
    is at most ``score_cutoff``). ``score_cutoff=None`` keeps every choice and ``limit=None``
    keeps every match.
    """
    rule = _check_scorer(scorer)
    limit = _check_limit(limit)
    cutoff = _check_cutoff(score_cutoff, scorer, rule)
    dd = _dataframe_module()

    if isinstance(query_or_series, str):
        query = query_or_series
        if isinstance(choices, dask.bag.Bag):
            parts = cast(Any, choices).to_delayed()
        elif dd is not None and isinstance(choices, dd.Series):
            _check_text_column("choices", choices)
            parts = cast(Any, choices).to_delayed()
        elif dd is not None and isinstance(choices, dd.DataFrame):
            raise TypeError("choices must be one column of a dataframe (df['name']), not all of it")
        else:
            texts = _check_texts("choices", choices)
            pieces = [texts[i : i + _LIST_PIECE] for i in range(0, len(texts), _LIST_PIECE)]
            parts = [delayed(_Texts(piece), pure=True) for piece in pieces]
        best = delayed(_partition_best, pure=True)
        found = [best(part, query, scorer, limit, cutoff) for part in parts]
        result: Delayed = delayed(_merge, pure=True)(found, scorer, limit)
        return result

    if isinstance(query_or_series, dask.bag.Bag):
        shared = delayed(_Texts(_check_texts("choices", choices)), pure=True)
        return cast(Any, query_or_series).map_partitions(_rows_best, shared, scorer, limit, cutoff)
    if dd is not None and isinstance(query_or_series, dd.Series):
        _check_text_column("query_or_series", query_or_series)
        shared = delayed(_Texts(_check_texts("choices", choices)), pure=True)
        return cast(Any, query_or_series).map_partitions(
            _series_rows_best,
            shared,
            scorer,
            limit,
            cutoff,
            meta=(query_or_series.name, object),
        )
    raise TypeError(
        "query_or_series must be a str, a dask bag of str or a dask dataframe column of str; "
        f"got {_kind(query_or_series)}"
    )


def _check_scorer(scorer: object) -> _floatr:
    if not isinstance(scorer, str):
        raise TypeError(f"scorer must be a str, one of {', '.join(SCORERS)}; got {_kind(scorer)}")
    if scorer not in _SCORER_TABLE:
        raise ValueError(f"unknown scorer {scorer!r}; valid scorers: {', '.join(SCORERS)}")
    return _SCORER_TABLE[scorer]


def _check_limit(limit: object) -> int | None:
    if limit is None:
        return None
    if isinstance(limit, bool) or not isinstance(limit, (int, np.integer)):
        raise TypeError(f"limit must be an int or None, got {_kind(limit)}")
    if limit < 0:
        raise ValueError(f"limit must be at least 0 (or None for every match), got {limit}")
    return int(limit)


def _check_cutoff(cutoff: object, scorer: str, rule: _floatr) -> float | None:
    if cutoff is None:
        return None
    value = _check_real("score_cutoff", cutoff)
    low, high = rule.bounds
    if not low <= value <= high:
        raise ValueError(
            f"score_cutoff for scorer {scorer!r} must lie between {low:g} and {high:g}, "
            f"got {cutoff!r}"
        )
    return value


def _check_real(name: str, value: object) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError(f"{name} must be a number, got {_kind(value)}")
    if math.isnan(value):
        raise ValueError(f"{name} must be a number, got NaN")
    return float(value)


def _check_texts(name: str, texts: object) -> list[str]:
    """A list of the texts, checked item by item (an isinstance per item, cheap beside scoring)."""
    if isinstance(texts, (str, bytes)) or not isinstance(texts, Sequence):
        raise TypeError(f"{name} must be a sequence of str (a list or tuple), got {_kind(texts)}")
    return _as_texts(texts, name)


def _as_texts(texts: Any, name: str) -> list[str]:
    if isinstance(texts, _Texts):
        return texts.items  # checked before it was put in the graph
    items = texts.tolist() if hasattr(texts, "tolist") else list(texts)
    for i, item in enumerate(items):
        if not isinstance(item, str):
            raise TypeError(f"{name}[{i}] must be a str, got {_kind(item)}")
    return items


def _check_text_column(name: str, column: Any) -> None:
    dtype = column.dtype
    if dtype != object and not str(dtype).startswith("string") and dtype.kind not in "OUS":
        raise TypeError(f"{name} must be a column of str, got a column of dtype {dtype}")


def _dataframe_module() -> Any:
    # dask.dataframe needs pandas, which the bag route does without.
    try:
        import dask.dataframe as dd
    except ImportError:
        return None
    return dd


def _kind(value: object) -> str:
    return type(value).__name__
