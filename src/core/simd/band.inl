// The banded pass over lanes of columns, written once for every lanes type (Lanes::width
// columns per group). No include guard: each ISA file includes it in its own namespace.
//
// Lane l of a group holds column j0 + l and at step t works on block F + t - l, F being the
// first block of column j0. Lane l - 1 finished that block for column j0 + l - 1 one step
// earlier, so its vertical deltas move one lane up; lane 0 reads them from memory and the last
// lane writes them back for the next group. The horizontal carry from block to block stays in
// its lane. A lane outside its column's band computes harmlessly: the carry into the column's
// first block is forced to +1 (the stand-in for the rows above), a block that enters the band
// in this column starts from vertical deltas of +1, and blocks above the band are never read
// again, as the band only moves down.
#include <cstddef>
#include <cstdint>

#include "band.hpp"

namespace quillon::simd::QUILLON_ISA {
namespace {

using i64 = std::int64_t;

struct BandShape {
    i64 m, half, hi;

    // First and last block of column j (1-based); the last of column 0 is -1, so that every
    // block of column 1 starts from the boundary column D[i][0] = i.
    i64 first(i64 j) const noexcept { return j > hi + 1 ? (j - hi - 1) >> 6 : 0; }
    i64 last(i64 j) const noexcept {
        if (j == 0) return -1;
        const i64 bottom = j + half < m ? j + half : m;
        return (bottom - 1) >> 6;
    }
};

// Hyyrö's block step on 64-bit words, given the carry in (hp, hn) at the row above the block:
// returns the horizontal deltas of the block's rows before the shift (ph, mh, for the score),
// the carry out, and the new vertical deltas.
template <class V>
struct Step {
    typename V::Vec ph, mh;
};

template <class V>
inline Step<V> block_step(typename V::Vec eq, typename V::Vec& pv, typename V::Vec& mv,
                          typename V::Vec& hp, typename V::Vec& hn) noexcept {
    using Vec = typename V::Vec;
    const Vec xv = V::bit_or(eq, mv);
    eq = V::bit_or(eq, hn);
    const Vec xh = V::xor_or(V::add(V::bit_and(eq, pv), pv), pv, eq);
    const Vec ph = V::or_nor(mv, xh, pv);
    const Vec mh = V::bit_and(pv, xh);
    const Vec ph_in = V::bit_or(V::shl1(ph), hp), mh_in = V::bit_or(V::shl1(mh), hn);
    hp = V::shr63(ph);
    hn = V::shr63(mh);
    pv = V::or_nor(mh_in, xv, ph_in);
    mv = V::bit_and(ph_in, xv);
    return {ph, mh};
}

// One column in plain words: the tail of a text whose length is no multiple of the width.
inline i64 column(const BandPass& p, const BandShape& shape, i64 j) noexcept {
    const i64 f = shape.first(j), l = shape.last(j), entered = shape.last(j - 1);
    const std::uint64_t* eqs = p.masks + p.cols[j - 1];
    const unsigned bit = l + 1 == static_cast<i64>(p.blocks) ? (p.m - 1) % 64 : 63;
    std::uint64_t hp = 1, hn = 0;
    i64 delta = 0;
    for (i64 b = f; b <= l; ++b) {
        std::uint64_t pv = b > entered ? ~std::uint64_t{0} : p.vp[b];
        std::uint64_t mv = b > entered ? 0 : p.vn[b];
        std::uint64_t eq = eqs[b];
        const std::uint64_t xv = eq | mv;
        eq |= hn;
        const std::uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
        const std::uint64_t ph = mv | ~(xh | pv);
        const std::uint64_t mh = pv & xh;
        const std::uint64_t ph_in = (ph << 1) | hp, mh_in = (mh << 1) | hn;
        hp = ph >> 63;
        hn = mh >> 63;
        p.vp[b] = mh_in | ~(xv | ph_in);
        p.vn[b] = ph_in & xv;
        if (b == l) delta = static_cast<i64>((ph >> bit) & 1) - static_cast<i64>((mh >> bit) & 1);
    }
    return delta;
}

template <class V>
std::uint64_t band_pass(const BandPass& p) noexcept {
    using Vec = typename V::Vec;
    constexpr i64 width = V::width;
    constexpr auto lanes = static_cast<std::size_t>(width);
    const BandShape shape{static_cast<i64>(p.m), static_cast<i64>(p.half), static_cast<i64>(p.hi)};
    const i64 n = static_cast<i64>(p.n), final_block = static_cast<i64>(p.blocks) - 1;
    const Vec ones = V::splat(~std::uint64_t{0}), zero = V::splat(0), one = V::splat(1);
    // The score is the bottom row of the band's last block: m at column 0 once every block has
    // been entered with its +1 deltas, moved by that block's bottom delta in each column.
    Vec deltas = zero;
    i64 j = 1;
    for (; j + width - 1 <= n; j += width) {
        alignas(64) std::uint64_t first[lanes], last[lanes], entered[lanes], cols[lanes],
            bits[lanes];
        for (std::size_t l = 0; l < lanes; ++l) {
            const i64 c = j + static_cast<i64>(l);
            first[l] = static_cast<std::uint64_t>(shape.first(c));
            last[l] = static_cast<std::uint64_t>(shape.last(c));
            entered[l] = static_cast<std::uint64_t>(shape.last(c - 1));
            cols[l] = p.cols[c - 1];
            bits[l] = shape.last(c) == final_block ? (p.m - 1) % 64 : 63;
        }
        const Vec first_v = V::load(first), last_v = V::load(last);
        const Vec entered_v = V::load(entered), bits_v = V::load(bits);
        const i64 f = static_cast<i64>(first[0]);
        const i64 steps = static_cast<i64>(last[lanes - 1]) - f + width;
        // Lane l reads block F + t - l of its row: row l shifted by l, so that one transpose
        // of `width` consecutive words from each row gives the masks of `width` steps.
        const std::uint64_t* rows[lanes];
        for (std::size_t l = 0; l < lanes; ++l) rows[l] = p.masks + cols[l] - l + f;
        // The band's edges reach into the steps before head_end (some lane at or above its
        // column's first block) and from tail on (some lane entering a block or at its last);
        // the steps between need neither the forced carry, the fresh deltas nor the score.
        i64 head_end = 0, tail = static_cast<i64>(entered[0]) - f;
        for (std::size_t l = 0; l < lanes; ++l) {
            const i64 top = static_cast<i64>(first[l]) - f + static_cast<i64>(l) + 1;
            head_end = top > head_end ? top : head_end;
        }
        const Vec lane_index = V::lane_index();
        Vec pv_out = zero, mv_out = zero, hp = zero, hn = zero;
        auto step = [&]<bool edges>(i64 t, Vec eq) {
            Vec pv = V::shift_in(pv_out, p.vp + f + t), mv = V::shift_in(mv_out, p.vn + f + t);
            [[maybe_unused]] Vec block;
            if constexpr (edges) {
                block = V::sub(V::splat(static_cast<std::uint64_t>(f + t)), lane_index);
                const auto entering = V::greater(block, entered_v);
                pv = V::select(entering, ones, pv);
                mv = V::select(entering, zero, mv);
                const auto top = V::greater(V::add(first_v, one), block);
                hp = V::select(top, one, hp);
                hn = V::select(top, zero, hn);
            }
            const Step<V> st = block_step<V>(eq, pv, mv, hp, hn);
            if constexpr (edges) {
                const auto bottom = V::equal(block, last_v);
                deltas = V::add_where(bottom, deltas,
                                      V::sub(V::bit_and(V::shift_right(st.ph, bits_v), one),
                                             V::bit_and(V::shift_right(st.mh, bits_v), one)));
            }
            V::store_last(p.vp + f + t - (width - 1), pv);
            V::store_last(p.vn + f + t - (width - 1), mv);
            pv_out = pv;
            mv_out = mv;
        };
        for (i64 t0 = 0; t0 < steps; t0 += width) {
            Vec eqs[lanes];
            V::load_transposed(rows, t0, eqs);
            const i64 chunk = steps - t0 < width ? steps - t0 : width;
            for (i64 s = 0; s < chunk; ++s) {
                const i64 t = t0 + s;
                if (t < head_end || t >= tail) {
                    step.template operator()<true>(t, eqs[s]);
                } else {
                    step.template operator()<false>(t, eqs[s]);
                }
            }
        }
    }
    std::uint64_t score = p.m + V::sum(deltas);
    for (; j <= n; ++j) score += static_cast<std::uint64_t>(column(p, shape, j));
    return score;
}

}  // namespace
}  // namespace quillon::simd::QUILLON_ISA
