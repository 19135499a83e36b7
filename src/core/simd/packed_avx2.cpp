// The narrow-lane Myers kernel on AVX2: 32 lanes of 8 bits, 16 of 16 or 8 of 32 per register;
// queries longer than 32 units take the plain 64-bit lanes. Built with -mavx2 and entered only
// when avx2_available() holds.
#include <immintrin.h>

#define QUILLON_ISA avx2
#include "packed.inl"

namespace quillon::simd::avx2 {
namespace {

// What every AVX2 lanes type shares: the bitwise operations, which ignore lane boundaries.
struct Bits256 {
    using Vec = __m256i;
    using Mask = __m256i;  // all ones in an active lane
    static Vec bit_and(Vec a, Vec b) noexcept { return _mm256_and_si256(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm256_or_si256(a, b); }
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {
        return _mm256_or_si256(_mm256_xor_si256(a, b), c);
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {
        return _mm256_or_si256(a, _mm256_andnot_si256(_mm256_or_si256(b, c), _mm256_set1_epi8(-1)));
    }
};

// What depends only on the lane width: splat, addition, the active lanes and the score.
// Lengths are at most 64, so the signed comparisons are exact.
template <int Bits>
struct Counting256 : Bits256 {
    static Vec splat(std::uint64_t v) noexcept {
        if constexpr (Bits == 8) return _mm256_set1_epi8(static_cast<char>(v));
        if constexpr (Bits == 16) return _mm256_set1_epi16(static_cast<short>(v));
        if constexpr (Bits == 32) return _mm256_set1_epi32(static_cast<int>(v));
    }
    static Vec add(Vec a, Vec b) noexcept {
        if constexpr (Bits == 8) return _mm256_add_epi8(a, b);
        if constexpr (Bits == 16) return _mm256_add_epi16(a, b);
        if constexpr (Bits == 32) return _mm256_add_epi32(a, b);
    }
    static Vec sub(Vec a, Vec b) noexcept {
        if constexpr (Bits == 8) return _mm256_sub_epi8(a, b);
        if constexpr (Bits == 16) return _mm256_sub_epi16(a, b);
        if constexpr (Bits == 32) return _mm256_sub_epi32(a, b);
    }
    static Vec equal(Vec a, Vec b) noexcept {
        if constexpr (Bits == 8) return _mm256_cmpeq_epi8(a, b);
        if constexpr (Bits == 16) return _mm256_cmpeq_epi16(a, b);
        if constexpr (Bits == 32) return _mm256_cmpeq_epi32(a, b);
    }
    static Mask active(Vec lengths, std::size_t i) noexcept {
        if constexpr (Bits == 8) return _mm256_cmpgt_epi8(lengths, splat(i));
        if constexpr (Bits == 16) return _mm256_cmpgt_epi16(lengths, splat(i));
        if constexpr (Bits == 32) return _mm256_cmpgt_epi32(lengths, splat(i));
    }
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last, Mask active) noexcept {
        // A set bit compares equal to last: the lane gets -1, which the subtraction adds.
        const Vec up = _mm256_and_si256(equal(_mm256_and_si256(hp, last), last), active);
        const Vec down = _mm256_and_si256(equal(_mm256_and_si256(hn, last), last), active);
        return add(sub(score, up), down);
    }
};

// Sixteen table bytes in both halves of a register, for the byte shuffle.
template <class Byte>
__m256i byte_table(const std::uint64_t* masks, Byte byte) noexcept {
    alignas(16) std::uint8_t t[16];
    for (std::size_t x = 0; x < 16; ++x) t[x] = byte(masks[x]);
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t)));
}

struct Lanes8 : Counting256<8> {
    static constexpr std::size_t width = 32;
    struct Tables {
        Vec low, high;
    };
    static Tables tables(const packed::Query& q) noexcept {
        auto byte0 = [](std::uint64_t m) { return static_cast<std::uint8_t>(m); };
        return {byte_table(q.low, byte0), byte_table(q.high, byte0)};
    }
    static Vec load_units(const std::uint8_t* row) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row));
    }
    static Vec lookup(const Tables& t, Vec u) noexcept {
        const Vec nibble = _mm256_set1_epi8(0x0F);
        const Vec low = _mm256_shuffle_epi8(t.low, _mm256_and_si256(u, nibble));
        const Vec high =
            _mm256_shuffle_epi8(t.high, _mm256_and_si256(_mm256_srli_epi16(u, 4), nibble));
        return _mm256_and_si256(low, high);
    }
    static void store(Vec score, std::uint32_t* out) noexcept {
        alignas(32) std::uint8_t s[32];
        _mm256_store_si256(reinterpret_cast<__m256i*>(s), score);
        for (std::size_t k = 0; k < 32; k += 8) {
            const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + k));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k), _mm256_cvtepu8_epi32(eight));
        }
    }
};

struct Lanes16 : Counting256<16> {
    static constexpr std::size_t width = 16;
    // Each 16-bit mask as its low and its high byte, blended after the byte shuffles.
    struct Tables {
        Vec low0, low1, high0, high1;
    };
    static Tables tables(const packed::Query& q) noexcept {
        auto byte0 = [](std::uint64_t m) { return static_cast<std::uint8_t>(m); };
        auto byte1 = [](std::uint64_t m) { return static_cast<std::uint8_t>(m >> 8); };
        return {byte_table(q.low, byte0), byte_table(q.low, byte1), byte_table(q.high, byte0),
                byte_table(q.high, byte1)};
    }
    static Vec load_units(const std::uint8_t* row) noexcept {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
    }
    static Vec half_lookup(Vec t0, Vec t1, Vec nibbles) noexcept {
        const Vec index = _mm256_or_si256(nibbles, _mm256_slli_epi16(nibbles, 8));
        return _mm256_blendv_epi8(_mm256_shuffle_epi8(t0, index), _mm256_shuffle_epi8(t1, index),
                                  _mm256_set1_epi16(static_cast<short>(0xFF00)));
    }
    static Vec lookup(const Tables& t, Vec u) noexcept {
        const Vec low = half_lookup(t.low0, t.low1, _mm256_and_si256(u, _mm256_set1_epi16(15)));
        const Vec high = half_lookup(t.high0, t.high1, _mm256_srli_epi16(u, 4));
        return _mm256_and_si256(low, high);
    }
    static void store(Vec score, std::uint32_t* out) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                            _mm256_cvtepu16_epi32(_mm256_castsi256_si128(score)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 8),
                            _mm256_cvtepu16_epi32(_mm256_extracti128_si256(score, 1)));
    }
};

struct Lanes32 : Counting256<32> {
    static constexpr std::size_t width = 8;
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
    static Vec load_units(const std::uint8_t* row) noexcept {
        return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)));
    }
    static Vec half_lookup(Vec t0, Vec t1, Vec nibbles) noexcept {
        const Vec upper = _mm256_cmpgt_epi32(nibbles, _mm256_set1_epi32(7));
        return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(t0, nibbles),
                                  _mm256_permutevar8x32_epi32(t1, nibbles), upper);
    }
    static Vec lookup(const Tables& t, Vec u) noexcept {
        const Vec low = half_lookup(t.low0, t.low1, _mm256_and_si256(u, _mm256_set1_epi32(15)));
        const Vec high = half_lookup(t.high0, t.high1, _mm256_srli_epi32(u, 4));
        return _mm256_and_si256(low, high);
    }
    static void store(Vec score, std::uint32_t* out) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), score);
    }
};

}  // namespace
}  // namespace quillon::simd::avx2

namespace quillon::simd::packed {

void myers_block_avx2(const Query& query, BlockView block, std::uint32_t* out) noexcept {
    using namespace avx2;
    if (query.length <= 8) return myers_lanes<Lanes8>(query, block, out);
    if (query.length <= 16) return myers_lanes<Lanes16>(query, block, out);
    if (query.length <= 32) return myers_lanes<Lanes32>(query, block, out);
    myers_lanes<PlainLanes<std::uint64_t, 4>>(query, block, out);
}

}  // namespace quillon::simd::packed
