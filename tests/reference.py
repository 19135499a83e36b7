"""Plain textbook definitions that the module's routes are checked against."""


def levenshtein(a, b) -> int:
    """Full-matrix edit distance; a and b are sequences (str, bytes or lists of code points)."""
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def lcs_length(a, b) -> int:
    previous = [0] * (len(b) + 1)
    for ca in a:
        current = [0]
        for j, cb in enumerate(b, 1):
            current.append(previous[j - 1] + 1 if ca == cb else max(previous[j], current[j - 1]))
        previous = current
    return previous[-1]


def indel(a, b) -> int:
    return len(a) + len(b) - 2 * lcs_length(a, b)


def ratio(a: str, b: str, score_cutoff: float = 0.0) -> float:
    total = len(a) + len(b)
    if total == 0:
        return 100.0 if score_cutoff <= 100.0 else 0.0
    score = (1.0 - indel(a, b) / total) * 100.0
    return score if score_cutoff <= score else 0.0


def qratio(a: str, b: str, score_cutoff: float = 0.0) -> float:
    return 0.0 if not a or not b else ratio(a, b, score_cutoff)
