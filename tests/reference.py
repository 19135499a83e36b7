"""Plain textbook definitions that the module's routes are checked against."""

import math
import re


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
    if not la or not lb:
        return float(la == lb)
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
    return winkler(jaro(a, b), a, b, p)


def winkler(j: float, a, b, p: float) -> float:
    """Jaro-Winkler from the Jaro value j of a and b."""
    if j < 0.7:
        return j
    prefix = 0
    while prefix < min(4, len(a), len(b)) and a[prefix] == b[prefix]:
        prefix += 1
    pc = min(0.25, max(0.0, p))
    return min((1.0 - j) * (prefix * pc) + j, 1.0)


def _bisection_order(count):
    """Start positions 0..count-1 in the order the full-window search first visits them when
    nothing is pruned: both ends, then midpoints of the ranges pass by pass, left first."""
    order, seen = [], set()
    pairs = [(0, count - 1)]
    while pairs:
        following = []
        for f, s in pairs:
            for p in (f, s):
                if p not in seen:
                    seen.add(p)
                    order.append(p)
            diff = s - f
            if diff > 1:
                following += [(f, f + diff // 2), (f + diff // 2, s)]
        pairs = following
    return order


def partial_window(needle, haystack, cutoff, distance=indel):
    """The window search without pruning: every full window is scored, and the reported one
    is the first in visit order with the least distance below the cut-off distance."""

    n, h = len(needle), len(haystack)
    best_score, best_window = 0.0, (0, n)
    if h > n:
        norm = (cutoff / -100.0 + 1.0) + 0.00001
        if not norm < 1.0:
            norm = 1.0
        limit = max(math.ceil(norm * (2 * n)), 0)
        distances = {p: distance(needle, haystack[p : p + n]) for p in range(h - n)}
        order = _bisection_order(h - n)
        least = min(distances.values())
        if least < limit:
            start = next(p for p in order if distances[p] == least)
            if least == 0:
                return 100.0, start, start + n
            best_window = (start, start + n)
            score = (1.0 - least / (2 * n)) * 100.0
            if score >= cutoff:
                cutoff = best_score = score
    for i in range(1, n):
        if haystack[i - 1] not in needle:
            continue
        r = (1.0 - distance(needle, haystack[:i]) / (n + i)) * 100.0
        r = r if cutoff <= r else 0.0
        if r > best_score:
            if r == 100.0:
                return 100.0, 0, i
            best_score, best_window, cutoff = r, (0, i), r
    for i in range(h - n, h):
        if haystack[i] not in needle:
            continue
        r = (1.0 - distance(needle, haystack[i:]) / (n + h - i)) * 100.0
        r = r if cutoff <= r else 0.0
        if r > best_score:
            best_score, best_window, cutoff = r, (i, h), r
            if r == 100.0:
                break
    return (best_score, *best_window)


def partial_alignment(a, b, cutoff=0.0, distance=indel):
    """(score, src_start, src_end, dest_start, dest_end); src always describes a."""

    if len(a) > len(b):
        score, ds, de, ss, se = partial_alignment(b, a, cutoff, distance)
        return score, ss, se, ds, de
    if cutoff > 100.0:
        return 0.0, 0, len(a), 0, len(a)
    if not a:
        return (100.0 if not b else 0.0), 0, 0, 0, 0
    score, start, end = partial_window(a, b, cutoff, distance)
    result = (score, 0, len(a), start, end)
    if len(a) != len(b) or score == 100.0:
        return result
    raised = score if math.isnan(cutoff) else cutoff if math.isnan(score) else max(cutoff, score)
    other, ostart, oend = partial_window(b, a, raised, distance)
    if other > score:
        result = (other, ostart, oend, 0, len(a))
    return result


def damerau(a, b) -> int:
    """Unrestricted Damerau-Levenshtein (Lowrance-Wagner) on a full matrix."""
    inf = len(a) + len(b)
    d = [[inf] * (len(b) + 2)] + [[inf] + [0] * (len(b) + 1) for _ in range(len(a) + 1)]
    for i in range(len(a) + 1):
        d[i + 1][1] = i
    for j in range(len(b) + 1):
        d[1][j + 1] = j
    last = {}
    for i in range(1, len(a) + 1):
        db = 0
        for j in range(1, len(b) + 1):
            k, l = last.get(b[j - 1], 0), db
            cost = 0 if a[i - 1] == b[j - 1] else 1
            if cost == 0:
                db = j
            d[i + 1][j + 1] = min(
                d[i][j] + cost,
                d[i + 1][j] + 1,
                d[i][j + 1] + 1,
                d[k][l] + (i - k - 1) + 1 + (j - l - 1) if k and l else inf,
            )
        last[a[i - 1]] = i
    return d[len(a) + 1][len(b) + 1]


INT64_MIN, INT64_MAX = -(2**63), 2**63 - 1


def clamp64(x: int) -> int:
    return max(INT64_MIN, min(INT64_MAX, x))


def nw_linear(a, b, match, mismatch, gap) -> int:
    """Full-matrix global alignment score; each sum saturates at the signed 64-bit limits."""
    if not a:
        return clamp64(len(b) * gap)
    if not b:
        return clamp64(len(a) * gap)
    if a == b:
        return clamp64(len(a) * match)
    rows = [[clamp64(j * gap) for j in range(len(b) + 1)]]
    for i in range(1, len(a) + 1):
        row = [clamp64(i * gap)]
        for j in range(1, len(b) + 1):
            diagonal = clamp64(rows[-1][j - 1] + (match if a[i - 1] == b[j - 1] else mismatch))
            row.append(max(diagonal, clamp64(rows[-1][j] + gap), clamp64(row[j - 1] + gap)))
        rows.append(row)
    return rows[-1][-1]


def nw_affine(a, b, match, mismatch, gap_open, gap_extend) -> int:
    """Gotoh's three-state recurrence on full matrices, saturating, NEG = -2**61."""
    neg = -(2**61)
    la, lb = len(a), len(b)

    def run(k):
        return clamp64(gap_open + clamp64(k * gap_extend))

    def oe(x):  # open and extend
        return clamp64(clamp64(x + gap_open) + gap_extend)

    if not a and not b:
        return 0
    if not a:
        return run(lb)
    if not b:
        return run(la)
    if a == b:
        return clamp64(la * match)
    M = [[neg] * (lb + 1) for _ in range(la + 1)]
    P = [[neg] * (lb + 1) for _ in range(la + 1)]
    Q = [[neg] * (lb + 1) for _ in range(la + 1)]
    M[0][0] = 0
    for j in range(1, lb + 1):
        M[0][j] = Q[0][j] = run(j)
    for i in range(1, la + 1):
        M[i][0] = P[i][0] = run(i)
        for j in range(1, lb + 1):
            pair = match if a[i - 1] == b[j - 1] else mismatch
            M[i][j] = clamp64(pair + max(M[i - 1][j - 1], P[i - 1][j - 1], Q[i - 1][j - 1]))
            P[i][j] = max(oe(M[i - 1][j]), clamp64(P[i - 1][j] + gap_extend), oe(Q[i - 1][j]))
            Q[i][j] = max(oe(M[i][j - 1]), clamp64(Q[i][j - 1] + gap_extend), oe(P[i][j - 1]))
    return max(M[la][lb], P[la][lb], Q[la][lb])


# Code points with the Unicode White_Space property. The information separators U+001C..U+001F,
# which str.split() also splits at, are not among them.
WHITE_SPACE = frozenset(
    chr(c)
    for c in [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B)]
    + [0x2028, 0x2029, 0x202F, 0x205F, 0x3000]
)


def byte_order(tokens):
    return sorted(tokens, key=lambda t: t.encode())


_SEPARATORS = re.compile("[" + "".join(map(re.escape, sorted(WHITE_SPACE))) + "]+")


def sorted_split(text: str) -> list:
    return byte_order(token for token in _SEPARATORS.split(text) if token)


def set_decomposition(ta, tb):
    a, b = set(ta), set(tb)
    return byte_order(a & b), byte_order(a - b), byte_order(b - a)


def max_nan_loses(x: float, y: float) -> float:
    if math.isnan(x):
        return y
    if math.isnan(y):
        return x
    return y if y > x else x


def ceil_to_u64(x: float) -> int:
    if math.isnan(x) or x <= 0.0:
        return 0
    if math.isinf(x):
        return 2**64 - 1
    return min(math.ceil(x), 2**64 - 1)


def token_sort_ratio(a: str, b: str, c: float = 0.0) -> float:
    if c > 100.0:
        return 0.0
    return ratio(" ".join(sorted_split(a)), " ".join(sorted_split(b)), c)


def set_comparison(decomposition, c):
    """(r0 or None when the distance bound excludes it, r1, r2); r1 and r2 None without a
    shared token."""
    intersection, diff_ab, diff_ba = decomposition
    ab, ba = " ".join(diff_ab), " ".join(diff_ba)
    sect = len(" ".join(intersection))
    sep = 1 if sect > 0 else 0
    dist = indel(ab, ba)
    len_ab, len_ba = sect + sep + len(ab), sect + sep + len(ba)
    total = len_ab + len_ba
    r0 = None
    if ceil_to_u64((c / -100.0 + 1.0) * total) >= dist:
        r0 = 100.0 if total == 0 else 100.0 - (dist * 100.0) / total
        r0 = r0 if r0 >= c else 0.0
    if sect == 0:
        return r0, None, None
    r1 = 100.0 - ((len(ab) + 1) * 100.0) / (sect + len_ab)
    r2 = 100.0 - ((len(ba) + 1) * 100.0) / (sect + len_ba)
    return r0, (r1 if c <= r1 else 0.0), (r2 if c <= r2 else 0.0)


def contained(decomposition) -> bool:
    intersection, diff_ab, diff_ba = decomposition
    return bool(intersection) and (not diff_ab or not diff_ba)


def token_set_ratio(a: str, b: str, c: float = 0.0) -> float:
    if c > 100.0:
        return 0.0
    ta, tb = sorted_split(a), sorted_split(b)
    if not ta or not tb:
        return 0.0
    d = set_decomposition(ta, tb)
    if contained(d):
        return 100.0
    r0, r1, r2 = set_comparison(d, c)
    r0 = 0.0 if r0 is None else r0
    if r1 is None:
        return r0
    return max_nan_loses(max_nan_loses(r0, r1), r2)


def token_ratio(a: str, b: str, c: float = 0.0) -> float:
    if c > 100.0:
        return 0.0
    ta, tb = sorted_split(a), sorted_split(b)
    d = set_decomposition(ta, tb)
    if contained(d):
        return 100.0
    best = ratio(" ".join(ta), " ".join(tb), c)
    for score in set_comparison(d, c):
        if score is not None:
            best = max_nan_loses(best, score)
    return best


# The partial forms take the partial ratio as `partial(a, b, c) -> score`.


def partial_token_sort_ratio(a: str, b: str, c: float, partial) -> float:
    if c > 100.0:
        return 0.0
    return partial(" ".join(sorted_split(a)), " ".join(sorted_split(b)), c)


def partial_token_set_ratio(a: str, b: str, c: float, partial) -> float:
    if c > 100.0:
        return 0.0
    ta, tb = sorted_split(a), sorted_split(b)
    if not ta or not tb:
        return 0.0
    intersection, diff_ab, diff_ba = set_decomposition(ta, tb)
    if intersection:
        return 100.0
    return partial(" ".join(diff_ab), " ".join(diff_ba), c)


def partial_token_ratio(a: str, b: str, c: float, partial) -> float:
    if c > 100.0:
        return 0.0
    ta, tb = sorted_split(a), sorted_split(b)
    intersection, diff_ab, diff_ba = set_decomposition(ta, tb)
    if intersection:
        return 100.0
    p1 = partial(" ".join(ta), " ".join(tb), c)
    if len(ta) == len(diff_ab) and len(tb) == len(diff_ba):
        return p1
    p2 = partial(" ".join(diff_ab), " ".join(diff_ba), max_nan_loses(c, p1))
    return max_nan_loses(p1, p2)


def wratio(a: str, b: str, c: float, partial) -> float:
    if c > 100.0:
        return 0.0
    if not a or not b:
        return 0.0
    len_ratio = max(len(a), len(b)) / min(len(a), len(b))
    end = ratio(a, b, c)
    if len_ratio < 1.5:
        c1 = max_nan_loses(c, end) / 0.95
        return max_nan_loses(end, token_ratio(a, b, c1) * 0.95)
    w = 0.6 if len_ratio > 8.0 else 0.9
    c1 = max_nan_loses(c, end) / w
    end = max_nan_loses(end, partial(a, b, c1) * w)
    c2 = max_nan_loses(c1, end) / 0.95
    return max_nan_loses(end, partial_token_ratio(a, b, c2, partial) * 0.95 * w)
