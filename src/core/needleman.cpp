// Needleman-Wunsch: one row for linear gaps, Gotoh's three rows for affine gaps.
#include "needleman.hpp"

#include <algorithm>

#include "pool.hpp"
#include "saturating.hpp"

namespace quillon {

namespace {

// NEG marks unreachable states; at -2^61 a few additions cannot reach the saturation limit.
constexpr std::int64_t neg = -2305843009213693952;

template <class Unit>
std::int64_t linear(std::span<const Unit> a, std::span<const Unit> b, const LinearScores& s) {
    const std::size_t la = a.size(), lb = b.size();
    if (la == 0) return sat::mul(lb, s.gap);
    if (lb == 0) return sat::mul(la, s.gap);
    if (std::ranges::equal(a, b)) return sat::mul(la, s.match);
    std::vector<std::int64_t> row(lb + 1);
    for (std::size_t j = 0; j <= lb; ++j) row[j] = sat::mul(j, s.gap);
    for (std::size_t i = 1; i <= la; ++i) {
        std::int64_t diag = row[0];
        row[0] = sat::mul(i, s.gap);
        for (std::size_t j = 1; j <= lb; ++j) {
            const std::int64_t pair = a[i - 1] == b[j - 1] ? s.match : s.mismatch;
            const std::int64_t up = row[j];
            row[j] =
                std::max({sat::add(diag, pair), sat::add(up, s.gap), sat::add(row[j - 1], s.gap)});
            diag = up;
        }
    }
    return row[lb];
}

template <class Unit>
std::int64_t affine(std::span<const Unit> a, std::span<const Unit> b, const AffineScores& s) {
    const std::size_t la = a.size(), lb = b.size();
    const std::int64_t o = s.gap_open, e = s.gap_extend;
    auto gap_run = [&](std::size_t k) { return sat::add(o, sat::mul(k, e)); };
    if (la == 0 && lb == 0) return 0;
    if (la == 0) return gap_run(lb);
    if (lb == 0) return gap_run(la);
    if (std::ranges::equal(a, b)) return sat::mul(la, s.match);
    std::vector<std::int64_t> m(lb + 1, neg), p(lb + 1, neg), q(lb + 1, neg);
    m[0] = 0;  // the corner, as the diagonal of the first row
    for (std::size_t j = 1; j <= lb; ++j) m[j] = q[j] = gap_run(j);
    auto open_extend = [&](std::int64_t x) { return sat::add(sat::add(x, o), e); };
    for (std::size_t i = 1; i <= la; ++i) {
        std::int64_t dm = m[0], dp = p[0], dq = q[0];
        m[0] = p[0] = gap_run(i);
        q[0] = neg;
        for (std::size_t j = 1; j <= lb; ++j) {
            const std::int64_t pair = a[i - 1] == b[j - 1] ? s.match : s.mismatch;
            const std::int64_t um = m[j], up = p[j], uq = q[j];
            m[j] = sat::add(pair, std::max({dm, dp, dq}));
            p[j] = std::max({open_extend(um), sat::add(up, e), open_extend(uq)});
            q[j] = std::max({open_extend(m[j - 1]), sat::add(q[j - 1], e), open_extend(p[j - 1])});
            dm = um;
            dp = up;
            dq = uq;
        }
    }
    return std::max({m[lb], p[lb], q[lb]});
}

// Bytes when both texts are ASCII, else scalar values.
template <class Fn>
std::int64_t on_units(TextSlice a, TextSlice b, Fn&& fn) {
    if (is_ascii(a) && is_ascii(b)) {
        return fn(std::span(a.bytes(), a.size), std::span(b.bytes(), b.size));
    }
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return fn(std::span<const std::uint32_t>(sa), std::span<const std::uint32_t>(sb));
}

}  // namespace

std::int64_t needleman_wunsch(TextSlice a, TextSlice b, const LinearScores& scores) {
    return on_units(a, b, [&](auto x, auto y) { return linear(x, y, scores); });
}

std::int64_t needleman_wunsch_affine(TextSlice a, TextSlice b, const AffineScores& scores) {
    return on_units(a, b, [&](auto x, auto y) { return affine(x, y, scores); });
}

std::vector<std::int64_t> needleman_wunsch_batch(TextSlice query,
                                                 std::span<const TextSlice> candidates,
                                                 const LinearScores& scores) {
    return pool::map(
        candidates.size(),
        [&](std::size_t i) { return needleman_wunsch(query, candidates[i], scores); },
        pool::min_pairs_per_piece);
}

std::vector<std::int64_t> needleman_wunsch_affine_batch(TextSlice query,
                                                        std::span<const TextSlice> candidates,
                                                        const AffineScores& scores) {
    return pool::map(
        candidates.size(),
        [&](std::size_t i) { return needleman_wunsch_affine(query, candidates[i], scores); },
        pool::min_pairs_per_piece);
}

namespace simd {

std::int64_t needleman_wunsch_striped(TextSlice a, TextSlice b, const LinearScores& s) {
    const std::uint8_t *pa = a.bytes(), *pb = b.bytes();
    const std::size_t la = a.size, lb = b.size;
    if (la == 0) return sat::mul(lb, s.gap);
    if (lb == 0) return sat::mul(la, s.gap);
    if (a == b) return sat::mul(la, s.match);
    std::vector<std::int64_t> row(lb + 1);
    for (std::size_t j = 0; j <= lb; ++j) row[j] = sat::mul(j, s.gap);
    std::int64_t* r = row.data();
    for (std::size_t i = 1; i <= la; ++i) {
        const std::uint8_t c = pa[i - 1];
        std::int64_t diag = r[0];
        r[0] = sat::mul(i, s.gap);
        // One cell in the same order as the plain loop; blocks of 8 only remove loop overhead.
        auto cell = [&](std::size_t j) {
            const std::int64_t up = r[j];
            const std::int64_t pair = c == pb[j - 1] ? s.match : s.mismatch;
            r[j] = std::max({sat::add(up, s.gap), sat::add(diag, pair), sat::add(r[j - 1], s.gap)});
            diag = up;
        };
        std::size_t j = 1;
        for (; j + 8 <= lb + 1; j += 8) {
            cell(j), cell(j + 1), cell(j + 2), cell(j + 3);
            cell(j + 4), cell(j + 5), cell(j + 6), cell(j + 7);
        }
        for (; j <= lb; ++j) cell(j);
    }
    return r[lb];
}

}  // namespace simd

}  // namespace quillon
