// Needleman-Wunsch in narrow lanes, written once over a lanes type and included by each
// instruction-set file after its QUILLON_ISA; no include guard, since every inclusion opens a
// different namespace. Also the portable lanes type, which every file may fall back on.
//
// A lanes type L gives Cell (int16_t or int32_t), Unit (the code of the same width), Vec, width,
// unreachable (a cell value below every reachable one, see needleman.cpp's bound), splat, load,
// store (unaligned), load_units, add (saturating or wrapping: the bound keeps every value a
// result depends on far from the limits), max, and pick(units_a, units_b, if_equal, if_not).
#include <cstddef>
#include <cstdint>

#include "needleman.hpp"

namespace quillon::simd::QUILLON_ISA {

namespace nw_family {

// Anti-diagonal d holds the cells (i, d - i); cell i of a diagonal buffer is row i. Its three
// neighbours are row i - 1 of diagonal d - 1 (up), row i of d - 1 (left) and row i - 1 of
// d - 2; with b reversed, b[d - i - 1] is b_reversed[lb - d + i], so a register of rows reads
// both texts' units with two plain loads. Rows past the diagonal's last one are written with
// values nothing valid reads; the boundary cells are written after the interior ones.
template <class L>
std::int64_t linear_pair(const nw::PairUnits<typename L::Unit>& u, const nw::Scores& s,
                         typename L::Cell* work) noexcept {
    using Cell = typename L::Cell;
    const std::size_t la = u.la, lb = u.lb, n = la + 1 + L::width;
    for (std::size_t k = 0; k < 3 * n; ++k) work[k] = 0;
    Cell* older = work;  // diagonal d - 2
    Cell* old = work + n;
    Cell* cur = work + 2 * n;
    const auto gap_cells = [&](std::size_t k) {
        return static_cast<Cell>(static_cast<std::int64_t>(k) * s.gap);
    };
    older[0] = 0;
    old[0] = old[1] = gap_cells(1);
    const auto vm = L::splat(static_cast<Cell>(s.match));
    const auto vx = L::splat(static_cast<Cell>(s.mismatch));
    const auto vg = L::splat(static_cast<Cell>(s.gap));
    for (std::size_t d = 2; d <= la + lb; ++d) {
        const std::size_t lo = d > lb ? d - lb : 1, hi = d - 1 < la ? d - 1 : la;
        // Row i reads b[d - i - 1] at b_reversed[lb - d + i]: in range from lo on, although
        // lb - d alone wraps once d > lb.
        const std::size_t b_at = lb - d;
        for (std::size_t i = lo; i <= hi; i += L::width) {
            const auto pair = L::pick(L::load_units(u.a + i - 1),
                                      L::load_units(u.b_reversed + (b_at + i)), vm, vx);
            const auto gap = L::add(L::max(L::load(old + i - 1), L::load(old + i)), vg);
            L::store(cur + i, L::max(L::add(L::load(older + i - 1), pair), gap));
        }
        if (d <= lb) cur[0] = gap_cells(d);
        if (d <= la) cur[d] = gap_cells(d);
        Cell* spare = older;
        older = old;
        old = cur;
        cur = spare;
    }
    return old[la];
}

// Gotoh's three states on anti-diagonals. Each diagonal keeps four rows: max(M, P) and Q for
// the right neighbour, max(M, Q) and P for the lower one, and max(M, P, Q) is what the next
// diagonal but one needs. The boundary follows the row route exactly: M and Q of row 0 and M
// and P of column 0 hold the gap run, the other state of each is unreachable, M(0, 0) = 0.
template <class L>
std::int64_t affine_pair(const nw::PairUnits<typename L::Unit>& u, const nw::Scores& s,
                         typename L::Cell* work) noexcept {
    using Cell = typename L::Cell;
    const std::size_t la = u.la, lb = u.lb, n = la + 1 + L::width;
    for (std::size_t k = 0; k < 12 * n; ++k) work[k] = L::unreachable;
    struct Diagonal {
        Cell *mp, *q, *mq, *p;
    };
    Diagonal diagonals[3];
    for (std::size_t k = 0; k < 3; ++k) {
        Cell* base = work + 4 * k * n;
        diagonals[k] = {base, base + n, base + 2 * n, base + 3 * n};
    }
    const auto run = [&](std::size_t k) {
        return static_cast<Cell>(s.open + static_cast<std::int64_t>(k) * s.extend);
    };
    // Row 0 on diagonal d: M = Q = run(d), P unreachable. Column 0: M = P = run(d), Q unreachable.
    const auto boundary = [&](Diagonal& g, std::size_t d) {
        if (d <= lb) g.mp[0] = g.q[0] = g.mq[0] = run(d), g.p[0] = L::unreachable;
        if (d <= la) g.mp[d] = g.mq[d] = g.p[d] = run(d), g.q[d] = L::unreachable;
    };
    Diagonal* older = &diagonals[0];
    Diagonal* old = &diagonals[1];
    Diagonal* cur = &diagonals[2];
    older->mp[0] = older->mq[0] = 0;
    boundary(*old, 1);
    const auto vm = L::splat(static_cast<Cell>(s.match));
    const auto vx = L::splat(static_cast<Cell>(s.mismatch));
    const auto ve = L::splat(static_cast<Cell>(s.extend));
    const auto voe = L::splat(static_cast<Cell>(s.open_extend));
    for (std::size_t d = 2; d <= la + lb; ++d) {
        const std::size_t lo = d > lb ? d - lb : 1, hi = d - 1 < la ? d - 1 : la;
        // Row i reads b[d - i - 1] at b_reversed[lb - d + i]: in range from lo on, although
        // lb - d alone wraps once d > lb.
        const std::size_t b_at = lb - d;
        const Diagonal up = *old, back = *older, next = *cur;
        for (std::size_t i = lo; i <= hi; i += L::width) {
            const auto pair = L::pick(L::load_units(u.a + i - 1),
                                      L::load_units(u.b_reversed + (b_at + i)), vm, vx);
            const auto best = L::max(L::load(back.mp + i - 1), L::load(back.q + i - 1));
            const auto m = L::add(best, pair);
            const auto p =
                L::max(L::add(L::load(up.mq + i - 1), voe), L::add(L::load(up.p + i - 1), ve));
            const auto q = L::max(L::add(L::load(up.mp + i), voe), L::add(L::load(up.q + i), ve));
            L::store(next.mp + i, L::max(m, p));
            L::store(next.mq + i, L::max(m, q));
            L::store(next.p + i, p);
            L::store(next.q + i, q);
        }
        boundary(*cur, d);
        Diagonal* spare = older;
        older = old;
        old = cur;
        cur = spare;
    }
    const Cell mp = old->mp[la], q = old->q[la];
    return mp > q ? mp : q;
}

// One query against a candidate per lane, over the columns (candidate units) `Rows` query rows
// at a time: each column's cell is loaded and stored once per block of rows, and the rows'
// chains through their left neighbours run side by side. A lane's columns past its length only
// feed columns further right, so its score is read at its own length after the last row.
template <class L, std::size_t Rows>
void linear_rows(const nw::GroupUnits<typename L::Unit>& u, const nw::Scores& s,
                 typename L::Cell* work, std::size_t first) noexcept {
    using Cell = typename L::Cell;
    using Vec = decltype(L::splat(0));
    constexpr std::size_t w = L::width;
    const auto vm = L::splat(static_cast<Cell>(s.match));
    const auto vx = L::splat(static_cast<Cell>(s.mismatch));
    const auto vg = L::splat(static_cast<Cell>(s.gap));
    const auto edge = [&](std::size_t i) {
        return L::splat(static_cast<Cell>(static_cast<std::int64_t>(i) * s.gap));
    };
    decltype(L::splat_unit(0)) unit[Rows];
    Vec diag[Rows], left[Rows];
    for (std::size_t r = 0; r < Rows; ++r) {
        unit[r] = L::splat_unit(u.query[first + r - 1]);
        diag[r] = r == 0 ? L::load(work) : edge(first + r - 1);
        left[r] = edge(first + r);
    }
    L::store(work, left[Rows - 1]);
    const typename L::Unit* column = u.columns;
    Cell* row = work + w;
    for (std::size_t j = 1; j <= u.steps; ++j, column += w, row += w) {
        const auto units = L::load_units(column);
        auto up = L::load(row);
        for (std::size_t r = 0; r < Rows; ++r) {
            const auto pair = L::pick(units, unit[r], vm, vx);
            const auto h = L::max(L::add(diag[r], pair), L::add(L::max(up, left[r]), vg));
            diag[r] = up;
            left[r] = up = h;
        }
        L::store(row, up);
    }
}

template <class L>
void linear_group(const nw::GroupUnits<typename L::Unit>& u, const nw::Scores& s,
                  typename L::Cell* work, std::int64_t* out) noexcept {
    using Cell = typename L::Cell;
    constexpr std::size_t w = L::width, block = 4;
    for (std::size_t j = 0; j <= u.steps; ++j) {
        L::store(work + j * w, L::splat(static_cast<Cell>(static_cast<std::int64_t>(j) * s.gap)));
    }
    std::size_t i = 1;
    for (; i + block <= u.la + 1; i += block) linear_rows<L, block>(u, s, work, i);
    for (; i <= u.la; ++i) linear_rows<L, 1>(u, s, work, i);
    for (std::size_t k = 0; k < w; ++k) out[k] = work[u.lengths[k] * w + k];
}

// Gotoh's states over a group, `Rows` query rows at a time as above. Each column keeps
// max(M, Q) and P of the row above the block; a row's left neighbour (max(M, P) and Q) travels
// in registers, and max(M, P, Q) of its diagonal is carried from the previous column.
template <class L, std::size_t Rows>
void affine_rows(const nw::GroupUnits<typename L::Unit>& u, const nw::Scores& s,
                 typename L::Cell* work, std::size_t first) noexcept {
    using Cell = typename L::Cell;
    using Vec = decltype(L::splat(0));
    constexpr std::size_t w = L::width;
    Cell* mq_row = work;
    Cell* p_row = work + (u.steps + 1) * w;
    const auto vm = L::splat(static_cast<Cell>(s.match));
    const auto vx = L::splat(static_cast<Cell>(s.mismatch));
    const auto ve = L::splat(static_cast<Cell>(s.extend));
    const auto voe = L::splat(static_cast<Cell>(s.open_extend));
    const auto none = L::splat(L::unreachable);
    // Column 0 of row i: M = P = the gap run of i, Q unreachable.
    const auto edge = [&](std::size_t i) {
        return L::splat(static_cast<Cell>(s.open + static_cast<std::int64_t>(i) * s.extend));
    };
    decltype(L::splat_unit(0)) unit[Rows];
    Vec diag[Rows], left_mp[Rows], left_q[Rows];
    for (std::size_t r = 0; r < Rows; ++r) {
        unit[r] = L::splat_unit(u.query[first + r - 1]);
        diag[r] = r == 0 ? L::max(L::load(mq_row), L::load(p_row)) : edge(first + r - 1);
        left_mp[r] = edge(first + r);
        left_q[r] = none;
    }
    L::store(mq_row, left_mp[Rows - 1]);
    L::store(p_row, left_mp[Rows - 1]);
    const typename L::Unit* column = u.columns;
    for (std::size_t j = 1; j <= u.steps; ++j, column += w) {
        Cell* mq_at = mq_row + j * w;
        Cell* p_at = p_row + j * w;
        const auto units = L::load_units(column);
        auto up_mq = L::load(mq_at), up_p = L::load(p_at);
        for (std::size_t r = 0; r < Rows; ++r) {
            const auto pair = L::pick(units, unit[r], vm, vx);
            const auto m = L::add(diag[r], pair);
            const auto p = L::max(L::add(up_mq, voe), L::add(up_p, ve));
            left_q[r] = L::max(L::add(left_mp[r], voe), L::add(left_q[r], ve));
            left_mp[r] = L::max(m, p);
            diag[r] = L::max(up_mq, up_p);
            up_mq = L::max(m, left_q[r]);
            up_p = p;
        }
        L::store(mq_at, up_mq);
        L::store(p_at, up_p);
    }
}

template <class L>
void affine_group(const nw::GroupUnits<typename L::Unit>& u, const nw::Scores& s,
                  typename L::Cell* work, std::int64_t* out) noexcept {
    using Cell = typename L::Cell;
    constexpr std::size_t w = L::width, block = 4;
    Cell* mq_row = work;
    Cell* p_row = work + (u.steps + 1) * w;
    // Row 0: M(0, 0) = 0; M and Q of the gap run beyond it, P unreachable.
    const auto none = L::splat(L::unreachable);
    L::store(mq_row, L::splat(0));
    L::store(p_row, none);
    for (std::size_t j = 1; j <= u.steps; ++j) {
        const auto run = static_cast<Cell>(s.open + static_cast<std::int64_t>(j) * s.extend);
        L::store(mq_row + j * w, L::splat(run));
        L::store(p_row + j * w, none);
    }
    std::size_t i = 1;
    for (; i + block <= u.la + 1; i += block) affine_rows<L, block>(u, s, work, i);
    for (; i <= u.la; ++i) affine_rows<L, 1>(u, s, work, i);
    for (std::size_t k = 0; k < w; ++k) {
        const std::size_t at = u.lengths[k] * w + k;
        out[k] = mq_row[at] > p_row[at] ? mq_row[at] : p_row[at];
    }
}

}  // namespace nw_family

// Lanes of plain integers, Width at a time, saturating at Cell's limits: the reference route.
template <class CellT, class UnitT, std::size_t Width>
struct PlainNwLanes {
    using Cell = CellT;
    using Unit = UnitT;
    static constexpr std::size_t width = Width;
    static constexpr Cell unreachable = static_cast<Cell>(sizeof(Cell) == 2 ? -32768 : -(1 << 30));
    struct Vec {
        Cell v[Width];
    };
    struct Units {
        Unit v[Width];
    };
    static Vec splat(Cell c) noexcept {
        Vec r;
        for (auto& x : r.v) x = c;
        return r;
    }
    static Units splat_unit(Unit c) noexcept {
        Units r;
        for (auto& x : r.v) x = c;
        return r;
    }
    static Vec load(const Cell* p) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = p[k];
        return r;
    }
    static void store(Cell* p, Vec a) noexcept {
        for (std::size_t k = 0; k < Width; ++k) p[k] = a.v[k];
    }
    static Units load_units(const Unit* p) noexcept {
        Units r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = p[k];
        return r;
    }
    static Vec add(Vec a, Vec b) noexcept {
        constexpr std::int64_t lo = sizeof(Cell) == 2 ? -32768 : -2147483648LL;
        constexpr std::int64_t hi = sizeof(Cell) == 2 ? 32767 : 2147483647LL;
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) {
            const std::int64_t x = std::int64_t{a.v[k]} + b.v[k];
            r.v[k] = static_cast<Cell>(x < lo ? lo : x > hi ? hi : x);
        }
        return r;
    }
    static Vec max(Vec a, Vec b) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = a.v[k] > b.v[k] ? a.v[k] : b.v[k];
        return r;
    }
    static Vec pick(Units x, Units y, Vec if_equal, Vec if_not) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) {
            r.v[k] = x.v[k] == y.v[k] ? if_equal.v[k] : if_not.v[k];
        }
        return r;
    }
};

}  // namespace quillon::simd::QUILLON_ISA
