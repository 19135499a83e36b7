"""The `quillon` command: best matches, near-duplicate groups and distance matrices from the shell.

User errors (unreadable or undecodable input, a bad scorer, metric or threshold, an existing output
file) end with a one-line message on standard error: exit status 2 for usage errors, 1 for input
that could not be read, 0 otherwise.
"""

from __future__ import annotations

import argparse
import bisect
import csv
import heapq
import io
import json
import math
import os
import sys
from collections.abc import Callable, Sequence
from typing import IO, Any

import quillon

EXAMPLE = """\
examples:
  quillon match "Jon Smith" names.txt --limit 3
  quillon dedupe names.txt --scorer damerau --threshold 1 --format csv
  quillon cdist a.txt b.txt -o distances.npy --metric levenshtein
  quillon dedupe        (with no FILE, on a terminal: the bundled sample of names)
"""

# Scorers by short name. Similarities are 0-100 (Jaro-Winkler 0-1, as the function returns it);
# distances make the threshold a maximum.
RATIO_SCORERS: dict[str, Callable[..., float]] = {
    "ratio": quillon.fuzz_ratio,
    "partial": quillon.fuzz_partial_ratio,
    "token_sort": quillon.fuzz_token_sort_ratio,
    "token_set": quillon.fuzz_token_set_ratio,
    "token": quillon.fuzz_token_ratio,
    "wratio": quillon.fuzz_wratio,
}
DISTANCES = ("levenshtein", "damerau")
SCORERS = (*RATIO_SCORERS, "jaro_winkler", *DISTANCES)
METRICS = ("levenshtein", "damerau", "jaro_winkler")

SCORER_HELP = (
    "ratio, partial, token_sort, token_set, token, wratio: scores 0-100, the cut-off is the "
    "lowest score kept; jaro_winkler: similarity 0-1 (prefix scale 0.1), the cut-off is the "
    "lowest similarity kept; levenshtein, damerau: edit distances, the cut-off is the largest "
    "distance kept"
)

FILE_HELP = "one text per line; '-' or none for standard input"

USAGE_ERROR, INPUT_ERROR = 2, 1


class CliError(Exception):
    """A user error: reported in one line, no traceback."""

    def __init__(self, message: str, status: int = INPUT_ERROR) -> None:
        super().__init__(message)
        self.status = status


# --- input -------------------------------------------------------------------------------------


def sample_lines() -> list[str]:
    from importlib.resources import files

    return (files("quillon") / "data" / "names.txt").read_text(encoding="utf-8").splitlines()


def decode(data: bytes, encoding: str, name: str) -> str:
    try:
        text = data.decode(encoding)
        # A byte-order mark is not part of the first line.
        return text.removeprefix("\ufeff")
    except LookupError:
        raise CliError(f"unknown encoding {encoding!r}", USAGE_ERROR) from None
    except UnicodeDecodeError as err:
        line = data.count(b"\n", 0, err.start) + 1
        column = err.start - (data.rfind(b"\n", 0, err.start) + 1) + 1
        byte = data[err.start : err.start + 1].hex()
        raise CliError(
            f"{name}: line {line}: byte 0x{byte} (byte {column} of the line) is not valid "
            f"{encoding}; "
            f"give the file's encoding with --encoding (for example --encoding latin-1)"
        ) from None


def read_bytes(path: str | None, stdin: IO[bytes]) -> tuple[bytes, str]:
    if path is None or path == "-":
        return stdin.read(), "<stdin>"
    try:
        with open(path, "rb") as f:
            return f.read(), path
    except OSError as err:
        raise CliError(f"cannot read {path}: {err.strerror or err}") from None


def split_lines(text: str) -> list[str]:
    # Only line feeds (with an optional carriage return) end a line: a form feed or U+2028 inside
    # a name stays part of it.
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [line.removesuffix("\r") for line in lines]


def column_values(text: str, column: str, name: str) -> list[str]:
    """The values of one CSV column; the first row is the header."""
    try:
        rows = list(csv.reader(io.StringIO(text, newline="")))
    except csv.Error as err:
        raise CliError(f"{name}: not readable as CSV: {err}") from None
    header = rows.pop(0) if rows else None
    if header is None:
        raise CliError(f"{name}: empty CSV input, no header row")
    if column in header:
        index = header.index(column)
    elif column.lstrip("-").isdigit():
        index = int(column)
        if not -len(header) <= index < len(header):
            raise CliError(
                f"{name}: column {index} out of range, the header has {len(header)} columns",
                USAGE_ERROR,
            )
    else:
        raise CliError(
            f"{name}: no column {column!r}; the header has: {', '.join(header)}", USAGE_ERROR
        )
    return [row[index] if -len(row) <= index < len(row) else "" for row in rows]


def load(args: argparse.Namespace, stdin: IO[bytes], stderr: IO[str]) -> list[str]:
    path = args.file
    if path is None and stdin.isatty():
        lines = sample_lines()
        print(
            f"quillon: no FILE given and standard input is a terminal; using the bundled sample "
            f"of {len(lines)} names",
            file=stderr,
        )
        return lines
    data, name = read_bytes(path, stdin)
    text = decode(data, args.encoding, name)
    if args.column is not None:
        return column_values(text, args.column, name)
    return split_lines(text)


# --- thresholds and scoring --------------------------------------------------------------------


def parse_cutoff(scorer: str, value: str | None, default: float | None) -> float | None:
    """Checks a cut-off against the scorer's scale; None keeps everything."""
    if value is None:
        return default
    try:
        number = float(value)
    except ValueError:
        raise CliError(f"bad threshold {value!r}: not a number", USAGE_ERROR) from None
    if scorer in DISTANCES:
        if not number.is_integer() or number < 0:
            raise CliError(
                f"bad threshold {value!r}: {scorer} takes a maximum distance, an integer >= 0",
                USAGE_ERROR,
            )
        return number
    top = 1.0 if scorer == "jaro_winkler" else 100.0
    if not 0.0 <= number <= top:
        raise CliError(
            f"bad threshold {value!r}: {scorer} scores run from 0 to {top:g}", USAGE_ERROR
        )
    return number


def score_all(scorer: str, query: str, choices: Sequence[str], cutoff: float | None) -> list[Any]:
    """One score per choice, through a batch function where the module has one."""
    if scorer == "levenshtein":
        return quillon.levenshtein_batch(query, choices)
    if scorer == "damerau":
        return quillon.damerau_levenshtein_batch(query, choices)
    if scorer == "jaro_winkler":
        return quillon.jaro_winkler_batch_fn(query, choices)
    if scorer == "ratio":
        return quillon.fuzz_ratio_batch(query, choices)
    fn = RATIO_SCORERS[scorer]
    c = cutoff or 0.0
    return [fn(query, choice, c) for choice in choices]


def keep(scorer: str, score: float, cutoff: float | None) -> bool:
    if cutoff is None:
        return True
    return score <= cutoff if scorer in DISTANCES else score >= cutoff


def best_matches(
    scorer: str, query: str, choices: Sequence[str], limit: int, cutoff: float | None
) -> list[tuple[str, float, int]]:
    """The `limit` best (choice, score, index): best score first, then index order."""
    if scorer == "ratio":
        return quillon.fuzz_extract(query, choices, cutoff or 0.0, limit)
    scores = score_all(scorer, query, choices, cutoff)
    # Distances rank smallest first, similarities largest first; the index breaks ties.
    sign = 1 if scorer in DISTANCES else -1
    kept = ((sign * s, i) for i, s in enumerate(scores) if keep(scorer, s, cutoff))
    best = heapq.nsmallest(limit, kept)
    return [(choices[i], scores[i], i) for _, i in best]


def numpy() -> Any:
    try:
        import numpy as np
    except ImportError:
        raise CliError("this command needs NumPy: pip install numpy") from None
    return np


# --- dedupe ------------------------------------------------------------------------------------


class Groups:
    """Union-find over line positions; path halving keeps the trees shallow."""

    def __init__(self, n: int) -> None:
        self.parent = list(range(n))

    def find(self, i: int) -> int:
        parent = self.parent
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    def union(self, i: int, j: int) -> None:
        a, b = self.find(i), self.find(j)
        if a != b:
            if a < b:
                a, b = b, a
            self.parent[a] = b

    def groups(self) -> list[list[int]]:
        members: dict[int, list[int]] = {}
        for i in range(len(self.parent)):
            members.setdefault(self.find(i), []).append(i)
        return sorted((g for g in members.values() if len(g) > 1), key=lambda g: g[0])


def max_length_for(scorer: str, threshold: float, length: int) -> float:
    """The longest text that can reach `threshold` against a text of `length` characters (no
    shorter text can reach it either when `length` is the longer one): an exact prefilter."""
    if scorer in DISTANCES:
        return length + threshold  # a distance of k needs |la - lb| <= k
    if scorer == "ratio":
        # ratio <= 200 * la / (la + lb) for la <= lb, since indel >= lb - la.
        if threshold <= 0.0:
            return math.inf
        return length * (200.0 / threshold - 1.0) * (1 + 1e-9) + 1e-9
    if scorer == "jaro_winkler":
        # jaro <= (2 + la / lb) / 3, and the prefix bonus lifts at most 0.4 * (1 - jaro) at p = 0.1.
        need = (threshold - 0.4) / 0.6
        ratio = 3.0 * need - 2.0
        if ratio <= 0.0:
            return math.inf
        return length / ratio * (1 + 1e-9) + 1e-9
    return math.inf  # partial and token scores do not depend on the lengths alone


def index_keys(length: int, damerau: bool) -> list[tuple[int, int, int]]:
    """(key number, start, end) of the spans that a key leaves out of a text of `length`.

    The text is cut into up to four pieces, and each key is the text without one piece. One edit
    falls inside one piece (an insertion at a piece's start counts as inside it), so a pair within
    distance 1 agrees on that key: the same prefix before the span, and the same suffix after it
    once the longer text's suffix is shifted by the difference of lengths. A swap of two letters
    across a cut is the one Damerau edit that touches two pieces; the keys without the two letters
    beside each cut catch it."""
    pieces = max(1, min(4, length))
    cuts = [p * length // pieces for p in range(pieces + 1)]
    spans = [(p, cuts[p], cuts[p + 1]) for p in range(pieces)]
    if damerau:
        spans += [(pieces + p, cuts[p + 1] - 1, cuts[p + 1] + 1) for p in range(pieces - 1)]
    return spans


def dedupe_index(
    lines: Sequence[str], scorer: str, k: int, groups: Groups, progress: Callable[[int], None]
) -> None:
    """Distance dedupe within 0 or 1 edit through an exact index of keys (see index_keys), one
    length class at a time, so memory grows with the largest class rather than the input."""
    damerau = scorer == "damerau"
    batch = quillon.damerau_levenshtein_batch if damerau else quillon.levenshtein_batch
    by_length: dict[int, list[int]] = {}
    for i, line in enumerate(lines):
        by_length.setdefault(len(line), []).append(i)

    def check(cands: list[int], j: int) -> None:
        line = lines[j]
        for i, d in zip(cands, batch(line, [lines[i] for i in cands])):
            if d <= k:
                groups.union(i, j)

    for length in sorted(by_length):
        shorter = by_length[length]
        spans = index_keys(length, damerau)
        index: dict[tuple[int, str, str], list[int]] = {}
        for i in shorter:
            line = lines[i]
            for key, s, e in spans:
                index.setdefault((key, line[:s], line[e:]), []).append(i)
        # Texts of this length: pairs share a bucket of the index.
        for bucket in index.values():
            if len(bucket) > 1:
                for n, j in enumerate(bucket[1:], 1):
                    check(bucket[:n], j)
        # One character longer (for k = 1): probe the index with the longer text's keys.
        for j in by_length.get(length + 1, ()) if k else ():
            line = lines[j]
            found: set[int] = set()
            for key, s, e in spans:
                hit = index.get((key, line[:s], line[e + 1 :]))
                if hit:
                    found.update(hit)
            if found:
                check(list(found), j)
        progress(len(shorter))


def sorted_by_length(lines: Sequence[str]) -> list[int]:
    return sorted(range(len(lines)), key=lambda i: (len(lines[i]), i))


def dedupe_blocks(
    lines: Sequence[str],
    scorer: str,
    threshold: float,
    groups: Groups,
    progress: Callable[[int], None],
    rows: int = 512,
    cols: int = 8192,
) -> None:
    """Pairs through cross-products of blocks of the length-sorted lines, each block against the
    later lines whose lengths can still reach the threshold; block buffers bound the memory."""
    np = numpy()

    order = sorted_by_length(lines)
    texts = [lines[i] for i in order]
    lengths = np.array([len(t) for t in texts], dtype=np.int64)
    into: Callable[..., None]
    if scorer == "jaro_winkler":
        into, dtype = quillon.jaro_winkler_cdist_into, np.float64
    elif scorer == "levenshtein":
        into, dtype = quillon.levenshtein_cdist_into, np.uint32
    else:
        into, dtype = quillon.damerau_levenshtein_cdist_into, np.uint32
    buffer = np.empty(rows * cols, dtype=dtype)
    n = len(texts)
    for r0 in range(0, n, rows):
        r1 = min(n, r0 + rows)
        top = max_length_for(scorer, threshold, int(lengths[r1 - 1]))
        end = n if math.isinf(top) else int(np.searchsorted(lengths, top, side="right"))
        block = texts[r0:r1]
        for c0 in range(r0, end, cols):
            c1 = min(end, c0 + cols)
            out = buffer[: (r1 - r0) * (c1 - c0)].reshape(r1 - r0, c1 - c0)
            into(block, texts[c0:c1], out)
            hits = out <= threshold if scorer in DISTANCES else out >= threshold
            for a, b in zip(*np.nonzero(hits)):
                i, j = r0 + int(a), c0 + int(b)
                if j > i:
                    groups.union(order[i], order[j])
        progress(r1 - r0)


def dedupe_ratio(
    lines: Sequence[str],
    scorer: str,
    threshold: float,
    groups: Groups,
    progress: Callable[[int], None],
) -> None:
    """Fuzz scorers line by line against the later lines of compatible length (the plain ratio
    through one extraction per line, which also skips candidates that cannot reach the cut-off)."""
    order = sorted_by_length(lines)
    texts = [lines[i] for i in order]
    lengths = [len(t) for t in texts]
    fn = RATIO_SCORERS[scorer]
    step = 0
    for i, query in enumerate(texts):
        top = max_length_for(scorer, threshold, lengths[i])
        end = len(texts) if math.isinf(top) else bisect.bisect_right(lengths, top)
        window = texts[i + 1 : end]
        if scorer == "ratio" and window:
            for _, _, j in quillon.fuzz_extract(query, window, threshold, len(window)):
                groups.union(order[i], order[i + 1 + j])
        else:
            for j, choice in enumerate(window):
                if fn(query, choice, threshold) >= threshold:
                    groups.union(order[i], order[i + 1 + j])
        step += 1
        if step == 256:
            progress(step)
            step = 0
    progress(step)


def find_groups(
    lines: Sequence[str],
    scorer: str,
    threshold: float,
    progress: Callable[[int], None] = lambda n: None,
    method: str = "auto",
) -> list[list[int]]:
    """Groups (lists of line positions, each sorted, by first position) of lines joined by pairs at
    or above the threshold, or within the distance; the same groups as every pair would give."""
    # Repeated texts are scored once: a copy scores as its first occurrence against every other
    # text, and copies join each other when a text reaches the threshold against itself (not so
    # for an empty text under wratio, or a blank one under token_set).
    first: dict[str, int] = {}
    copies: list[tuple[int, int]] = []
    for i, line in enumerate(lines):
        j = first.setdefault(line, i)
        if j != i:
            copies.append((i, j))
    distinct = list(first)
    positions = list(first.values())
    groups = Groups(len(distinct))
    progress(len(copies))
    if scorer in DISTANCES:
        k = int(threshold)
        if k <= 1 and method != "blocks":
            dedupe_index(distinct, scorer, k, groups, progress)
        else:
            dedupe_blocks(distinct, scorer, threshold, groups, progress)
    elif scorer == "jaro_winkler":
        dedupe_blocks(distinct, scorer, threshold, groups, progress)
    else:
        dedupe_ratio(distinct, scorer, threshold, groups, progress)
    result = Groups(len(lines))
    joined = set()
    for members in groups.groups():
        joined.update(members)
        for m in members[1:]:
            result.union(positions[members[0]], positions[m])
    rank = {p: d for d, p in enumerate(positions)}
    for i, j in copies:
        if rank[j] in joined or self_match(scorer, lines[j], threshold):
            result.union(i, j)
    return result.groups()


def self_match(scorer: str, text: str, threshold: float) -> bool:
    if scorer in DISTANCES:
        return True
    if scorer == "jaro_winkler":
        return quillon.jaro_winkler_similarity(text, text) >= threshold
    return RATIO_SCORERS[scorer](text, text, threshold) >= threshold


# --- output ------------------------------------------------------------------------------------


def show(scorer: str, score: float) -> str:
    if scorer in DISTANCES:
        return str(score)
    return f"{score:.4f}" if scorer == "jaro_winkler" else f"{score:.2f}"


def progress_bar(args: argparse.Namespace, total: int, stderr: IO[str], unit: str) -> Any:
    wanted = args.progress or (
        total >= 2000 and not args.no_progress and hasattr(stderr, "isatty") and stderr.isatty()
    )
    if not wanted:
        return None
    try:
        from tqdm import tqdm
    except ImportError:
        if args.progress:
            print("quillon: --progress needs tqdm (pip install tqdm)", file=stderr)
        return None
    return tqdm(total=total, file=stderr, unit=unit, dynamic_ncols=True)


def run_match(args: argparse.Namespace, stdin: IO[bytes], stdout: IO[str], stderr: IO[str]) -> int:
    cutoff = parse_cutoff(args.scorer, args.cutoff, None)
    if args.limit < 1:
        raise CliError(f"bad --limit {args.limit}: give at least 1", USAGE_ERROR)
    lines = load(args, stdin, stderr)
    best = best_matches(args.scorer, args.query, lines, args.limit, cutoff)
    if args.format == "text":
        for choice, score, index in best:
            print(f"{show(args.scorer, score):>8}  {index + 1:>7}  {choice}", file=stdout)
    elif args.format == "csv":
        writer = csv.writer(stdout, lineterminator="\n")
        writer.writerow(["score", "line", "text"])
        writer.writerows([score, index + 1, choice] for choice, score, index in best)
    else:
        for choice, score, index in best:
            print(
                json.dumps({"score": score, "line": index + 1, "text": choice}, ensure_ascii=False),
                file=stdout,
            )
    return 0


DEDUPE_DEFAULTS = {"levenshtein": 1, "damerau": 1, "jaro_winkler": 0.95}


def run_dedupe(args: argparse.Namespace, stdin: IO[bytes], stdout: IO[str], stderr: IO[str]) -> int:
    threshold = parse_cutoff(args.scorer, args.threshold, DEDUPE_DEFAULTS.get(args.scorer, 90.0))
    assert threshold is not None
    lines = load(args, stdin, stderr)
    bar = progress_bar(args, len(lines), stderr, "lines")
    try:
        found = find_groups(lines, args.scorer, threshold, bar.update if bar else lambda n: None)
    finally:
        if bar is not None:
            bar.close()
    if args.format == "text":
        for number, group in enumerate(found, 1):
            print(f"group {number} ({len(group)} lines)", file=stdout)
            for i in group:
                print(f"  {i + 1:>7}  {lines[i]}", file=stdout)
    elif args.format == "csv":
        writer = csv.writer(stdout, lineterminator="\n")
        writer.writerow(["group", "line", "text"])
        for number, group in enumerate(found, 1):
            writer.writerows([number, i + 1, lines[i]] for i in group)
    else:
        for number, group in enumerate(found, 1):
            record = {"group": number, "lines": [i + 1 for i in group]}
            record["texts"] = [lines[i] for i in group]
            print(json.dumps(record, ensure_ascii=False), file=stdout)
    grouped = sum(len(g) for g in found)
    print(
        f"quillon: {len(found)} groups of near-duplicates, {grouped} of {len(lines)} lines "
        f"({args.scorer}, threshold {threshold:g})",
        file=stderr,
    )
    return 0


def run_cdist(args: argparse.Namespace, stdin: IO[bytes], stdout: IO[str], stderr: IO[str]) -> int:
    np = numpy()

    if os.path.exists(args.output) and not args.force:
        raise CliError(f"{args.output} exists; give --force to overwrite it", USAGE_ERROR)
    if args.a == "-" and args.b == "-":
        raise CliError("only one of A and B can be standard input", USAGE_ERROR)
    texts = []
    for path in (args.a, args.b):
        data, name = read_bytes(path, stdin)
        texts.append(split_lines(decode(data, args.encoding, name)))
    list_a, list_b = texts
    into = {
        "levenshtein": quillon.levenshtein_cdist_into,
        "damerau": quillon.damerau_levenshtein_cdist_into,
        "jaro_winkler": quillon.jaro_winkler_cdist_into,
    }[args.metric]
    dtype = np.float64 if args.metric == "jaro_winkler" else np.uint32
    # Written beside the target and renamed at the end, so a failed run leaves no partial matrix.
    partial = f"{args.output}.part{os.getpid()}"
    try:
        out = np.lib.format.open_memmap(
            partial, mode="w+", dtype=dtype, shape=(len(list_a), len(list_b))
        )
    except OSError as err:
        raise CliError(f"cannot write {args.output}: {err.strerror or err}") from None
    rows = max(1, min(len(list_a), (1 << 24) // max(1, len(list_b))))
    bar = progress_bar(args, len(list_a), stderr, "rows")
    try:
        for r0 in range(0, len(list_a), rows):
            r1 = min(len(list_a), r0 + rows)
            into(list_a[r0:r1], list_b, out[r0:r1])
            if bar is not None:
                bar.update(r1 - r0)
        out.flush()
        del out
        os.replace(partial, args.output)
    finally:
        if bar is not None:
            bar.close()
        if os.path.exists(partial):
            os.remove(partial)
    print(
        f"quillon: wrote {args.output}: {len(list_a)} x {len(list_b)} {np.dtype(dtype).name} "
        f"({args.metric})",
        file=stderr,
    )
    return 0


# --- arguments ---------------------------------------------------------------------------------


class Parser(argparse.ArgumentParser):
    """Usage errors exit with status 2 and one message, as argparse does, plus the valid choices."""

    def error(self, message: str) -> Any:
        raise CliError(f"{self.prog}: {message}", USAGE_ERROR)


def scorer_name(valid: Sequence[str], what: str) -> Callable[[str], str]:
    def check(value: str) -> str:
        if value not in valid:
            raise argparse.ArgumentTypeError(f"unknown {what} {value!r}; valid: {', '.join(valid)}")
        return value

    return check


def build_parser() -> Parser:
    parser = Parser(
        prog="quillon",
        description=f"Approximate string matching from the shell (quillon {quillon.__version__}).",
        epilog=EXAMPLE,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    commands = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=Parser)

    def common(sub: argparse.ArgumentParser, lists: bool = True, bars: bool = True) -> None:
        sub.add_argument("--encoding", default="utf-8", help="input encoding (default utf-8)")
        if bars:
            sub.add_argument(
                "--progress", action="store_true", help="progress bar even off a terminal"
            )
            sub.add_argument("--no-progress", action="store_true", help="no progress bar")
        if lists:
            sub.add_argument(
                "--column",
                help="read this CSV column (a header name, or a 0-based index) instead of lines; "
                "the first row is the header, and rows are numbered from 1 after it",
            )
            sub.add_argument("--format", choices=("text", "csv", "jsonl"), default="text")

    match = commands.add_parser(
        "match",
        help="best matches of QUERY among the lines of FILE",
        description="The best matches of QUERY among the lines of FILE (standard input for '-'"
        " or no FILE; the bundled sample when standard input is a terminal), best first, equal"
        " scores in line order. Lines are numbered from 1.",
        epilog=f"scorers: {SCORER_HELP}.",
    )
    match.add_argument("query")
    match.add_argument("file", nargs="?", metavar="FILE", help=FILE_HELP)
    match.add_argument(
        "--scorer",
        type=scorer_name(SCORERS, "scorer"),
        default="wratio",
        help=f"one of {', '.join(SCORERS)} (default wratio)",
    )
    match.add_argument("--limit", type=int, default=5, help="matches shown (default 5)")
    match.add_argument(
        "--cutoff", help="lowest score kept, or largest distance for levenshtein and damerau"
    )
    common(match, bars=False)  # one pass over the lines: nothing to watch

    dedupe = commands.add_parser(
        "dedupe",
        help="groups of near-duplicate lines",
        description="Groups of near-duplicate lines: lines joined, directly or through others,"
        " by pairs at or above the threshold (within the distance for levenshtein and damerau)."
        " Exact: the groups that scoring every pair would give. Empty lines take part like any"
        " other text.",
        epilog=f"scorers: {SCORER_HELP}. Defaults: --threshold 1 for levenshtein and damerau"
        " (damerau is the default scorer), 0.95 for jaro_winkler, 90 for the others. levenshtein"
        " and damerau within distance 0 or 1 use an exact index of text pieces and scale to"
        " millions of lines; beyond that they, ratio and jaro_winkler compare lines of compatible"
        " lengths in blocks;"
        " partial, token_sort, token_set, token and wratio compare every pair (thousands of"
        " lines).",
    )
    dedupe.add_argument("file", nargs="?", metavar="FILE", help=FILE_HELP)
    dedupe.add_argument(
        "--scorer",
        type=scorer_name(SCORERS, "scorer"),
        default="damerau",
        help=f"one of {', '.join(SCORERS)} (default damerau)",
    )
    dedupe.add_argument("--threshold", help="see the scorers below")
    common(dedupe)

    cdist = commands.add_parser(
        "cdist",
        help="a distance matrix of the lines of A against those of B, as a .npy file",
        description="The matrix of METRIC between every line of A (rows) and of B (columns),"
        " written block by block to a NumPy .npy file: uint32 distances for levenshtein and"
        " damerau, float64 similarities (0-1) for jaro_winkler.",
    )
    cdist.add_argument("a", metavar="A", help="rows: one text per line ('-': standard input)")
    cdist.add_argument("b", metavar="B", help="columns: one text per line")
    cdist.add_argument("-o", "--output", required=True, metavar="OUT.npy")
    cdist.add_argument(
        "--metric",
        type=scorer_name(METRICS, "metric"),
        default="levenshtein",
        help=f"one of {', '.join(METRICS)} (default levenshtein)",
    )
    cdist.add_argument("--force", action="store_true", help="overwrite OUT.npy if it exists")
    common(cdist, lists=False)
    return parser


def main(
    argv: Sequence[str] | None = None,
    stdin: IO[bytes] | None = None,
    stdout: IO[str] | None = None,
    stderr: IO[str] | None = None,
) -> int:
    stdin = stdin if stdin is not None else sys.stdin.buffer
    stdout = stdout if stdout is not None else sys.stdout
    stderr = stderr if stderr is not None else sys.stderr
    parser = build_parser()
    try:
        args = parser.parse_args(argv)
        if args.command is None:
            print(parser.format_help(), file=stdout, end="")
            return 0
        run = {"match": run_match, "dedupe": run_dedupe, "cdist": run_cdist}[args.command]
        return run(args, stdin, stdout, stderr)
    except CliError as err:
        print(f"error: {err}", file=stderr)
        return err.status
    except KeyboardInterrupt:
        print("quillon: interrupted", file=stderr)
        return 130
    except BrokenPipeError:
        # Output cut short by a closed pipe (`| head`) is not an error.
        sys.stdout = None
        return 0
