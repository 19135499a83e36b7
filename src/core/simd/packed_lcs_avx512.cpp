// The narrow-lane LCS kernel on AVX-512: 64 lanes of 8 bits, 32 of 16, 16 of 32 or 8 of 64 per
// register, the position masks found by byte shuffles and lane permutes. Built with -mavx512f
// -mavx512bw -mavx2 and entered only when avx512bw_available() holds.
// GCC 12 reports the self-initialised placeholders of _mm512_undefined_epi32() and friends as
// uninitialized once inlined (GCC bug 105593); the headers are right, so the file is exempt.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#define QUILLON_ISA avx512
#include "packed_lcs.inl"

namespace quillon::simd::avx512 {
namespace {

// Set bits of every byte: a nibble table looked up twice.
__m512i byte_ones(__m512i x) noexcept {
    const __m512i table =
        _mm512_broadcast_i32x4(_mm_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4));
    const __m512i nibble = _mm512_set1_epi8(0x0F);
    return _mm512_add_epi8(
        _mm512_shuffle_epi8(table, _mm512_and_si512(x, nibble)),
        _mm512_shuffle_epi8(table, _mm512_and_si512(_mm512_srli_epi16(x, 4), nibble)));
}

// The step with the lane width's addition: S + (S & M), then OR S & ~M (which is S - (S & M))
// in one ternary-logic instruction over a = sum, b = S, c = M: a | (b & ~c) is 0xF4.
template <class Add>
__m512i lcs_step(__m512i s, __m512i eq, Add add) noexcept {
    return _mm512_ternarylogic_epi64(add(s, _mm512_and_si512(s, eq)), s, eq, 0xF4);
}

template <class Unit>
__m512i lcs_wide_table(const std::uint64_t* masks, std::size_t count,
                       std::size_t from = 0) noexcept {
    alignas(64) Unit t[64 / sizeof(Unit)] = {};
    for (std::size_t x = 0; x < count; ++x) t[x] = static_cast<Unit>(masks[from + x]);
    return _mm512_load_si512(t);
}

struct LcsLanes8 {
    static constexpr std::size_t width = 64;
    using Vec = __m512i;
    struct Tables {
        Vec low, high;
    };
    // Sixteen bytes in every 128-bit part, for the byte shuffle.
    static Vec byte_table(const std::uint64_t* masks) noexcept {
        alignas(16) std::uint8_t t[16];
        for (std::size_t x = 0; x < 16; ++x) t[x] = static_cast<std::uint8_t>(masks[x]);
        return _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(t)));
    }
    static Tables tables(const packed::Query& q) noexcept {
        return {byte_table(q.low), byte_table(q.high)};
    }
    static Vec splat(std::uint64_t v) noexcept { return _mm512_set1_epi8(static_cast<char>(v)); }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        const Vec u = _mm512_loadu_si512(row);
        const Vec nibble = _mm512_set1_epi8(0x0F);
        const Vec low = _mm512_shuffle_epi8(t.low, _mm512_and_si512(u, nibble));
        const Vec high =
            _mm512_shuffle_epi8(t.high, _mm512_and_si512(_mm512_srli_epi16(u, 4), nibble));
        return _mm512_and_si512(low, high);
    }
    static Vec step(Vec s, Vec eq) noexcept {
        return lcs_step(s, eq, [](Vec a, Vec b) { return _mm512_add_epi8(a, b); });
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        _mm512_storeu_si512(out, byte_ones(_mm512_andnot_si512(s, keep)));
    }
};

struct LcsLanes16 {
    static constexpr std::size_t width = 32;
    using Vec = __m512i;
    // One register of 32 words: the low-nibble masks, then the high-nibble ones.
    struct Tables {
        Vec both;
    };
    static Tables tables(const packed::Query& q) noexcept {
        alignas(64) std::uint16_t t[32];
        for (std::size_t x = 0; x < 16; ++x) {
            t[x] = static_cast<std::uint16_t>(q.low[x]);
            t[16 + x] = static_cast<std::uint16_t>(q.high[x]);
        }
        return {_mm512_load_si512(t)};
    }
    static Vec splat(std::uint64_t v) noexcept { return _mm512_set1_epi16(static_cast<short>(v)); }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        const Vec u =
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)));
        const Vec low = _mm512_and_si512(u, _mm512_set1_epi16(15));
        const Vec high = _mm512_or_si512(_mm512_srli_epi16(u, 4), _mm512_set1_epi16(16));
        return _mm512_and_si512(_mm512_permutexvar_epi16(low, t.both),
                                _mm512_permutexvar_epi16(high, t.both));
    }
    static Vec step(Vec s, Vec eq) noexcept {
        return lcs_step(s, eq, [](Vec a, Vec b) { return _mm512_add_epi16(a, b); });
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        const Vec bytes = byte_ones(_mm512_andnot_si512(s, keep));
        const Vec words = _mm512_add_epi16(bytes, _mm512_srli_epi16(bytes, 8));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_cvtepi16_epi8(words));
    }
};

struct LcsLanes32 {
    static constexpr std::size_t width = 16;
    using Vec = __m512i;
    struct Tables {
        Vec low, high;
    };
    static Tables tables(const packed::Query& q) noexcept {
        return {lcs_wide_table<std::uint32_t>(q.low, 16),
                lcs_wide_table<std::uint32_t>(q.high, 16)};
    }
    static Vec splat(std::uint64_t v) noexcept { return _mm512_set1_epi32(static_cast<int>(v)); }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        const Vec u = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
        const Vec low = _mm512_and_si512(u, _mm512_set1_epi32(15));
        const Vec high = _mm512_srli_epi32(u, 4);
        return _mm512_and_si512(_mm512_permutexvar_epi32(low, t.low),
                                _mm512_permutexvar_epi32(high, t.high));
    }
    static Vec step(Vec s, Vec eq) noexcept {
        return lcs_step(s, eq, [](Vec a, Vec b) { return _mm512_add_epi32(a, b); });
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        const Vec bytes = byte_ones(_mm512_andnot_si512(s, keep));
        const Vec words = _mm512_add_epi16(bytes, _mm512_srli_epi16(bytes, 8));
        const Vec dwords = _mm512_and_si512(_mm512_add_epi32(words, _mm512_srli_epi32(words, 16)),
                                            _mm512_set1_epi32(0xFF));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm512_cvtepi32_epi8(dwords));
    }
};

struct LcsLanes64 {
    static constexpr std::size_t width = 8;
    using Vec = __m512i;
    // Sixteen masks per table in two registers; the two-source permute picks by bit 3.
    struct Tables {
        Vec low0, low1, high0, high1;
    };
    static Tables tables(const packed::Query& q) noexcept {
        return {lcs_wide_table<std::uint64_t>(q.low, 8), lcs_wide_table<std::uint64_t>(q.low, 8, 8),
                lcs_wide_table<std::uint64_t>(q.high, 8),
                lcs_wide_table<std::uint64_t>(q.high, 8, 8)};
    }
    static Vec splat(std::uint64_t v) noexcept {
        return _mm512_set1_epi64(static_cast<long long>(v));
    }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        const Vec u = _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)));
        const Vec low = _mm512_and_si512(u, _mm512_set1_epi64(15));
        const Vec high = _mm512_srli_epi64(u, 4);
        return _mm512_and_si512(_mm512_permutex2var_epi64(t.low0, low, t.low1),
                                _mm512_permutex2var_epi64(t.high0, high, t.high1));
    }
    static Vec step(Vec s, Vec eq) noexcept {
        return lcs_step(s, eq, [](Vec a, Vec b) { return _mm512_add_epi64(a, b); });
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        // The byte counts summed per 64-bit lane by a sum of absolute differences against zero.
        const Vec sums =
            _mm512_sad_epu8(byte_ones(_mm512_andnot_si512(s, keep)), _mm512_setzero_si512());
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm512_cvtepi64_epi8(sums));
    }
};

}  // namespace
}  // namespace quillon::simd::avx512

namespace quillon::simd::packed {

void lcs_block_avx512(const Query& query, LcsBlock block, std::uint8_t* out) noexcept {
    using namespace avx512;
    if (query.length <= 8) return lcs_block<LcsLanes8>(query, block, out);
    if (query.length <= 16) return lcs_block<LcsLanes16>(query, block, out);
    if (query.length <= 32) return lcs_block<LcsLanes32>(query, block, out);
    lcs_block<LcsLanes64>(query, block, out);
}

}  // namespace quillon::simd::packed
