// The narrow-lane Jaro kernel on AVX-512: 64 lanes of 8 bits, 32 of 16, 16 of 32 or 8 of 64 per
// register, with mask registers for the per-lane conditions. Built with -mavx512f -mavx512bw
// -mavx2 and entered only when AVX-512 Foundation, Byte and Word are available.
// GCC 12 reports the self-initialised placeholders of _mm512_undefined_epi32() and friends as
// uninitialized once inlined (GCC bug 105593); the headers are right, so the file is exempt.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#define QUILLON_ISA avx512
#include "packed_jaro.inl"

namespace quillon::simd::avx512 {
namespace {

template <std::size_t Bytes>
struct MaskOf;
template <>
struct MaskOf<1> {
    using type = __mmask64;
};
template <>
struct MaskOf<2> {
    using type = __mmask32;
};
template <>
struct MaskOf<4> {
    using type = __mmask16;
};
template <>
struct MaskOf<8> {
    using type = __mmask8;
};

// Lanes of Unit's width in one 512-bit register; a mask has one bit per lane. Ternary-logic
// immediates are the truth table over a = 0xF0, b = 0xCC, c = 0xAA.
template <class U>
struct JaroLanes {
    using Unit = U;
    using Vec = __m512i;
    using Mask = typename MaskOf<sizeof(U)>::type;
    static constexpr std::size_t width = 64 / sizeof(Unit);

    static Vec splat(std::uint64_t v) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm512_set1_epi8(static_cast<char>(v));
        if constexpr (sizeof(Unit) == 2) return _mm512_set1_epi16(static_cast<short>(v));
        if constexpr (sizeof(Unit) == 4) return _mm512_set1_epi32(static_cast<int>(v));
        if constexpr (sizeof(Unit) == 8) return _mm512_set1_epi64(static_cast<long long>(v));
    }
    static Vec load(const Unit* p) noexcept { return _mm512_loadu_si512(p); }
    static void store(Vec a, Unit* p) noexcept { _mm512_storeu_si512(p, a); }
    // The low byte of every lane, in lane order.
    static void store_bytes(Vec a, std::uint8_t* p) noexcept {
        if constexpr (sizeof(Unit) == 1) _mm512_storeu_si512(p, a);
        if constexpr (sizeof(Unit) == 2) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_cvtepi16_epi8(a));
        }
        if constexpr (sizeof(Unit) == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(a));
        }
        if constexpr (sizeof(Unit) == 8) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm512_cvtepi64_epi8(a));
        }
    }
    static Vec bit_and(Vec a, Vec b) noexcept { return _mm512_and_si512(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm512_or_si512(a, b); }
    static Vec bit_xor(Vec a, Vec b) noexcept { return _mm512_xor_si512(a, b); }
    static Vec and3(Vec a, Vec b, Vec c) noexcept {
        return _mm512_ternarylogic_epi64(a, b, c, 0x80);
    }
    static Vec and_not(Vec a, Vec b) noexcept { return _mm512_andnot_si512(b, a); }
    static Vec add(Vec a, Vec b) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm512_add_epi8(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm512_add_epi16(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm512_add_epi32(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm512_add_epi64(a, b);
    }
    static Vec sub(Vec a, Vec b) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm512_sub_epi8(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm512_sub_epi16(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm512_sub_epi32(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm512_sub_epi64(a, b);
    }
    static Vec or_lowest(Vec used, Vec fresh) noexcept {  // used | (fresh & -fresh)
        return _mm512_ternarylogic_epi64(used, fresh, sub(_mm512_setzero_si512(), fresh), 0xF8);
    }
    static Mask nonzero(Vec a) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm512_test_epi8_mask(a, a);
        if constexpr (sizeof(Unit) == 2) return _mm512_test_epi16_mask(a, a);
        if constexpr (sizeof(Unit) == 4) return _mm512_test_epi32_mask(a, a);
        if constexpr (sizeof(Unit) == 8) return _mm512_test_epi64_mask(a, a);
    }
    static Mask is_zero(Vec a) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm512_testn_epi8_mask(a, a);
        if constexpr (sizeof(Unit) == 2) return _mm512_testn_epi16_mask(a, a);
        if constexpr (sizeof(Unit) == 4) return _mm512_testn_epi32_mask(a, a);
        if constexpr (sizeof(Unit) == 8) return _mm512_testn_epi64_mask(a, a);
    }
    static Mask at_most(Vec a, std::size_t i) noexcept {
        const Vec b = splat(i);
        if constexpr (sizeof(Unit) == 1) return _mm512_cmple_epu8_mask(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm512_cmple_epu16_mask(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm512_cmple_epu32_mask(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm512_cmple_epu64_mask(a, b);
    }
    static Vec max(Vec a, Vec b) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm512_max_epu8(a, b);
        if constexpr (sizeof(Unit) == 2) return _mm512_max_epu16(a, b);
        if constexpr (sizeof(Unit) == 4) return _mm512_max_epu32(a, b);
        if constexpr (sizeof(Unit) == 8) return _mm512_max_epu64(a, b);
    }
    // max(len, n) / 2 - 1 saturating at 0, the lengths widened from bytes.
    static Vec windows(const std::uint8_t* lengths, std::size_t n) noexcept {
        Vec len;
        if constexpr (sizeof(Unit) == 1) len = _mm512_loadu_si512(lengths);
        if constexpr (sizeof(Unit) == 2) {
            len =
                _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(lengths)));
        }
        if constexpr (sizeof(Unit) == 4) {
            len = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lengths)));
        }
        if constexpr (sizeof(Unit) == 8) {
            len = _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lengths)));
        }
        const Vec longer = max(len, splat(n)), one = splat(1);
        Vec half;
        if constexpr (sizeof(Unit) == 1) half = bit_and(_mm512_srli_epi16(longer, 1), splat(0x7F));
        if constexpr (sizeof(Unit) == 2) half = _mm512_srli_epi16(longer, 1);
        if constexpr (sizeof(Unit) == 4) half = _mm512_srli_epi32(longer, 1);
        if constexpr (sizeof(Unit) == 8) half = _mm512_srli_epi64(longer, 1);
        return sub(max(half, one), one);
    }
    // Bits 0..w: all ones shifted up by w + 1, inverted; the variable shifts give 0 for counts
    // of the lane's width or more, so a window past the lane gives all ones. Bytes have no
    // variable shift and take a table instead (w is at most 31; from 7 on the lane is full).
    static Vec top_edges(Vec w) noexcept {
        const Vec ones = splat(~std::uint64_t{0}), count = add(w, splat(1));
        if constexpr (sizeof(Unit) == 1) {
            const Vec table = _mm512_broadcast_i32x4(
                _mm_setr_epi8(1, 3, 7, 15, 31, 63, 127, -1, -1, -1, -1, -1, -1, -1, -1, -1));
            return _mm512_shuffle_epi8(table, _mm512_min_epu8(w, splat(15)));
        }
        if constexpr (sizeof(Unit) == 2)
            return _mm512_andnot_si512(_mm512_sllv_epi16(ones, count), ones);
        if constexpr (sizeof(Unit) == 4)
            return _mm512_andnot_si512(_mm512_sllv_epi32(ones, count), ones);
        if constexpr (sizeof(Unit) == 8)
            return _mm512_andnot_si512(_mm512_sllv_epi64(ones, count), ones);
    }
    static Mask both(Mask a, Mask b) noexcept { return static_cast<Mask>(a & b); }
    static Vec keep(Vec a, Mask m) noexcept {
        if constexpr (sizeof(Unit) == 1) return _mm512_maskz_mov_epi8(m, a);
        if constexpr (sizeof(Unit) == 2) return _mm512_maskz_mov_epi16(m, a);
        if constexpr (sizeof(Unit) == 4) return _mm512_maskz_mov_epi32(m, a);
        if constexpr (sizeof(Unit) == 8) return _mm512_maskz_mov_epi64(m, a);
    }
};

}  // namespace
}  // namespace quillon::simd::avx512

namespace quillon::simd::packed {

void jaro_block_avx512(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept {
    avx512::jaro_block<avx512::JaroLanes>(query, block, out);
}

}  // namespace quillon::simd::packed
