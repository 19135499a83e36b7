// Scalar<N>: N 64-bit lanes as a plain array, every operation a loop over the lanes. The
// reference that the AVX2 and AVX-512 lanes must match; included by portable.cpp only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon::simd::portable {

template <std::size_t N>
struct Scalar {
    static constexpr std::size_t width = N;

    struct Vec {
        std::uint64_t lane[N];
    };
    // A set of lanes, bit k for lane k (in Myers: the lanes whose text has a byte at this
    // position).
    using Active = unsigned;
    static constexpr Active all_active = (1u << N) - 1;

    static Vec splat(std::uint64_t v) noexcept {
        Vec r;
        for (std::size_t k = 0; k < N; ++k) r.lane[k] = v;
        return r;
    }
    static Vec load(const std::uint64_t* values) noexcept {
        Vec r;
        for (std::size_t k = 0; k < N; ++k) r.lane[k] = values[k];
        return r;
    }
    static Vec gather(const std::uint64_t* peq, const std::uint8_t* const* at) noexcept {
        Vec r;
        for (std::size_t k = 0; k < N; ++k) r.lane[k] = peq[*at[k]];
        return r;
    }
    static Vec keep(Vec v, Active active) noexcept {
        for (std::size_t k = 0; k < N; ++k) {
            if ((active >> k & 1u) == 0) v.lane[k] = 0;
        }
        return v;
    }

    static Vec bit_and(Vec a, Vec b) noexcept {
        for (std::size_t k = 0; k < N; ++k) a.lane[k] &= b.lane[k];
        return a;
    }
    static Vec bit_or(Vec a, Vec b) noexcept {
        for (std::size_t k = 0; k < N; ++k) a.lane[k] |= b.lane[k];
        return a;
    }
    static Vec add(Vec a, Vec b) noexcept {
        for (std::size_t k = 0; k < N; ++k) a.lane[k] += b.lane[k];
        return a;
    }
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {  // (a ^ b) | c
        for (std::size_t k = 0; k < N; ++k) a.lane[k] = (a.lane[k] ^ b.lane[k]) | c.lane[k];
        return a;
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {  // a | ~(b | c)
        for (std::size_t k = 0; k < N; ++k) a.lane[k] |= ~(b.lane[k] | c.lane[k]);
        return a;
    }
    static Vec and3(Vec a, Vec b, Vec c) noexcept {
        for (std::size_t k = 0; k < N; ++k) a.lane[k] &= b.lane[k] & c.lane[k];
        return a;
    }
    static Vec shift_in_one(Vec a) noexcept {  // (a << 1) | 1
        for (std::size_t k = 0; k < N; ++k) a.lane[k] = (a.lane[k] << 1) | 1;
        return a;
    }
    static Vec shift(Vec a) noexcept {
        for (std::size_t k = 0; k < N; ++k) a.lane[k] <<= 1;
        return a;
    }

    static Vec tally(Vec score, Vec hp, Vec hn, Vec last) noexcept {
        return tally(score, hp, hn, last, all_active);
    }
    // An ended lane keeps its score.
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last, Active active) noexcept {
        for (std::size_t k = 0; k < N; ++k) {
            if ((active >> k & 1u) == 0) continue;
            score.lane[k] += (hp.lane[k] & last.lane[k]) != 0;
            score.lane[k] -= (hn.lane[k] & last.lane[k]) != 0;
        }
        return score;
    }

    static Active active(Vec remaining) noexcept {
        Active bits = 0;
        for (std::size_t k = 0; k < N; ++k) bits |= Active{remaining.lane[k] != 0} << k;
        return bits;
    }
    static unsigned active_bits(Active active) noexcept { return active; }
    static Vec count_down(Vec remaining, Active active) noexcept {
        for (std::size_t k = 0; k < N; ++k) remaining.lane[k] -= active >> k & 1u;
        return remaining;
    }

    static void store_low32(Vec v, std::uint32_t* out) noexcept {
        for (std::size_t k = 0; k < N; ++k) out[k] = static_cast<std::uint32_t>(v.lane[k]);
    }
    static void store(Vec v, std::uint64_t* out) noexcept {
        for (std::size_t k = 0; k < N; ++k) out[k] = v.lane[k];
    }

    static Vec sub(Vec a, Vec b) noexcept {
        for (std::size_t k = 0; k < N; ++k) a.lane[k] -= b.lane[k];
        return a;
    }
    static Vec and_not(Vec a, Vec b) noexcept {  // a & ~b
        for (std::size_t k = 0; k < N; ++k) a.lane[k] &= ~b.lane[k];
        return a;
    }
    static Vec and_or(Vec a, Vec b, Vec c) noexcept {  // (a & b) | c
        for (std::size_t k = 0; k < N; ++k) a.lane[k] = (a.lane[k] & b.lane[k]) | c.lane[k];
        return a;
    }
    // Unsigned minimum; every lanes type promises it for lane values below 2^32 only.
    static Vec min_small(Vec a, Vec b) noexcept {
        for (std::size_t k = 0; k < N; ++k) {
            if (b.lane[k] < a.lane[k]) a.lane[k] = b.lane[k];
        }
        return a;
    }
    // Per-lane shift counts; a count of 64 or more gives 0, as the vector shifts do.
    static Vec shift_left_by(Vec a, Vec count) noexcept {
        for (std::size_t k = 0; k < N; ++k) {
            a.lane[k] = count.lane[k] < 64 ? a.lane[k] << count.lane[k] : 0;
        }
        return a;
    }
    static Vec shift_right_by(Vec a, Vec count) noexcept {
        for (std::size_t k = 0; k < N; ++k) {
            a.lane[k] = count.lane[k] < 64 ? a.lane[k] >> count.lane[k] : 0;
        }
        return a;
    }
    static Active nonzero(Vec v) noexcept { return active(v); }
    // acc | bits in the selected lanes, acc elsewhere.
    static Vec or_where(Vec acc, Active where, Vec bits) noexcept {
        for (std::size_t k = 0; k < N; ++k) {
            if ((where >> k & 1u) != 0) acc.lane[k] |= bits.lane[k];
        }
        return acc;
    }
    // count + 1 in the selected lanes.
    static Vec count_where(Vec count, Active where) noexcept {
        for (std::size_t k = 0; k < N; ++k) count.lane[k] += where >> k & 1u;
        return count;
    }
};

}  // namespace quillon::simd::portable
