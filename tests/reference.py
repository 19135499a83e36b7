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


def jaro(a, b) -> float:
    """Flag-array Jaro: earliest free equal unit in the window, transpositions halved."""
    la, lb = len(a), len(b)
    if la == 0:
        return 1.0 if lb == 0 else 0.0
    if lb == 0:
        return 0.0
    if a == b:
        return 1.0
    w = max(max(la, lb) // 2 - 1, 0)
    flags_a, flags_b = [False] * la, [False] * lb
    m = 0
    for i in range(la):
        for j in range(max(i - w, 0), min(lb, i + w + 1)):
            if not flags_b[j] and a[i] == b[j]:
                flags_a[i] = flags_b[j] = True
                m += 1
                break
    if m == 0:
        return 0.0
    matched_b = [b[j] for j in range(lb) if flags_b[j]]
    t = sum(1 for x, y in zip((a[i] for i in range(la) if flags_a[i]), matched_b) if x != y)
    h = t // 2
    return ((m - h) / m + (m / la + m / lb)) / 3.0


def jaro_winkler(a, b, p: float = 0.1) -> float:
    if a == b:
        return 1.0
    j = jaro(a, b)
    if j < 0.7:
        return j
    prefix = 0
    for x, y in zip(a[:4], b[:4]):
        if x != y:
            break
        prefix += 1
    pc = min(0.25, max(0.0, p))
    return min((1.0 - j) * (prefix * pc) + j, 1.0)
