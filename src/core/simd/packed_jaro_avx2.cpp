// The narrow-lane Jaro kernel on AVX2: 32 lanes of 8 bits, 16 of 16, 8 of 32 or 4 of 64 per
// register. Built with -mavx2 and entered only when avx2_available() holds.
#include <immintrin.h>

#define QUILLON_ISA avx2
#include "packed_jaro.inl"

namespace quillon::simd::avx2 {
namespace {

// Lanes of Unit's width in one 256-bit register; a mask is a lane of all ones or zero.
template <class U>
struct JaroLanes {
    using Unit = U;
    using Vec = __m256i;
    using Mask = __m256i;
    static constexpr std::size_t width = 32 / sizeof(Unit);

    static Vec splat(std::uint64_t v) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm256_set1_epi8(static_cast<char>(v));
        if constexpr (sizeof(Unit) == 2) return _mm256_set1_epi16(static_cast<short>(v));
        if constexpr (sizeof(Unit) == 4) return _mm256_set1_epi32(static_cast<int>(v));
        if constexpr (sizeof(Unit) == 8) return _mm256_set1_epi64x(static_cast<long long>(v));
    }
    static Vec load(const Unit* p) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static void store(Vec a, Unit* p) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a);
    }
    // The low byte of every lane, in lane order.
    static void store_bytes(Vec a, std::uint8_t* p) noexcept {
        if constexpr (sizeof(Unit) == 1) {
            store(a, p);
        } else {
            alignas(32) Unit lane[width];
            store(a, lane);
            for (std::size_t k = 0; k < width; ++k) p[k] = static_cast<std::uint8_t>(lane[k]);
        }
    }
    static Vec bit_and(Vec a, Vec b) noexcept { return _mm256_and_si256(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm256_or_si256(a, b); }
    static Vec bit_xor(Vec a, Vec b) noexcept { return _mm256_xor_si256(a, b); }
    static Vec and3(Vec a, Vec b, Vec c) noexcept { return bit_and(bit_and(a, b), c); }
    static Vec and_not(Vec a, Vec b) noexcept { return _mm256_andnot_si256(b, a); }
    static Vec add(Vec a, Vec b) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm256_add_epi8(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm256_add_epi16(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm256_add_epi32(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm256_add_epi64(a, b);
    }
    static Vec sub(Vec a, Vec b) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm256_sub_epi8(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm256_sub_epi16(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm256_sub_epi32(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm256_sub_epi64(a, b);
    }
    static Vec equal(Vec a, Vec b) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm256_cmpeq_epi8(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm256_cmpeq_epi16(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm256_cmpeq_epi32(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm256_cmpeq_epi64(a, b);
    }
    // Signed, which is exact for the small counts compared here.
    static Vec greater(Vec a, Vec b) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm256_cmpgt_epi8(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm256_cmpgt_epi16(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm256_cmpgt_epi32(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm256_cmpgt_epi64(a, b);
    }
    static Vec or_lowest(Vec used, Vec fresh) noexcept {
        return bit_or(used, bit_and(fresh, sub(_mm256_setzero_si256(), fresh)));
    }
    static Mask is_zero(Vec a) noexcept { return equal(a, _mm256_setzero_si256()); }
    static Mask nonzero(Vec a) noexcept { return _mm256_xor_si256(is_zero(a), splat(~0ull)); }
    static Mask at_most(Vec a, std::size_t i) noexcept { return greater(splat(i + 1), a); }
    // max(len, n) / 2 - 1 saturating at 0, the lengths widened from bytes; lengths are at most
    // 64, so signed maxima are exact. Four 64-bit lanes are set one by one.
    static Vec windows(const std::uint8_t* lengths, std::size_t n) noexcept {
        const Vec one = splat(1);
        if constexpr (sizeof(Unit) == 1) {
            const Vec longer = _mm256_max_epi8(load(lengths), splat(n));
            return _mm256_subs_epu8(bit_and(_mm256_srli_epi16(longer, 1), splat(0x7F)), one);
        }
        if constexpr (sizeof(Unit) == 2) {
            const Vec len =
                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lengths)));
            return _mm256_subs_epu16(_mm256_srli_epi16(_mm256_max_epi16(len, splat(n)), 1), one);
        }
        if constexpr (sizeof(Unit) == 4) {
            const Vec len =
                _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lengths)));
            const Vec half = _mm256_srli_epi32(_mm256_max_epi32(len, splat(n)), 1);
            return sub(_mm256_max_epi32(half, one), one);
        }
        if constexpr (sizeof(Unit) == 8) {
            return _mm256_setr_epi64x(static_cast<long long>(window_of(lengths[0], n)),
                                      static_cast<long long>(window_of(lengths[1], n)),
                                      static_cast<long long>(window_of(lengths[2], n)),
                                      static_cast<long long>(window_of(lengths[3], n)));
        }
    }
    // Bits 0..w: all ones shifted up by w + 1, inverted; the variable shifts give 0 for counts
    // of the lane's width or more, so a window past the lane gives all ones. Bytes take a table
    // (w is at most 31; from 7 on the lane is full); words, without a variable shift, take the
    // plain loop.
    static Vec top_edges(Vec w) noexcept {
        const Vec ones = splat(~std::uint64_t{0}), count = add(w, splat(1));
        if constexpr (sizeof(Unit) == 1) {
            const Vec table =
                _mm256_setr_epi8(1, 3, 7, 15, 31, 63, 127, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 3,
                                 7, 15, 31, 63, 127, -1, -1, -1, -1, -1, -1, -1, -1, -1);
            return _mm256_shuffle_epi8(table, _mm256_min_epu8(w, splat(15)));
        }
        if constexpr (sizeof(Unit) == 2) {
            alignas(32) Unit lane[width];
            store(w, lane);
            for (std::size_t k = 0; k < width; ++k) lane[k] = top_edge<Unit>(lane[k]);
            return load(lane);
        }
        if constexpr (sizeof(Unit) == 4)
            return _mm256_andnot_si256(_mm256_sllv_epi32(ones, count), ones);
        if constexpr (sizeof(Unit) == 8)
            return _mm256_andnot_si256(_mm256_sllv_epi64(ones, count), ones);
    }
    static Mask both(Mask a, Mask b) noexcept { return bit_and(a, b); }
    static Vec keep(Vec a, Mask m) noexcept { return bit_and(a, m); }
};

}  // namespace
}  // namespace quillon::simd::avx2

namespace quillon::simd::packed {

void jaro_block_avx2(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept {
    avx2::jaro_block<avx2::JaroLanes>(query, block, out);
}

}  // namespace quillon::simd::packed
