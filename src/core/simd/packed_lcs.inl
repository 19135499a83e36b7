// The narrow-lane LCS kernel, written once over a lanes type and included by each
// instruction-set file after its QUILLON_ISA; no include guard, since every inclusion opens a
// different namespace. Also the plain lanes type, which every file may fall back on.
#include <cstddef>
#include <cstdint>

#include "packed_lcs.hpp"

namespace quillon::simd::QUILLON_ISA {

// Set bits of x, inline: the baseline has no population count instruction, and a call into
// the compiler's runtime (or a baseline copy of a shared helper) is what these files avoid.
inline unsigned lcs_ones(std::uint64_t x) noexcept {
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return static_cast<unsigned>((x * 0x0101010101010101ULL) >> 56);
}

// Lanes of plain unsigned integers of Unit's width, `width` at a time: the reference route, and
// the fallback where an instruction set has no lanes type of that width.
template <class Unit, std::size_t Width>
struct LcsPlainLanes {
    static constexpr std::size_t width = Width;
    struct Vec {
        Unit v[Width];
    };
    struct Tables {
        Unit low[16], high[16];
    };

    static Tables tables(const packed::Query& q) noexcept {
        Tables t;
        for (std::size_t x = 0; x < 16; ++x) {
            t.low[x] = static_cast<Unit>(q.low[x]);
            t.high[x] = static_cast<Unit>(q.high[x]);
        }
        return t;
    }
    static Vec splat(std::uint64_t value) noexcept {
        Vec r;
        for (auto& v : r.v) v = static_cast<Unit>(value);
        return r;
    }
    static Vec masks(const Tables& t, const std::uint8_t* row) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k)
            r.v[k] = static_cast<Unit>(t.low[row[k] & 15] & t.high[row[k] >> 4]);
        return r;
    }
    static Vec step(Vec s, Vec eq) noexcept {
        for (std::size_t k = 0; k < Width; ++k) {
            const Unit u = static_cast<Unit>(s.v[k] & eq.v[k]);
            s.v[k] =
                static_cast<Unit>(static_cast<Unit>(s.v[k] + u) | static_cast<Unit>(s.v[k] - u));
        }
        return s;
    }
    static void count(Vec s, Vec keep, std::uint8_t* out) noexcept {
        for (std::size_t k = 0; k < Width; ++k)
            out[k] = static_cast<std::uint8_t>(lcs_ones(static_cast<Unit>(~s.v[k] & keep.v[k])));
    }
};

// The LCS step S' = (S + (S & M)) | (S - (S & M)) on L::width lanes at a time, M the position
// mask of the lane's unit (Hyyrö's bit-vector LCS; the zeros of S among the query's bits count
// the LCS). Bits above the query's length are never masked: carries only move upwards, so they
// cannot reach the bits that are counted.
template <class L>
void lcs_lanes(const packed::Query& query, packed::BlockView block, std::uint8_t* out) noexcept {
    const auto tables = L::tables(query);
    const std::uint64_t low =
        query.length >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << query.length) - 1;
    const auto keep = L::splat(low);
    for (std::size_t base = 0; base < packed::lanes; base += L::width) {
        std::uint8_t steps = 0;  // bytes, so that the maximum is a few vector instructions
        for (std::size_t k = 0; k < L::width; ++k) {
            steps = block.length[base + k] > steps ? block.length[base + k] : steps;
        }
        auto s = L::splat(~std::uint64_t{0});
        for (std::size_t i = 0; i < steps; ++i) {
            s = L::step(s, L::masks(tables, block.units + i * packed::lanes + base));
        }
        L::count(s, keep, out + base);
    }
}

// The lanes' rows transposed into steps: units[i * lanes + k] = rows[k * max_units + i] for
// every step i below steps rounded up to 32.
#if defined(__AVX2__)
// 32 rows of 32 bytes at a time. Four rounds of unpacks (bytes, then pairs, quads, eights) of
// registers 2k and 2k + 1 into k and k + 8 transpose the 16 x 16 blocks in both 128-bit halves
// of 16 rows; register j then holds column reverse4(j) (its 4 bits reversed: 1 -> 8) of the
// low half and that column + 16 in the high half. Two such groups of 16 rows are joined by
// 128-bit permutes.
inline void lcs_unpack_round(__m256i* x, int bits) noexcept {
    __m256i y[16];
    for (int k = 0; k < 8; ++k) {
        const __m256i a = x[2 * k], b = x[2 * k + 1];
        if (bits == 8) {
            y[k] = _mm256_unpacklo_epi8(a, b), y[k + 8] = _mm256_unpackhi_epi8(a, b);
        } else if (bits == 16) {
            y[k] = _mm256_unpacklo_epi16(a, b), y[k + 8] = _mm256_unpackhi_epi16(a, b);
        } else if (bits == 32) {
            y[k] = _mm256_unpacklo_epi32(a, b), y[k + 8] = _mm256_unpackhi_epi32(a, b);
        } else {
            y[k] = _mm256_unpacklo_epi64(a, b), y[k + 8] = _mm256_unpackhi_epi64(a, b);
        }
    }
    for (int k = 0; k < 16; ++k) x[k] = y[k];
}

inline void lcs_transpose32(const std::uint8_t* rows, std::uint8_t* units) noexcept {
    constexpr int reverse4[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
    __m256i x[32];
    for (std::size_t r = 0; r < 32; ++r) {
        x[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows + r * packed::max_units));
    }
    for (int group = 0; group < 32; group += 16) {
        for (int bits = 8; bits <= 64; bits *= 2) lcs_unpack_round(x + group, bits);
    }
    for (std::size_t c = 0; c < 16; ++c) {
        const __m256i low = x[reverse4[c]], high = x[16 + reverse4[c]];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(units + c * packed::lanes),
                            _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(units + (c + 16) * packed::lanes),
                            _mm256_permute2x128_si256(low, high, 0x31));
    }
}

inline void lcs_transpose(packed::LcsBlock block, std::uint8_t* units) noexcept {
    for (std::size_t step = 0; step < block.steps; step += 32) {
        for (std::size_t lane = 0; lane < packed::lanes; lane += 32) {
            lcs_transpose32(block.rows + lane * packed::max_units + step,
                            units + step * packed::lanes + lane);
        }
    }
}
#else
inline void lcs_transpose(packed::LcsBlock block, std::uint8_t* units) noexcept {
    for (std::size_t i = 0; i < block.steps; ++i) {
        for (std::size_t k = 0; k < packed::lanes; ++k) {
            units[i * packed::lanes + k] = block.rows[k * packed::max_units + i];
        }
    }
}
#endif

template <class L>
void lcs_block(const packed::Query& query, packed::LcsBlock block, std::uint8_t* out) noexcept {
    alignas(64) std::uint8_t units[packed::max_units * packed::lanes];
    lcs_transpose(block, units);
    lcs_lanes<L>(query, {units, block.length, block.steps}, out);
}

}  // namespace quillon::simd::QUILLON_ISA
