import csv
import io
import json
import os
import random
import subprocess
import sys

import pytest
import quillon
from quillon import cli

np = pytest.importorskip("numpy")


class Stdin(io.BytesIO):
    def __init__(self, data=b"", tty=False):
        super().__init__(data)
        self.tty = tty

    def isatty(self):
        return self.tty


def run(argv, data=b"", tty=False):
    out, err = io.StringIO(), io.StringIO()
    status = cli.main(argv, Stdin(data, tty), out, err)
    return status, out.getvalue(), err.getvalue()


def near_names(seed, n):
    """Short names and their edits: swaps, drops, doubles, accents, repeats and empty lines, so
    that groups chain through neighbours and the piece seams of the index are crossed."""
    rng = random.Random(seed)
    base = ["ann", "anna", "jon smith", "john smith", "josé", "jose", "x", "", "café au lait"]
    alphabet = "abcé s"
    while len(base) < n:
        word = "".join(rng.choice(alphabet) for _ in range(rng.randrange(0, 9)))
        base.append(word)
        if word and rng.random() < 0.6:
            i = rng.randrange(len(word))
            edits = [
                word[:i] + word[i + 1 :],
                word[:i] + rng.choice(alphabet) + word[i + 1 :],
                word[:i] + rng.choice(alphabet) + word[i:],
                word[:i] + word[i + 1 : i + 2] + word[i] + word[i + 2 :],
                word,
            ]
            base.append(rng.choice(edits))
    return base


PAIR_SCORE = {
    "levenshtein": quillon.levenshtein_distance,
    "damerau": quillon.damerau_levenshtein_distance,
    "jaro_winkler": quillon.jaro_winkler_similarity,
    **cli.RATIO_SCORERS,
}


def brute_groups(lines, scorer, threshold):
    groups = cli.Groups(len(lines))
    for i in range(len(lines)):
        for j in range(i + 1, len(lines)):
            score = PAIR_SCORE[scorer](lines[i], lines[j])
            if cli.keep(scorer, score, threshold):
                groups.union(i, j)
    return groups.groups()


@pytest.mark.parametrize(
    "scorer, threshold, method",
    [
        ("levenshtein", 0, "index"),
        ("levenshtein", 1, "index"),
        ("levenshtein", 1, "blocks"),
        ("levenshtein", 2, "auto"),
        ("levenshtein", 0, "blocks"),
        ("damerau", 1, "index"),
        ("damerau", 1, "blocks"),
        ("damerau", 2, "auto"),
        ("jaro_winkler", 0.9, "auto"),
        ("ratio", 80.0, "auto"),
        ("ratio", 0.0, "auto"),
        ("token_set", 90.0, "auto"),
        ("wratio", 85.0, "auto"),
    ],
)
@pytest.mark.parametrize("seed", [1, 2])
def test_dedupe_equals_every_pair(scorer, threshold, method, seed):
    lines = near_names(seed, 150)
    expected = brute_groups(lines, scorer, threshold)
    assert cli.find_groups(lines, scorer, threshold, method=method) == expected


def test_dedupe_blocks_cross_block_seams():
    # Blocks far smaller than the list: pairs must be found across row and column blocks.
    lines = near_names(3, 120)
    for scorer, threshold in [("levenshtein", 2), ("jaro_winkler", 0.85)]:
        groups = cli.Groups(len(lines))
        cli.dedupe_blocks(lines, scorer, threshold, groups, lambda n: None, rows=7, cols=11)
        assert groups.groups() == brute_groups(lines, scorer, threshold)


@pytest.mark.parametrize("fmt", ["text", "csv", "jsonl"])
def test_dedupe_formats(fmt):
    data = b"Jon Smith\nJohn Smith\nMary Jones\nJohn Smiht\nMary Jnoes\nzed\n"
    status, out, err = run(["dedupe", "--format", fmt], data)
    assert status == 0, err
    if fmt == "text":
        # Off a terminal the bar shows only when asked for (tqdm is in the test extra).
        assert "100%" not in err and "100%" in run(["dedupe", "--progress"], data)[2]
        assert out.splitlines()[0] == "group 1 (3 lines)"
        assert "John Smiht" in out and "zed" not in out
    elif fmt == "csv":
        rows = list(csv.reader(io.StringIO(out)))
        assert rows[0] == ["group", "line", "text"]
        assert rows[1:] == [
            ["1", "1", "Jon Smith"],
            ["1", "2", "John Smith"],
            ["1", "4", "John Smiht"],
            ["2", "3", "Mary Jones"],
            ["2", "5", "Mary Jnoes"],
        ]
    else:
        records = [json.loads(line) for line in out.splitlines()]
        assert records == [
            {"group": 1, "lines": [1, 2, 4], "texts": ["Jon Smith", "John Smith", "John Smiht"]},
            {"group": 2, "lines": [3, 5], "texts": ["Mary Jones", "Mary Jnoes"]},
        ]


@pytest.mark.parametrize("scorer", cli.SCORERS)
def test_match_orders_like_every_score(scorer):
    lines = near_names(4, 80)
    query = "john smith"
    scores = [PAIR_SCORE[scorer](query, line) for line in lines]
    sign = 1 if scorer in cli.DISTANCES else -1
    expected = sorted(range(len(lines)), key=lambda i: (sign * scores[i], i))[:7]
    got = cli.best_matches(scorer, query, lines, 7, None)
    assert [index for _, _, index in got] == expected
    assert [score for _, score, _ in got] == [scores[i] for i in expected]


def test_match_formats_cutoff_and_column():
    data = b"id,name\n1,Jon Smith\n2,John Smith\n3,Mary Jones\n"
    status, out, _ = run(
        [
            "match",
            "John Smith",
            "--column",
            "name",
            "--scorer",
            "levenshtein",
            "--cutoff",
            "1",
            "--format",
            "jsonl",
        ],
        data,
    )
    assert status == 0
    assert [json.loads(line) for line in out.splitlines()] == [
        {"score": 0, "line": 2, "text": "John Smith"},
        {"score": 1, "line": 1, "text": "Jon Smith"},
    ]
    status, out, _ = run(
        [
            "match",
            "Mary",
            "--column",
            "1",
            "--scorer",
            "partial",
            "--format",
            "csv",
            "--limit",
            "1",
        ],
        data,
    )
    assert (status, out) == (0, "score,line,text\n100.0,3,Mary Jones\n")
    status, out, _ = run(
        ["match", "mary jones", "--scorer", "ratio", "--cutoff", "50"],
        b"x\nMary Jones\nmary jones\n",
    )
    assert [line.split()[1] for line in out.splitlines()] == ["3", "2"]


def test_sample_on_terminal():
    status, out, err = run(["match", "Jon Smith", "--limit", "3"], tty=True)
    assert status == 0 and "bundled sample" in err
    assert len(out.splitlines()) == 3
    lines = cli.sample_lines()
    assert 2000 <= len(lines) <= 10000 and all(line.strip() for line in lines)


def test_cdist_writes_matrix(tmp_path):
    a, b = near_names(5, 40), near_names(6, 30)
    (tmp_path / "a.txt").write_text("".join(t + "\n" for t in a), encoding="utf-8")
    (tmp_path / "b.txt").write_text("".join(t + "\n" for t in b), encoding="utf-8")
    for metric, dtype in [
        ("levenshtein", np.uint32),
        ("damerau", np.uint32),
        ("jaro_winkler", np.float64),
    ]:
        out = tmp_path / f"{metric}.npy"
        status, _, err = run(
            [
                "cdist",
                str(tmp_path / "a.txt"),
                str(tmp_path / "b.txt"),
                "-o",
                str(out),
                "--metric",
                metric,
            ]
        )
        assert status == 0, err
        matrix = np.load(out)
        assert matrix.dtype == dtype
        assert matrix.tolist() == [[PAIR_SCORE[metric](x, y) for y in b] for x in a]
    assert sorted(os.listdir(tmp_path)) == [
        "a.txt",
        "b.txt",
        "damerau.npy",
        "jaro_winkler.npy",
        "levenshtein.npy",
    ]


def test_errors(tmp_path):
    target = tmp_path / "out.npy"
    target.write_bytes(b"keep")
    names = tmp_path / "names.txt"
    names.write_text("a\nb\n")
    bad = tmp_path / "bad.txt"
    bad.write_bytes(b"fine\nalso fine\ncaf\xe9\n")
    cases = [
        (["match", "x", str(tmp_path / "missing.txt")], 1, "cannot read"),
        (["dedupe", str(bad)], 1, "line 3: byte 0xe9 (byte 4 of the line) is not valid utf-8"),
        (["match", "x", "--scorer", "nope"], 2, "valid: ratio, partial, token_sort"),
        (
            ["cdist", str(names), str(names), "-o", str(target), "--metric", "ratio"],
            2,
            "valid: levenshtein, damerau, jaro_winkler",
        ),
        (["dedupe", "--scorer", "ratio", "--threshold", "150"], 2, "bad threshold '150'"),
        (["dedupe", "--scorer", "levenshtein", "--threshold", "1.5"], 2, "an integer >= 0"),
        (["match", "x", "--cutoff", "abc"], 2, "not a number"),
        (["dedupe", "--encoding", "nope"], 2, "unknown encoding"),
        (["match", "x", "--column", "missing"], 2, "no column 'missing'"),
        (["cdist", str(names), str(names), "-o", str(target)], 2, "--force"),
        (["frobnicate"], 2, "invalid choice"),
    ]
    for argv, status, message in cases:
        got, out, err = run(argv, b"name\nx\n")
        assert (got, out) == (status, ""), argv
        assert message in err and "Traceback" not in err, err
    assert target.read_bytes() == b"keep"
    assert run(["dedupe", str(bad), "--encoding", "latin-1"])[0] == 0
    status, _, _ = run(["cdist", str(names), str(names), "-o", str(target), "--force"])
    assert status == 0 and np.load(target).tolist() == [[0, 1], [1, 0]]


def test_module_entry_point(tmp_path):
    usage = subprocess.run(
        [sys.executable, "-m", "quillon"], capture_output=True, text=True, cwd=tmp_path
    )
    assert usage.returncode == 0 and "match" in usage.stdout and "example" in usage.stdout
    failed = subprocess.run(
        [sys.executable, "-m", "quillon", "dedupe", "missing.txt"],
        capture_output=True,
        text=True,
        cwd=tmp_path,
    )
    assert failed.returncode == 1 and failed.stderr.startswith("error: cannot read missing.txt")
    piped = subprocess.run(
        [sys.executable, "-m", "quillon", "match", "ana", "--limit", "1", "--scorer", "damerau"],
        input="anna\nbob\n",
        capture_output=True,
        text=True,
        cwd=tmp_path,
    )
    assert (piped.returncode, piped.stdout.split()) == (0, ["1", "1", "anna"])
