// Avx2x4: four 64-bit lanes in one 256-bit register. Included by avx2.cpp only, which is built
// with -mavx2 and entered only when avx2_available() holds.
#pragma once

#if !defined(__AVX2__)
#error "lanes_avx2.hpp needs -mavx2"
#endif

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace quillon::simd::avx2 {

struct Avx2x4 {
    static constexpr std::size_t width = 4;

    using Vec = __m256i;
    // A set of lanes, all ones in each lane of the set (in Myers: the lanes whose text has a
    // byte at this position).
    using Active = __m256i;

    static Vec splat(std::uint64_t v) noexcept {
        return _mm256_set1_epi64x(static_cast<long long>(v));
    }
    static Vec load(const std::uint64_t* values) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values));
    }
    // Four table reads into general registers, then moved into one vector: cheaper than
    // vpgatherqq, whose indices would have to be assembled from the same four byte loads.
    static Vec gather(const std::uint64_t* peq, const std::uint8_t* const* at) noexcept {
        return _mm256_set_epi64x(
            static_cast<long long>(peq[*at[3]]), static_cast<long long>(peq[*at[2]]),
            static_cast<long long>(peq[*at[1]]), static_cast<long long>(peq[*at[0]]));
    }
    static Vec keep(Vec v, Active active) noexcept { return _mm256_and_si256(v, active); }

    static Vec bit_and(Vec a, Vec b) noexcept { return _mm256_and_si256(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm256_or_si256(a, b); }
    static Vec add(Vec a, Vec b) noexcept { return _mm256_add_epi64(a, b); }
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {  // (a ^ b) | c
        return _mm256_or_si256(_mm256_xor_si256(a, b), c);
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {  // a | ~(b | c)
        const __m256i ones = _mm256_set1_epi64x(-1);
        return _mm256_or_si256(a, _mm256_andnot_si256(_mm256_or_si256(b, c), ones));
    }
    static Vec and3(Vec a, Vec b, Vec c) noexcept {
        return _mm256_and_si256(_mm256_and_si256(a, b), c);
    }
    static Vec shift_in_one(Vec a) noexcept {  // (a << 1) | 1
        return _mm256_or_si256(_mm256_slli_epi64(a, 1), _mm256_set1_epi64x(1));
    }
    static Vec shift(Vec a) noexcept { return _mm256_slli_epi64(a, 1); }

    // score + [hp & last != 0] - [hn & last != 0] from compares against zero: with
    // p = (hp & last) == 0 ? -1 : 0 and n likewise, the new score is score + p - n. The bit in
    // hp gives 0 - (-1) = +1, the bit in hn gives -1 - 0 = -1, neither gives -1 - (-1) = 0.
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last) noexcept {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i p = _mm256_cmpeq_epi64(_mm256_and_si256(hp, last), zero);
        const __m256i n = _mm256_cmpeq_epi64(_mm256_and_si256(hn, last), zero);
        return _mm256_sub_epi64(_mm256_add_epi64(score, p), n);
    }
    // An ended lane has both terms forced to 0, so they cancel and its score stays.
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last, Active active) noexcept {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i p = _mm256_cmpeq_epi64(_mm256_and_si256(hp, last), zero);
        const __m256i n = _mm256_cmpeq_epi64(_mm256_and_si256(hn, last), zero);
        return _mm256_sub_epi64(_mm256_add_epi64(score, _mm256_and_si256(p, active)),
                                _mm256_and_si256(n, active));
    }

    // Remaining counts are text lengths, far below 2^63, so the signed compare is exact.
    static Active active(Vec remaining) noexcept {
        return _mm256_cmpgt_epi64(remaining, _mm256_setzero_si256());
    }
    static unsigned active_bits(Active active) noexcept {
        return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(active)));
    }
    // Active lanes hold -1: adding the mask counts them down and leaves ended lanes at 0.
    static Vec count_down(Vec remaining, Active active) noexcept {
        return _mm256_add_epi64(remaining, active);
    }

    static void store_low32(Vec v, std::uint32_t* out) noexcept {
        const __m256i even = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
        const __m256i low = _mm256_permutevar8x32_epi32(v, even);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(low));
    }
    static void store(Vec v, std::uint64_t* out) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
    }

    static Vec sub(Vec a, Vec b) noexcept { return _mm256_sub_epi64(a, b); }
    static Vec and_not(Vec a, Vec b) noexcept {  // a & ~b
        return _mm256_andnot_si256(b, a);
    }
    static Vec and_or(Vec a, Vec b, Vec c) noexcept {  // (a & b) | c
        return _mm256_or_si256(_mm256_and_si256(a, b), c);
    }
    // AVX2 has no 64-bit minimum; below 2^32 the high halves are both 0, so the minimum of
    // each 32-bit half is the minimum of the lane.
    static Vec min_small(Vec a, Vec b) noexcept { return _mm256_min_epu32(a, b); }
    // Counts of 64 or more give 0.
    static Vec shift_left_by(Vec a, Vec count) noexcept { return _mm256_sllv_epi64(a, count); }
    static Vec shift_right_by(Vec a, Vec count) noexcept { return _mm256_srlv_epi64(a, count); }
    static Active nonzero(Vec v) noexcept {
        const __m256i ones = _mm256_set1_epi64x(-1);
        return _mm256_xor_si256(_mm256_cmpeq_epi64(v, _mm256_setzero_si256()), ones);
    }
    // acc | bits in the selected lanes, acc elsewhere.
    static Vec or_where(Vec acc, Active where, Vec bits) noexcept {
        return _mm256_or_si256(acc, _mm256_and_si256(where, bits));
    }
    // count + 1 in the selected lanes: they hold -1.
    static Vec count_where(Vec count, Active where) noexcept {
        return _mm256_sub_epi64(count, where);
    }
};

}  // namespace quillon::simd::avx2
