// Jaro matching of one query against Lanes::width candidates at once, candidate k in lane k.
// Written once and included by each instruction-set file after its lanes type and its
// QUILLON_ISA; no include guard, since every inclusion opens a different namespace.
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "../scores.hpp"
#include "common.inl"
#include "kernels.hpp"

namespace quillon::simd::QUILLON_ISA {

// One lane's similarity from its m matches, the query positions that matched and the candidate
// positions they took. Both masks hold m bits, and pairing the k-th lowest of one with the k-th
// lowest of the other is the scalar kernel's walk with its cursor over the candidate.
inline double jaro_lane(const std::uint8_t* query, std::size_t n, const std::uint8_t* candidate,
                        std::size_t len, std::uint32_t m, std::uint64_t matched,
                        std::uint64_t used) noexcept {
    if (m == 0) return 0.0;
    // m is counted in the vector loop rather than here: GCC turns a count of this walk into
    // POPCNT, which -mavx2 enables but detection does not check.
    std::uint32_t t = 0;
    for (; matched != 0; matched &= matched - 1, used &= used - 1) {
        t += query[__builtin_ctzll(matched)] != candidate[__builtin_ctzll(used)];
    }
    return jaro_from_counts(m, t, n, len);
}

// Similarities of the query against candidates[0 .. Lanes::width) into out in lane order.
// Query and candidates are 1 to 64 ASCII bytes (unchecked). No shortcut for identical texts:
// they match position by position and come out as exactly 1.0.
template <class Lanes>
void jaro_group(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    using L = Lanes;
    using Vec = typename Lanes::Vec;
    constexpr std::size_t width = Lanes::width;
    constexpr std::size_t spare = 256;
    const std::uint8_t* q = bytes_of(query);
    const std::size_t n = query.size;
    assert(n <= 64);

    // table[c * width + k]: bit j is set when byte j of candidate k is c. The lanes of one byte
    // are adjacent, so a single load gives every lane its row. Only rows of query bytes are ever
    // read, so only those are cleared (a few stores instead of 8 or 16 KB); row_of sends
    // candidate bytes the query lacks to the spare row, which nothing reads.
    alignas(64) std::uint64_t table[(spare + 1) * width];
    std::uint16_t row_of[256];
    for (std::size_t c = 0; c < 256; ++c) row_of[c] = spare;
    const Vec zero = L::splat(0);
    for (std::size_t i = 0; i < n; ++i) {
        row_of[q[i]] = q[i];
        L::store(zero, table + std::size_t{q[i]} * width);
    }
    L::store(zero, table + spare * width);

    std::uint64_t window_of[width], last_of[width];
    for (std::size_t k = 0; k < width; ++k) {
        const std::uint8_t* c = bytes_of(candidates[k]);
        const std::size_t len = candidates[k].size;
        assert(len >= 1 && len <= 64);
        for (std::size_t j = 0; j < len; ++j) {
            table[std::size_t{row_of[c[j]]} * width + k] |= std::uint64_t{1} << j;
        }
        const std::size_t half = (len > n ? len : n) / 2;
        window_of[k] = half > 0 ? half - 1 : 0;
        last_of[k] = len > 0 ? len - 1 : 0;
    }

    const Vec window = L::load(window_of), last = L::load(last_of);
    const Vec ones = L::splat(~std::uint64_t{0}), top = L::splat(63), one = L::splat(1);
    // pos holds i in every lane, bit holds 1 << i.
    Vec used = zero, matched = zero, count = zero, pos = zero, bit = one;
    for (std::size_t i = 0; i < n; ++i) {
        // Window bits lo..hi, lo = i - min(i, w) without wrapping: all ones shifted up by lo
        // keeps the bits from lo, shifted down by 63 - hi the bits up to hi. It is empty where
        // the candidate ends before lo (hi = last < lo). Rows hold no bit at or above the
        // candidate's length, so they need no further mask.
        const Vec hi = L::min_small(L::add(pos, window), last);
        const Vec lo = L::sub(pos, L::min_small(pos, window));
        const Vec cand =
            L::and3(L::shift_left_by(ones, lo), L::shift_right_by(ones, L::sub(top, hi)),
                    L::load(table + std::size_t{q[i]} * width));
        const Vec fresh = L::and_not(cand, used);
        // The lowest bit of fresh without a per-lane branch: 0 - fresh keeps that bit and flips
        // every bit above it, and the flipped bits that fall in cand are taken already. With
        // cand = 0110 and used = 0100: fresh = 0010, 0 - fresh = ...1110, & cand = 0110, and the
        // OR adds bit 1 alone. A lane with fresh = 0 adds nothing.
        used = L::and_or(L::sub(zero, fresh), cand, used);
        const auto found = L::nonzero(fresh);
        matched = L::or_where(matched, found, bit);
        count = L::count_where(count, found);
        pos = L::add(pos, one);
        bit = L::shift(bit);
    }

    std::uint64_t used_of[width], matched_of[width], count_of[width];
    L::store(used, used_of);
    L::store(matched, matched_of);
    L::store(count, count_of);
    for (std::size_t k = 0; k < width; ++k) {
        out[k] = jaro_lane(q, n, bytes_of(candidates[k]), candidates[k].size,
                           static_cast<std::uint32_t>(count_of[k]), matched_of[k], used_of[k]);
    }
}

}  // namespace quillon::simd::QUILLON_ISA
