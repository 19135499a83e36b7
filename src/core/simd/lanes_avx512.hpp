// Avx512x8: eight 64-bit lanes in one 512-bit register. AVX-512 Foundation only (ternary logic,
// mask registers), plus AVX2 to assemble lanes in 256-bit halves. Included by avx512.cpp only,
// which is entered only when avx512_available() holds.
#pragma once

#if !defined(__AVX512F__) || !defined(__AVX2__)
#error "lanes_avx512.hpp needs -mavx512f -mavx2"
#endif

// GCC 12 reports the self-initialised placeholder of _mm512_undefined_epi32() and friends as
// maybe uninitialized once inlined (GCC bug 105593); the header is right, so only its lines are
// exempt.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cstddef>
#include <cstdint>

namespace quillon::simd::avx512 {

struct Avx512x8 {
    static constexpr std::size_t width = 8;

    using Vec = __m512i;
    // A set of lanes, bit k for lane k (in Myers: the lanes whose text has a byte at this
    // position).
    using Active = __mmask8;

    static Vec splat(std::uint64_t v) noexcept {
        return _mm512_set1_epi64(static_cast<long long>(v));
    }
    static Vec load(const std::uint64_t* values) noexcept { return _mm512_loadu_si512(values); }
    // Eight table reads in general registers, assembled as two 256-bit halves.
    static Vec gather(const std::uint64_t* peq, const std::uint8_t* const* at) noexcept {
        const __m256i low = _mm256_set_epi64x(
            static_cast<long long>(peq[*at[3]]), static_cast<long long>(peq[*at[2]]),
            static_cast<long long>(peq[*at[1]]), static_cast<long long>(peq[*at[0]]));
        const __m256i high = _mm256_set_epi64x(
            static_cast<long long>(peq[*at[7]]), static_cast<long long>(peq[*at[6]]),
            static_cast<long long>(peq[*at[5]]), static_cast<long long>(peq[*at[4]]));
        return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
    }
    static Vec keep(Vec v, Active active) noexcept { return _mm512_maskz_mov_epi64(active, v); }

    // Ternary-logic immediates are the truth table over a = 0xF0, b = 0xCC, c = 0xAA.
    static Vec bit_and(Vec a, Vec b) noexcept { return _mm512_and_si512(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm512_or_si512(a, b); }
    static Vec add(Vec a, Vec b) noexcept { return _mm512_add_epi64(a, b); }
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {  // (a ^ b) | c
        return _mm512_ternarylogic_epi64(a, b, c, 0xBE);
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {  // a | ~(b | c)
        return _mm512_ternarylogic_epi64(a, b, c, 0xF1);
    }
    static Vec and3(Vec a, Vec b, Vec c) noexcept {
        return _mm512_ternarylogic_epi64(a, b, c, 0x80);
    }
    static Vec shift_in_one(Vec a) noexcept {  // (a << 1) | 1
        return _mm512_or_si512(_mm512_slli_epi64(a, 1), _mm512_set1_epi64(1));
    }
    static Vec shift(Vec a) noexcept { return _mm512_slli_epi64(a, 1); }

    // vptestmq is the compare against zero: a lane of the mask is set where hp & last != 0,
    // and only those lanes take the +1 (or, from hn, the -1).
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last) noexcept {
        const __m512i one = _mm512_set1_epi64(1);
        score = _mm512_mask_add_epi64(score, _mm512_test_epi64_mask(hp, last), score, one);
        return _mm512_mask_sub_epi64(score, _mm512_test_epi64_mask(hn, last), score, one);
    }
    // With last cleared, an ended lane tests zero in both terms and keeps its score.
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last, Active active) noexcept {
        return tally(score, hp, hn, _mm512_maskz_mov_epi64(active, last));
    }

    static Active active(Vec remaining) noexcept {
        return _mm512_test_epi64_mask(remaining, remaining);
    }
    static unsigned active_bits(Active active) noexcept { return active; }
    // max(r, 1) - 1: one less, never below zero.
    static Vec count_down(Vec remaining, Active) noexcept {
        const __m512i one = _mm512_set1_epi64(1);
        return _mm512_sub_epi64(_mm512_max_epu64(remaining, one), one);
    }

    static void store_low32(Vec v, std::uint32_t* out) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_cvtepi64_epi32(v));
    }
    static void store(Vec v, std::uint64_t* out) noexcept { _mm512_storeu_si512(out, v); }

    static Vec sub(Vec a, Vec b) noexcept { return _mm512_sub_epi64(a, b); }
    static Vec and_not(Vec a, Vec b) noexcept {  // a & ~b
        return _mm512_andnot_si512(b, a);
    }
    static Vec and_or(Vec a, Vec b, Vec c) noexcept {  // (a & b) | c
        return _mm512_ternarylogic_epi64(a, b, c, 0xEA);
    }
    static Vec min_small(Vec a, Vec b) noexcept { return _mm512_min_epu64(a, b); }
    // Counts of 64 or more give 0.
    static Vec shift_left_by(Vec a, Vec count) noexcept { return _mm512_sllv_epi64(a, count); }
    static Vec shift_right_by(Vec a, Vec count) noexcept { return _mm512_srlv_epi64(a, count); }
    static Active nonzero(Vec v) noexcept { return _mm512_test_epi64_mask(v, v); }
    // acc | bits in the selected lanes, acc elsewhere.
    static Vec or_where(Vec acc, Active where, Vec bits) noexcept {
        return _mm512_mask_or_epi64(acc, where, acc, bits);
    }
    // count + 1 in the selected lanes.
    static Vec count_where(Vec count, Active where) noexcept {
        return _mm512_mask_add_epi64(count, where, count, _mm512_set1_epi64(1));
    }
};

}  // namespace quillon::simd::avx512
