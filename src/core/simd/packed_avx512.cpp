// The narrow-lane Myers kernel on AVX-512: 64 lanes of 8 bits, 32 of 16, 16 of 32 or 8 of 64 per
// register, the position masks found by byte shuffles and lane permutes. Built with -mavx512f
// -mavx512bw -mavx2 and entered only when avx512bw_available() holds.
// GCC 12 reports the self-initialised placeholders of _mm512_undefined_epi32() and friends as
// uninitialized once inlined (GCC bug 105593); the headers are right, so the file is exempt.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include <type_traits>

#define QUILLON_ISA avx512
#include "packed.inl"

namespace quillon::simd::avx512 {
namespace {

// The bitwise operations, which ignore lane boundaries. Ternary-logic immediates are the truth
// table over a = 0xF0, b = 0xCC, c = 0xAA.
struct Bits512 {
    using Vec = __m512i;
    static Vec bit_and(Vec a, Vec b) noexcept { return _mm512_and_si512(a, b); }
    static Vec bit_or(Vec a, Vec b) noexcept { return _mm512_or_si512(a, b); }
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {  // (a ^ b) | c
        return _mm512_ternarylogic_epi64(a, b, c, 0xBE);
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {  // a | ~(b | c)
        return _mm512_ternarylogic_epi64(a, b, c, 0xF1);
    }
};

// What depends only on the lane width: splat, addition, the active lanes and the score.
template <int Bits>
struct Counting512 : Bits512 {
    using Mask =
        std::conditional_t<Bits == 8, __mmask64,
                           std::conditional_t<Bits == 16, __mmask32,
                                              std::conditional_t<Bits == 32, __mmask16, __mmask8>>>;
    static Vec splat(std::uint64_t v) noexcept {
        if constexpr (Bits == 8) return _mm512_set1_epi8(static_cast<char>(v));
        if constexpr (Bits == 16) return _mm512_set1_epi16(static_cast<short>(v));
        if constexpr (Bits == 32) return _mm512_set1_epi32(static_cast<int>(v));
        if constexpr (Bits == 64) return _mm512_set1_epi64(static_cast<long long>(v));
    }
    static Vec add(Vec a, Vec b) noexcept {
        if constexpr (Bits == 8) return _mm512_add_epi8(a, b);
        if constexpr (Bits == 16) return _mm512_add_epi16(a, b);
        if constexpr (Bits == 32) return _mm512_add_epi32(a, b);
        if constexpr (Bits == 64) return _mm512_add_epi64(a, b);
    }
    static Mask active(Vec lengths, std::size_t i) noexcept {
        const Vec at = splat(i);
        if constexpr (Bits == 8) return _mm512_cmpgt_epu8_mask(lengths, at);
        if constexpr (Bits == 16) return _mm512_cmpgt_epu16_mask(lengths, at);
        if constexpr (Bits == 32) return _mm512_cmpgt_epu32_mask(lengths, at);
        if constexpr (Bits == 64) return _mm512_cmpgt_epu64_mask(lengths, at);
    }
    // Active lanes whose v has the bit of last set.
    static Mask test(Mask active, Vec v, Vec last) noexcept {
        if constexpr (Bits == 8) return _mm512_mask_test_epi8_mask(active, v, last);
        if constexpr (Bits == 16) return _mm512_mask_test_epi16_mask(active, v, last);
        if constexpr (Bits == 32) return _mm512_mask_test_epi32_mask(active, v, last);
        if constexpr (Bits == 64) return _mm512_mask_test_epi64_mask(active, v, last);
    }
    // score + by in the lanes of k.
    static Vec add_where(Vec score, Mask k, Vec by) noexcept {
        if constexpr (Bits == 8) return _mm512_mask_add_epi8(score, k, score, by);
        if constexpr (Bits == 16) return _mm512_mask_add_epi16(score, k, score, by);
        if constexpr (Bits == 32) return _mm512_mask_add_epi32(score, k, score, by);
        if constexpr (Bits == 64) return _mm512_mask_add_epi64(score, k, score, by);
    }
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last, Mask active) noexcept {
        score = add_where(score, test(active, hp, last), splat(1));
        return add_where(score, test(active, hn, last), splat(~std::uint64_t{0}));
    }
};

template <class Unit>
__m512i wide_table(const std::uint64_t* masks, std::size_t count, std::size_t from = 0) noexcept {
    alignas(64) Unit t[64 / sizeof(Unit)] = {};
    for (std::size_t x = 0; x < count; ++x) t[x] = static_cast<Unit>(masks[from + x]);
    return _mm512_load_si512(t);
}

struct Lanes8 : Counting512<8> {
    static constexpr std::size_t width = 64;
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
    static Vec load_units(const std::uint8_t* row) noexcept { return _mm512_loadu_si512(row); }
    static Vec lookup(const Tables& t, Vec u) noexcept {
        const Vec nibble = _mm512_set1_epi8(0x0F);
        const Vec low = _mm512_shuffle_epi8(t.low, _mm512_and_si512(u, nibble));
        const Vec high =
            _mm512_shuffle_epi8(t.high, _mm512_and_si512(_mm512_srli_epi16(u, 4), nibble));
        return _mm512_and_si512(low, high);
    }
    static void store(Vec score, std::uint32_t* out) noexcept {
        _mm512_storeu_si512(out, _mm512_cvtepu8_epi32(_mm512_castsi512_si128(score)));
        _mm512_storeu_si512(out + 16, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(score, 1)));
        _mm512_storeu_si512(out + 32, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(score, 2)));
        _mm512_storeu_si512(out + 48, _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(score, 3)));
    }
};

struct Lanes16 : Counting512<16> {
    static constexpr std::size_t width = 32;
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
    static Vec load_units(const std::uint8_t* row) noexcept {
        return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)));
    }
    static Vec lookup(const Tables& t, Vec u) noexcept {
        const Vec low = _mm512_and_si512(u, _mm512_set1_epi16(15));
        const Vec high = _mm512_or_si512(_mm512_srli_epi16(u, 4), _mm512_set1_epi16(16));
        return _mm512_and_si512(_mm512_permutexvar_epi16(low, t.both),
                                _mm512_permutexvar_epi16(high, t.both));
    }
    static void store(Vec score, std::uint32_t* out) noexcept {
        _mm512_storeu_si512(out, _mm512_cvtepu16_epi32(_mm512_castsi512_si256(score)));
        _mm512_storeu_si512(out + 16, _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(score, 1)));
    }
};

struct Lanes32 : Counting512<32> {
    static constexpr std::size_t width = 16;
    struct Tables {
        Vec low, high;
    };
    static Tables tables(const packed::Query& q) noexcept {
        return {wide_table<std::uint32_t>(q.low, 16), wide_table<std::uint32_t>(q.high, 16)};
    }
    static Vec load_units(const std::uint8_t* row) noexcept {
        return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
    }
    static Vec lookup(const Tables& t, Vec u) noexcept {
        const Vec low = _mm512_and_si512(u, _mm512_set1_epi32(15));
        const Vec high = _mm512_srli_epi32(u, 4);
        return _mm512_and_si512(_mm512_permutexvar_epi32(low, t.low),
                                _mm512_permutexvar_epi32(high, t.high));
    }
    static void store(Vec score, std::uint32_t* out) noexcept { _mm512_storeu_si512(out, score); }
};

struct Lanes64 : Counting512<64> {
    static constexpr std::size_t width = 8;
    // Sixteen masks per table in two registers; the two-source permute picks by bit 3.
    struct Tables {
        Vec low0, low1, high0, high1;
    };
    static Tables tables(const packed::Query& q) noexcept {
        return {wide_table<std::uint64_t>(q.low, 8), wide_table<std::uint64_t>(q.low, 8, 8),
                wide_table<std::uint64_t>(q.high, 8), wide_table<std::uint64_t>(q.high, 8, 8)};
    }
    static Vec load_units(const std::uint8_t* row) noexcept {
        return _mm512_cvtepu8_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row)));
    }
    static Vec lookup(const Tables& t, Vec u) noexcept {
        const Vec low = _mm512_and_si512(u, _mm512_set1_epi64(15));
        const Vec high = _mm512_srli_epi64(u, 4);
        return _mm512_and_si512(_mm512_permutex2var_epi64(t.low0, low, t.low1),
                                _mm512_permutex2var_epi64(t.high0, high, t.high1));
    }
    static void store(Vec score, std::uint32_t* out) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_cvtepi64_epi32(score));
    }
};

}  // namespace
}  // namespace quillon::simd::avx512

namespace quillon::simd::packed {

void myers_block_avx512(const Query& query, BlockView block, std::uint32_t* out) noexcept {
    using namespace avx512;
    if (query.length <= 8) return myers_lanes<Lanes8>(query, block, out);
    if (query.length <= 16) return myers_lanes<Lanes16>(query, block, out);
    if (query.length <= 32) return myers_lanes<Lanes32>(query, block, out);
    myers_lanes<Lanes64>(query, block, out);
}

}  // namespace quillon::simd::packed
