// The narrow-lane LCS kernel on AVX2: 32 lanes of 8 bits, 16 of 16 or 8 of 32 per register;
// queries longer than 32 units take the plain 64-bit lanes. Built with -mavx2 and entered only
// when avx2_available() holds.
#include <immintrin.h>

#define QUILLON_ISA avx2
#include "packed_lcs.inl"

namespace quillon::simd::avx2 {
namespace {

// Sixteen table bytes in both halves of a register, for the byte shuffle.
template <class Byte>
__m256i lcs_byte_table(const std::uint64_t* masks, Byte byte) noexcept {
    alignas(16) std::uint8_t t[16];
    for (std::size_t x = 0; x < 16; ++x) t[x] = byte(masks[x]);
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t)));
}

// Set bits of every byte: a nibble table looked up twice.
__m256i byte_ones(__m256i x) noexcept {
    const __m256i table = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1,
                                           2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    return _mm256_add_epi8(
        _mm256_shuffle_epi8(table, _mm256_and_si256(x, nibble)),
        _mm256_shuffle_epi8(table, _mm256_and_si256(_mm256_srli_epi16(x, 4), nibble)));
}

// The bitwise part of the step, which ignores lane boundaries; add is the lane width's.
template <class Add>
__m256i lcs_step(__m256i s, __m256i eq, Add add) noexcept {
    return _mm256_or_si256(add(s, _mm256_and_si256(s, eq)), _mm256_andnot_si256(eq, s));
}

struct LcsLanes8 {
    static constexpr std::size_t width = 32;
    using Vec = __m256i;
    struct Tables {
        Vec low, high;
    };
    static Tables tables(const packed::Query& q) noexcept {
        auto byte0 = [](std::uint64_t m) { return static_cast<std::uint8_t>(m); };
        return {lcs_byte_table(q.low, byte0), lcs_byte_table(q.high, byte0)};
    }
    static Vec splat(std::uint64_t v) noexcept { return _mm256_set1_epi8(static_cast<char>(v)); }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        const Vec u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
        const Vec nibble = _mm256_set1_epi8(0x0F);
        const Vec low = _mm256_shuffle_epi8(t.low, _mm256_and_si256(u, nibble));
        const Vec high =
            _mm256_shuffle_epi8(t.high, _mm256_and_si256(_mm256_srli_epi16(u, 4), nibble));
        return _mm256_and_si256(low, high);
    }
    static Vec step(Vec s, Vec eq) noexcept {
        return lcs_step(s, eq, [](Vec a, Vec b) { return _mm256_add_epi8(a, b); });
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            byte_ones(_mm256_andnot_si256(s, keep)));
    }
};

struct LcsLanes16 {
    static constexpr std::size_t width = 16;
    using Vec = __m256i;
    // Each 16-bit mask as its low and its high byte, blended after the byte shuffles.
    struct Tables {
        Vec low0, low1, high0, high1;
    };
    static Tables tables(const packed::Query& q) noexcept {
        auto byte0 = [](std::uint64_t m) { return static_cast<std::uint8_t>(m); };
        auto byte1 = [](std::uint64_t m) { return static_cast<std::uint8_t>(m >> 8); };
        return {lcs_byte_table(q.low, byte0), lcs_byte_table(q.low, byte1),
                lcs_byte_table(q.high, byte0), lcs_byte_table(q.high, byte1)};
    }
    static Vec splat(std::uint64_t v) noexcept { return _mm256_set1_epi16(static_cast<short>(v)); }
    static Vec half_lookup(Vec t0, Vec t1, Vec nibbles) noexcept {
        const Vec index = _mm256_or_si256(nibbles, _mm256_slli_epi16(nibbles, 8));
        return _mm256_blendv_epi8(_mm256_shuffle_epi8(t0, index), _mm256_shuffle_epi8(t1, index),
                                  _mm256_set1_epi16(static_cast<short>(0xFF00)));
    }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        const Vec u = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
        const Vec low = half_lookup(t.low0, t.low1, _mm256_and_si256(u, _mm256_set1_epi16(15)));
        const Vec high = half_lookup(t.high0, t.high1, _mm256_srli_epi16(u, 4));
        return _mm256_and_si256(low, high);
    }
    static Vec step(Vec s, Vec eq) noexcept {
        return lcs_step(s, eq, [](Vec a, Vec b) { return _mm256_add_epi16(a, b); });
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        const Vec bytes = byte_ones(_mm256_andnot_si256(s, keep));
        const Vec words = _mm256_and_si256(_mm256_add_epi16(bytes, _mm256_srli_epi16(bytes, 8)),
                                           _mm256_set1_epi16(0xFF));
        alignas(32) std::uint16_t t[16];
        _mm256_store_si256(reinterpret_cast<__m256i*>(t), words);
        for (std::size_t k = 0; k < 16; ++k) out[k] = static_cast<std::uint8_t>(t[k]);
    }
};

struct LcsLanes32 {
    static constexpr std::size_t width = 8;
    using Vec = __m256i;
    // Sixteen 32-bit masks per table as two registers of eight, chosen by bit 3 of the nibble.
    struct Tables {
        Vec low0, low1, high0, high1;
    };
    static Tables tables(const packed::Query& q) noexcept {
        std::uint32_t low[16], high[16];
        for (std::size_t x = 0; x < 16; ++x) {
            low[x] = static_cast<std::uint32_t>(q.low[x]);
            high[x] = static_cast<std::uint32_t>(q.high[x]);
        }
        auto load = [](const std::uint32_t* p) {
            return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        };
        return {load(low), load(low + 8), load(high), load(high + 8)};
    }
    static Vec splat(std::uint64_t v) noexcept { return _mm256_set1_epi32(static_cast<int>(v)); }
    static Vec half_lookup(Vec t0, Vec t1, Vec nibbles) noexcept {
        const Vec upper = _mm256_cmpgt_epi32(nibbles, _mm256_set1_epi32(7));
        return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(t0, nibbles),
                                  _mm256_permutevar8x32_epi32(t1, nibbles), upper);
    }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        const Vec u = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)));
        const Vec low = half_lookup(t.low0, t.low1, _mm256_and_si256(u, _mm256_set1_epi32(15)));
        const Vec high = half_lookup(t.high0, t.high1, _mm256_srli_epi32(u, 4));
        return _mm256_and_si256(low, high);
    }
    static Vec step(Vec s, Vec eq) noexcept {
        return lcs_step(s, eq, [](Vec a, Vec b) { return _mm256_add_epi32(a, b); });
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        const Vec bytes = byte_ones(_mm256_andnot_si256(s, keep));
        const Vec words = _mm256_add_epi16(bytes, _mm256_srli_epi16(bytes, 8));
        const Vec dwords = _mm256_and_si256(_mm256_add_epi32(words, _mm256_srli_epi32(words, 16)),
                                            _mm256_set1_epi32(0xFF));
        alignas(32) std::uint32_t t[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(t), dwords);
        for (std::size_t k = 0; k < 8; ++k) out[k] = static_cast<std::uint8_t>(t[k]);
    }
};

}  // namespace
}  // namespace quillon::simd::avx2

namespace quillon::simd::packed {

void lcs_block_avx2(const Query& query, LcsBlock block, std::uint8_t* out) noexcept {
    using namespace avx2;
    if (query.length <= 8) return lcs_block<LcsLanes8>(query, block, out);
    if (query.length <= 16) return lcs_block<LcsLanes16>(query, block, out);
    if (query.length <= 32) return lcs_block<LcsLanes32>(query, block, out);
    lcs_block<LcsPlainLanes<std::uint64_t, 4>>(query, block, out);
}

}  // namespace quillon::simd::packed
