"""Every function of quillon once, by family: `python examples/every_function.py` prints what each
returns, and CI type-checks this file with `mypy --strict` against the package's stubs."""

import numpy as np
import quillon

names = ["Jonathan Smith", "Jonathon Smyth", "Joanna Smithe", "J. Smith", "Smith, Jonathan"]
query = "Jonathan Smith"

# Edit distances: Levenshtein and unrestricted Damerau-Levenshtein, in four forms each.
distance: int = quillon.levenshtein_distance("kitten", "sitting")
myers: int = quillon.levenshtein_myers("kitten", "sitting")  # the ASCII byte route
row: list[int] = quillon.levenshtein_batch(query, names)
matrix: list[list[int]] = quillon.levenshtein_cdist(names, names)
out_row = np.empty(len(names), np.uint32)
quillon.levenshtein_batch_into(query, names, out_row)
out_matrix = np.empty((len(names), len(names)), np.uint32)
quillon.levenshtein_cdist_into(names, names, out_matrix)
print("levenshtein", distance, myers, row, out_matrix[0].tolist() == matrix[0])

transposed: int = quillon.damerau_levenshtein_distance("ca", "abc")
damerau_row: list[int] = quillon.damerau_levenshtein_batch(query, names)
damerau_matrix: list[list[int]] = quillon.damerau_levenshtein_cdist(names, names)
quillon.damerau_levenshtein_batch_into(query, names, out_row)
quillon.damerau_levenshtein_cdist_into(names, names, out_matrix)
damerau_ratio: float = quillon.damerau_ratio("martha", "marhta")
print("damerau", transposed, damerau_row, damerau_matrix[1][0], round(damerau_ratio, 2))

# Jaro and Jaro-Winkler similarities in [0, 1]; p is Winkler's prefix scale.
jaro: float = quillon.jaro_similarity("martha", "marhta")
jaro_ascii: float = quillon.jaro_optimized("martha", "marhta")
winkler: float = quillon.jaro_winkler_similarity("martha", "marhta", 0.1)
winkler_row: list[float] = quillon.jaro_winkler_batch_fn(query, names)
winkler_matrix: list[list[float]] = quillon.jaro_winkler_cdist(names, names, 0.2)
out_scores = np.empty(len(names))
quillon.jaro_winkler_batch_into(query, names, out_scores)
out_similarities = np.empty((len(names), len(names)))
quillon.jaro_winkler_cdist_into(names, names, out_similarities, 0.2)
print("jaro", round(jaro, 4), jaro == jaro_ascii, round(winkler, 4), len(winkler_matrix))

# Ratio scorers, 0 to 100, each with an optional cut-off below which it gives 0.0.
a, b = "new york mets", "new york meats"
scores: dict[str, float] = {
    "ratio": quillon.fuzz_ratio(a, b),
    "qratio": quillon.fuzz_qratio(a, b, 50.0),
    "partial": quillon.fuzz_partial_ratio("york", b),
    "token_sort": quillon.fuzz_token_sort_ratio("mets new york", b),
    "token_set": quillon.fuzz_token_set_ratio("york mets", b),
    "token": quillon.fuzz_token_ratio(a, b),
    "partial_token_sort": quillon.fuzz_partial_token_sort_ratio(a, b),
    "partial_token_set": quillon.fuzz_partial_token_set_ratio(a, b),
    "partial_token": quillon.fuzz_partial_token_ratio(a, b),
    "wratio": quillon.fuzz_wratio(a, b),
}
alignment: tuple[float, int, int, int, int] = quillon.fuzz_partial_ratio_alignment("york", b)
print("ratios", {k: round(v, 2) for k, v in scores.items()}, alignment)

# Extraction: best matches first, equal scores in list order.
ratios: list[float] = quillon.fuzz_ratio_batch(query, names)
best: list[tuple[str, float, int]] = quillon.fuzz_extract(query, names, 60.0, 3)
first: tuple[str, float, int] | None = quillon.fuzz_extract_one("J Smyth", names)
print("extract", [round(r, 1) for r in ratios], best, first)

# Global alignment scores: all scores are added, so gap penalties are negative.
linear: int = quillon.needleman_wunsch_score("GATTACA", "GCATGCU", 1, -1, -1)
striped: int = quillon.needleman_wunsch_striped("GATTACA", "GCATGCU", 1, -1, -1)
affine: int = quillon.needleman_wunsch_affine("GATTACA", "GCATGCU", 1, -1, -3, -1)
linear_row: list[int] = quillon.needleman_wunsch_batch_fn(
    "GATTACA", ["GCATGCU", "GATACA"], 1, -1, -1
)
affine_row: list[int] = quillon.needleman_wunsch_affine_batch(
    "GATTACA", ["GCATGCU", "GATACA"], 1, -1, -3, -1
)
print("needleman_wunsch", linear, striped, affine, linear_row, affine_row)

# Hardware controls: this build computes on the CPU only.
quillon.set_cpu_only(True)
quillon.set_gpu_threshold(None)
gpu: bool = quillon.is_gpu_available()
warm: tuple[bool, str] = quillon.warmup()
info: str = quillon.gpu_info()
hardware: str = quillon.hardware_info()
print("hardware", gpu, warm, info, hardware)
