// The banded Levenshtein pass on AVX2: four columns per group, one 64-bit lane each. Built with
// -mavx2 and entered only when avx2_available() holds.
#include <immintrin.h>

#define QUILLON_ISA avx2
#include "band.inl"

namespace quillon::simd::avx2 {
namespace {

struct BandLanes {
    using Vec = __m256i;
    static constexpr std::int64_t width = 4;

    static Vec splat(std::uint64_t v) noexcept {
        return _mm256_set1_epi64x(static_cast<long long>(v));
    }
    static Vec load(const std::uint64_t* p) noexcept {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
    }
    static Vec lane_index() noexcept { return _mm256_set_epi64x(3, 2, 1, 0); }
    static Vec add(Vec a, Vec b) noexcept { return _mm256_add_epi64(a, b); }
    static Vec sub(Vec a, Vec b) noexcept { return _mm256_sub_epi64(a, b); }
    static Vec bit_and(Vec a, Vec b) noexcept { return _mm256_and_si256(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm256_or_si256(a, b); }
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {
        return _mm256_or_si256(_mm256_xor_si256(a, b), c);
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {
        return _mm256_or_si256(a, _mm256_andnot_si256(_mm256_or_si256(b, c), _mm256_set1_epi8(-1)));
    }
    static Vec shl1(Vec a) noexcept { return _mm256_slli_epi64(a, 1); }
    static Vec shr63(Vec a) noexcept { return _mm256_srli_epi64(a, 63); }
    static Vec shift_right(Vec a, Vec counts) noexcept { return _mm256_srlv_epi64(a, counts); }
    // Comparisons give all ones in the lanes where they hold.
    static Vec greater(Vec a, Vec b) noexcept { return _mm256_cmpgt_epi64(a, b); }
    static Vec equal(Vec a, Vec b) noexcept { return _mm256_cmpeq_epi64(a, b); }
    static Vec select(Vec m, Vec a, Vec b) noexcept { return _mm256_blendv_epi8(b, a, m); }
    static Vec add_where(Vec m, Vec acc, Vec x) noexcept {
        return _mm256_add_epi64(acc, _mm256_and_si256(m, x));
    }
    // out[s][l] = rows[l][t + s]: four unaligned loads and a 4 x 4 transpose.
    static void load_transposed(const std::uint64_t* const* rows, std::int64_t t,
                                Vec* out) noexcept {
        Vec v[4];
        for (int l = 0; l < 4; ++l)
            v[l] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[l] + t));
        const Vec w0 = _mm256_unpacklo_epi64(v[0], v[1]);  // r0[0] r1[0] r0[2] r1[2]
        const Vec w1 = _mm256_unpackhi_epi64(v[0], v[1]);  // r0[1] r1[1] r0[3] r1[3]
        const Vec w2 = _mm256_unpacklo_epi64(v[2], v[3]);
        const Vec w3 = _mm256_unpackhi_epi64(v[2], v[3]);
        out[0] = _mm256_permute2x128_si256(w0, w2, 0x20);
        out[1] = _mm256_permute2x128_si256(w1, w3, 0x20);
        out[2] = _mm256_permute2x128_si256(w0, w2, 0x31);
        out[3] = _mm256_permute2x128_si256(w1, w3, 0x31);
    }
    // [*p, prev[0], prev[1], prev[2]]
    static Vec shift_in(Vec prev, const std::uint64_t* p) noexcept {
        return _mm256_blend_epi32(_mm256_permute4x64_epi64(prev, 0x93), splat(*p), 0x03);
    }
    static void store_last(std::uint64_t* dst, Vec v) noexcept {
        *dst = static_cast<std::uint64_t>(_mm_extract_epi64(_mm256_extracti128_si256(v, 1), 1));
    }
    static std::uint64_t sum(Vec v) noexcept {
        const __m128i s = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        return static_cast<std::uint64_t>(_mm_cvtsi128_si64(s)) +
               static_cast<std::uint64_t>(_mm_extract_epi64(s, 1));
    }
};

}  // namespace
}  // namespace quillon::simd::avx2

std::uint64_t quillon::simd::band_pass_avx2(const BandPass& pass) noexcept {
    return avx2::band_pass<avx2::BandLanes>(pass);
}
