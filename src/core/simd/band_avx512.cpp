// The banded Levenshtein pass on AVX-512 Foundation: eight columns per group, one 64-bit lane
// each. Built with -mavx512f -mavx2 and entered only when avx512_available() and
// avx2_available() hold.
// GCC 12 reports the placeholder operand of several AVX-512 intrinsics as uninitialized once
// inlined (GCC bug 105593); the headers are right, so the file is exempt.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#define QUILLON_ISA avx512
#include "band.inl"

namespace quillon::simd::avx512 {
namespace {

struct BandLanes {
    using Vec = __m512i;
    static constexpr std::int64_t width = 8;

    static Vec splat(std::uint64_t v) noexcept {
        return _mm512_set1_epi64(static_cast<long long>(v));
    }
    static Vec load(const std::uint64_t* p) noexcept { return _mm512_load_si512(p); }
    static Vec lane_index() noexcept { return _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0); }
    static Vec add(Vec a, Vec b) noexcept { return _mm512_add_epi64(a, b); }
    static Vec sub(Vec a, Vec b) noexcept { return _mm512_sub_epi64(a, b); }
    static Vec bit_and(Vec a, Vec b) noexcept { return _mm512_and_si512(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm512_or_si512(a, b); }
    // (a ^ b) | c and a | ~(b | c) in one instruction each: 0xF0, 0xCC, 0xAA are a, b, c.
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {
        return _mm512_ternarylogic_epi64(a, b, c, 0xBE);
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {
        return _mm512_ternarylogic_epi64(a, b, c, 0xF1);
    }
    static Vec shl1(Vec a) noexcept { return _mm512_slli_epi64(a, 1); }
    static Vec shr63(Vec a) noexcept { return _mm512_srli_epi64(a, 63); }
    static Vec shift_right(Vec a, Vec counts) noexcept { return _mm512_srlv_epi64(a, counts); }
    static __mmask8 greater(Vec a, Vec b) noexcept { return _mm512_cmpgt_epi64_mask(a, b); }
    static __mmask8 equal(Vec a, Vec b) noexcept { return _mm512_cmpeq_epi64_mask(a, b); }
    static Vec select(__mmask8 m, Vec a, Vec b) noexcept {
        return _mm512_mask_blend_epi64(m, b, a);
    }
    static Vec add_where(__mmask8 m, Vec acc, Vec x) noexcept {
        return _mm512_mask_add_epi64(acc, m, acc, x);
    }
    static Vec gather(const std::uint64_t* base, Vec index) noexcept {
        return _mm512_i64gather_epi64(index, static_cast<const void*>(base), 8);
    }
    // [*p, prev[0], ..., prev[6]]
    static Vec shift_in(Vec prev, const std::uint64_t* p) noexcept {
        return _mm512_alignr_epi64(prev, splat(*p), 7);
    }
    static void store_last(std::uint64_t* dst, Vec v) noexcept {
        *dst = static_cast<std::uint64_t>(_mm_extract_epi64(_mm512_extracti32x4_epi32(v, 3), 1));
    }
    static std::uint64_t sum(Vec v) noexcept {
        return static_cast<std::uint64_t>(_mm512_reduce_add_epi64(v));
    }
};

}  // namespace
}  // namespace quillon::simd::avx512

std::uint64_t quillon::simd::band_pass_avx512(const BandPass& pass) noexcept {
    return avx512::band_pass<avx512::BandLanes>(pass);
}
