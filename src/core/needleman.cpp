// Needleman-Wunsch: one row for linear gaps, Gotoh's three rows for affine gaps, in saturating
// 64-bit cells; and the same recurrences in 16- or 32-bit lanes wherever a bound computed
// before the run shows that no cell can come near the narrow limits.
#include "needleman.hpp"

#include <algorithm>

#include "pool.hpp"
#include "saturating.hpp"
#include "simd/isa.hpp"

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

template <class Unit>
std::int64_t rows(std::span<const Unit> a, std::span<const Unit> b, const LinearScores& s) {
    return linear(a, b, s);
}
template <class Unit>
std::int64_t rows(std::span<const Unit> a, std::span<const Unit> b, const AffineScores& s) {
    return affine(a, b, s);
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

// ---- Narrow lanes ----
//
// Every cell of an la x lb alignment is the score of a path of at most la + lb steps, and every
// sum taken before a maximum adds one step more. A linear step adds match, mismatch or gap; an
// affine step adds a pair score or a gap unit with at most one opening. So no value reachable
// from the corner exceeds (la + lb + 1) * step in magnitude, where step is the largest |score|
// (linear) or max(|match|, |mismatch|) + |open| + |extend| (affine). Under 2^14 the 16-bit
// lanes hold every such value and the unreachable value -2^15 stays below them after the one
// addition it ever takes before losing a maximum; under 2^29 the 32-bit lanes do the same with
// -2^30. The saturating 64-bit route then never saturates either, so both compute the same
// exact maximum; beyond 2^29 the 64-bit route runs.
constexpr std::uint64_t limit16 = (std::uint64_t{1} << 14) - 1;
constexpr std::uint64_t limit32 = (std::uint64_t{1} << 29) - 1;

std::uint64_t magnitude(std::int64_t v) noexcept {
    return v < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

std::uint64_t step_of(const LinearScores& s) noexcept {
    return std::max({magnitude(s.match), magnitude(s.mismatch), magnitude(s.gap)});
}

std::uint64_t step_of(const AffineScores& s) noexcept {
    std::uint64_t step = std::max(magnitude(s.match), magnitude(s.mismatch)), sum = 0;
    for (const std::int64_t v : {s.gap_open, s.gap_extend}) {
        if (__builtin_add_overflow(step, magnitude(v), &sum)) return ~std::uint64_t{0};
        step = sum;
    }
    return step;
}

// 16 or 32 for the narrowest lanes that hold an la x lb alignment, else 64.
int lane_bits(std::size_t la, std::size_t lb, std::uint64_t step) noexcept {
    std::uint64_t bound = 0;
    if (__builtin_mul_overflow(std::uint64_t{la} + lb + 1, step, &bound)) return 64;
    return bound <= limit16 ? 16 : bound <= limit32 ? 32 : 64;
}

// Within the limits every score fits an int32, and so does open + extend.
simd::nw::Scores lane_scores(const LinearScores& s) noexcept {
    return {static_cast<std::int32_t>(s.match),
            static_cast<std::int32_t>(s.mismatch),
            static_cast<std::int32_t>(s.gap),
            0,
            0,
            0};
}
simd::nw::Scores lane_scores(const AffineScores& s) noexcept {
    return {static_cast<std::int32_t>(s.match),
            static_cast<std::int32_t>(s.mismatch),
            0,
            static_cast<std::int32_t>(s.gap_open),
            static_cast<std::int32_t>(s.gap_extend),
            static_cast<std::int32_t>(s.gap_open + s.gap_extend)};
}

constexpr bool is_affine(const LinearScores&) { return false; }
constexpr bool is_affine(const AffineScores&) { return true; }

// 16-bit codes that keep equality between the units of `a` (the text that stays whole: the
// pair's first text, the batch's query) and any other unit. While a's largest unit is below
// 0xFFFF a unit is its own code and every larger one becomes 0xFFFF; otherwise a's distinct
// units are numbered from 1 and every other unit is 0 (at most 2^14 units fit 16-bit lanes,
// so the numbers fit).
class Codes16 {
  public:
    explicit Codes16(std::span<const std::uint32_t> a) {
        const std::uint32_t top = a.empty() ? 0 : *std::ranges::max_element(a);
        if (top < 0xFFFF) {
            top_ = top;
            return;
        }
        alphabet_.assign(a.begin(), a.end());
        std::ranges::sort(alphabet_);
        alphabet_.erase(std::unique(alphabet_.begin(), alphabet_.end()), alphabet_.end());
    }
    std::uint16_t operator()(std::uint32_t unit) const noexcept {
        if (alphabet_.empty()) return static_cast<std::uint16_t>(unit <= top_ ? unit : 0xFFFF);
        const auto at = std::ranges::lower_bound(alphabet_, unit);
        if (at == alphabet_.end() || *at != unit) return 0;
        return static_cast<std::uint16_t>(at - alphabet_.begin() + 1);
    }

  private:
    std::uint32_t top_ = 0;
    std::vector<std::uint32_t> alphabet_;
};

// A text's units as scalar values: bytes widened when the text is ASCII, else decoded.
Scalars units_of(TextSlice text) {
    if (!is_ascii(text)) return decode_utf8(text);
    return Scalars(text.bytes(), text.bytes() + text.size);
}

// One pair in lanes of `Bits`; la, lb >= 1 and the bound holds. Bytes are their own codes.
template <int Bits, class Unit, class S>
std::int64_t pair_in_lanes(std::span<const Unit> a, std::span<const Unit> b, const S& s,
                           const simd::nw::Table& t) {
    using Cell = std::conditional_t<Bits == 16, std::int16_t, std::int32_t>;
    using Code = std::conditional_t<Bits == 16, std::uint16_t, std::uint32_t>;
    const std::size_t lanes = Bits == 16 ? t.lanes16 : t.lanes32;
    std::vector<Code> ca(a.size() + lanes), cb(b.size() + lanes);
    if constexpr (Bits == 16 && sizeof(Unit) == 4) {
        const Codes16 code(a);
        for (std::size_t i = 0; i < a.size(); ++i) ca[i] = code(a[i]);
        for (std::size_t j = 0; j < b.size(); ++j) cb[b.size() - 1 - j] = code(b[j]);
    } else {
        std::ranges::copy(a, ca.begin());
        std::ranges::reverse_copy(b, cb.begin());
    }
    std::vector<Cell> work(simd::nw::pair_cells(a.size(), lanes, is_affine(s)));
    const simd::nw::PairUnits<Code> units{ca.data(), a.size(), cb.data(), b.size()};
    const simd::nw::Scores lane = lane_scores(s);
    if constexpr (Bits == 16) {
        return (is_affine(s) ? t.affine16 : t.linear16)(units, lane, work.data());
    } else {
        return (is_affine(s) ? t.affine32 : t.linear32)(units, lane, work.data());
    }
}

// Pairs smaller than this many cells take the row route: below it, setting up the diagonals
// costs more than the lanes save.
constexpr std::size_t min_lane_cells = 256;

// Empty and identical pairs are answered by the rows before anything is allocated.
template <class Unit, class S>
std::int64_t pair_score(std::span<const Unit> a, std::span<const Unit> b, const S& s,
                        const simd::nw::Table& t, std::size_t min_cells) {
    const std::size_t la = a.size(), lb = b.size();
    if (la == 0 || lb == 0 || la * lb < min_cells || std::ranges::equal(a, b)) {
        return rows(a, b, s);
    }
    switch (lane_bits(la, lb, step_of(s))) {
        case 16:
            return pair_in_lanes<16>(a, b, s, t);
        case 32:
            return pair_in_lanes<32>(a, b, s, t);
        default:
            return rows(a, b, s);
    }
}

template <class S>
std::int64_t pair_score(TextSlice a, TextSlice b, const S& s, const simd::nw::Table& t,
                        std::size_t min_cells) {
    return on_units(a, b, [&](auto x, auto y) { return pair_score(x, y, s, t, min_cells); });
}

// Candidates of one lane width, shortest first, in groups of one register's lanes.
template <int Bits, class S>
void group_in_lanes(std::span<const std::uint32_t> query, const Codes16& code,
                    std::span<const Scalars> units, std::span<const std::size_t> members,
                    const S& s, const simd::nw::Table& t, std::int64_t* out) {
    using Cell = std::conditional_t<Bits == 16, std::int16_t, std::int32_t>;
    using Code = std::conditional_t<Bits == 16, std::uint16_t, std::uint32_t>;
    const std::size_t lanes = Bits == 16 ? t.lanes16 : t.lanes32;
    std::size_t steps = 0;
    for (const std::size_t k : members) steps = std::max(steps, units[k].size());
    std::vector<Code> q(query.size()), columns(steps * lanes);
    for (std::size_t i = 0; i < query.size(); ++i) {
        q[i] = Bits == 16 ? code(query[i]) : static_cast<Code>(query[i]);
    }
    std::uint32_t lengths[simd::nw::max_lanes] = {};
    for (std::size_t lane = 0; lane < members.size(); ++lane) {
        const Scalars& c = units[members[lane]];
        lengths[lane] = static_cast<std::uint32_t>(c.size());
        for (std::size_t j = 0; j < c.size(); ++j) {
            columns[j * lanes + lane] = Bits == 16 ? code(c[j]) : static_cast<Code>(c[j]);
        }
    }
    std::vector<Cell> work(simd::nw::group_cells(steps, lanes, is_affine(s)));
    std::int64_t scores[simd::nw::max_lanes];
    const simd::nw::GroupUnits<Code> view{q.data(), q.size(), columns.data(), lengths, steps};
    const simd::nw::Scores ls = lane_scores(s);
    if constexpr (Bits == 16) {
        (is_affine(s) ? t.affine_group16 : t.linear_group16)(view, ls, work.data(), scores);
    } else {
        (is_affine(s) ? t.affine_group32 : t.linear_group32)(view, ls, work.data(), scores);
    }
    for (std::size_t lane = 0; lane < members.size(); ++lane) out[members[lane]] = scores[lane];
}

// Queries from this length on take partly filled groups pair by pair.
constexpr std::size_t min_pair_length = 128;

// One query against many candidates: the ones that fit narrow lanes go one per lane in groups
// of similar length, the rest pair by pair; groups and pairs are the pool's pieces.
template <class S>
std::vector<std::int64_t> batch_scores(TextSlice query, std::span<const TextSlice> candidates,
                                       const S& s, const simd::nw::Table& t) {
    const std::size_t n = candidates.size();
    std::vector<std::int64_t> out(n);
    if (n == 0) return out;
    const Scalars q = units_of(query);
    const std::span<const std::uint32_t> qs(q);
    std::vector<Scalars> units(n);
    pool::for_each(n, [&](std::size_t k) { units[k] = units_of(candidates[k]); });
    const std::uint64_t step = step_of(s);
    std::vector<std::size_t> by_bits[2], alone;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t lb = units[k].size();
        const int bits = lane_bits(q.size(), lb, step);
        if (q.empty() || lb == 0 || bits == 64 || std::ranges::equal(qs, units[k])) {
            alone.push_back(k);
        } else {
            by_bits[bits == 16 ? 0 : 1].push_back(k);
        }
    }
    struct Piece {
        int bits;  // 16 or 32 for a group, 0 for one candidate
        std::span<const std::size_t> members;
    };
    std::vector<Piece> pieces;
    for (int w = 0; w < 2; ++w) {
        std::vector<std::size_t>& members = by_bits[w];
        std::ranges::stable_sort(members, {}, [&](std::size_t k) { return units[k].size(); });
        const std::size_t lanes = w == 0 ? t.lanes16 : t.lanes32;
        for (std::size_t first = 0; first < members.size(); first += lanes) {
            const std::size_t count = std::min(lanes, members.size() - first);
            const std::span<const std::size_t> group = std::span(members).subspan(first, count);
            // A group costs as much as a full one; on long texts the pair kernel does about two
            // thirds of a full group's cells per second, so a group under two thirds full
            // runs pair by pair. Short texts always group: there the pairs' setup dominates.
            if (count * 3 < lanes * 2 && q.size() >= min_pair_length) {
                for (const std::size_t& k : group) pieces.push_back({0, std::span(&k, 1)});
            } else {
                pieces.push_back({w == 0 ? 16 : 32, group});
            }
        }
    }
    for (const std::size_t& k : alone) pieces.push_back({0, std::span(&k, 1)});
    const Codes16 code(by_bits[0].empty() ? std::span<const std::uint32_t>() : qs);
    pool::for_each(
        pieces.size(),
        [&](std::size_t p) {
            const Piece& piece = pieces[p];
            if (piece.bits == 16) {
                group_in_lanes<16>(qs, code, units, piece.members, s, t, out.data());
            } else if (piece.bits == 32) {
                group_in_lanes<32>(qs, code, units, piece.members, s, t, out.data());
            } else {
                const std::size_t k = piece.members[0];
                out[k] =
                    pair_score(qs, std::span<const std::uint32_t>(units[k]), s, t, min_lane_cells);
            }
        },
        1);
    return out;
}

const simd::nw::Table& chosen_table() noexcept { return *simd::kernels().needleman; }

}  // namespace

std::int64_t needleman_wunsch(TextSlice a, TextSlice b, const LinearScores& scores) {
    return pair_score(a, b, scores, chosen_table(), min_lane_cells);
}

std::int64_t needleman_wunsch_affine(TextSlice a, TextSlice b, const AffineScores& scores) {
    return pair_score(a, b, scores, chosen_table(), min_lane_cells);
}

std::vector<std::int64_t> needleman_wunsch_batch(TextSlice query,
                                                 std::span<const TextSlice> candidates,
                                                 const LinearScores& scores) {
    return batch_scores(query, candidates, scores, chosen_table());
}

std::vector<std::int64_t> needleman_wunsch_affine_batch(TextSlice query,
                                                        std::span<const TextSlice> candidates,
                                                        const AffineScores& scores) {
    return batch_scores(query, candidates, scores, chosen_table());
}

std::int64_t needleman_wunsch_rows(TextSlice a, TextSlice b, const LinearScores& scores) {
    return on_units(a, b, [&](auto x, auto y) { return rows(x, y, scores); });
}

std::int64_t needleman_wunsch_affine_rows(TextSlice a, TextSlice b, const AffineScores& scores) {
    return on_units(a, b, [&](auto x, auto y) { return rows(x, y, scores); });
}

NeedlemanLanes needleman_wunsch_lanes(TextSlice query, std::span<const TextSlice> candidates,
                                      const LinearScores& scores, const simd::nw::Table& table) {
    NeedlemanLanes r{{}, batch_scores(query, candidates, scores, table)};
    for (const TextSlice c : candidates) r.pairs.push_back(pair_score(query, c, scores, table, 0));
    return r;
}

NeedlemanLanes needleman_wunsch_affine_lanes(TextSlice query, std::span<const TextSlice> candidates,
                                             const AffineScores& scores,
                                             const simd::nw::Table& table) {
    NeedlemanLanes r{{}, batch_scores(query, candidates, scores, table)};
    for (const TextSlice c : candidates) r.pairs.push_back(pair_score(query, c, scores, table, 0));
    return r;
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
