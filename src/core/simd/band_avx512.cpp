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
    // out[s][l] = rows[l][t + s]: eight unaligned loads and an 8 x 8 transpose in three
    // rounds (pairs of words, pairs of 128-bit parts, halves).
    static void load_transposed(const std::uint64_t* const* rows, std::int64_t t,
                                Vec* out) noexcept {
        Vec v[8];
        for (int l = 0; l < 8; ++l) v[l] = _mm512_loadu_si512(rows[l] + t);
        Vec w[8];
        for (int l = 0; l < 8; l += 2) {
            w[l] = _mm512_unpacklo_epi64(v[l], v[l + 1]);      // r0[0] r1[0] r0[2] r1[2] ...
            w[l + 1] = _mm512_unpackhi_epi64(v[l], v[l + 1]);  // r0[1] r1[1] r0[3] r1[3] ...
        }
        // u[0]: r0..r3 at words 0 and 4; u[1]: at 1 and 5; u[2]: 2 and 6; u[3]: 3 and 7;
        // u[4..7] the same for r4..r7.
        Vec u[8];
        for (int h = 0; h < 2; ++h) {
            u[4 * h + 0] = _mm512_shuffle_i64x2(w[4 * h + 0], w[4 * h + 2], 0x88);
            u[4 * h + 1] = _mm512_shuffle_i64x2(w[4 * h + 1], w[4 * h + 3], 0x88);
            u[4 * h + 2] = _mm512_shuffle_i64x2(w[4 * h + 0], w[4 * h + 2], 0xDD);
            u[4 * h + 3] = _mm512_shuffle_i64x2(w[4 * h + 1], w[4 * h + 3], 0xDD);
        }
        for (int s = 0; s < 4; ++s) {
            out[s] = _mm512_shuffle_i64x2(u[s], u[4 + s], 0x88);
            out[s + 4] = _mm512_shuffle_i64x2(u[s], u[4 + s], 0xDD);
        }
    }
    // [*p, prev[0], ..., prev[6]]
    static Vec shift_in(Vec prev, const std::uint64_t* p) noexcept {
        return _mm512_alignr_epi64(prev, splat(*p), 7);
    }
    // Lane 7 to *dst, by a masked store of the whole register (dst - 7 stays in the padding).
    static void store_last(std::uint64_t* dst, Vec v) noexcept {
        _mm512_mask_storeu_epi64(dst - 7, 0x80, v);
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
