// The narrow-lane Needleman-Wunsch kernels on AVX2: 16 lanes of 16 bits or 8 of 32 per
// register. Built with -mavx2 and entered only when avx2_available() holds.
#include <immintrin.h>

#include <type_traits>

#define QUILLON_ISA avx2
#include "needleman.inl"

namespace quillon::simd {
namespace avx2 {
namespace {

// 16-bit cells add with saturation, which keeps the unreachable value at the bottom; 32-bit
// cells wrap, which the bound makes harmless (needleman.cpp).
template <int Bits>
struct NwLanes256 {
    using Cell = std::conditional_t<Bits == 16, std::int16_t, std::int32_t>;
    using Unit = std::conditional_t<Bits == 16, std::uint16_t, std::uint32_t>;
    using Vec = __m256i;
    static constexpr std::size_t width = 256 / Bits;
    static constexpr Cell unreachable = static_cast<Cell>(Bits == 16 ? -32768 : -(1 << 30));

    static Vec splat(Cell c) noexcept {
        if constexpr (Bits == 16) return _mm256_set1_epi16(c);
        if constexpr (Bits == 32) return _mm256_set1_epi32(c);
    }
    static Vec splat_unit(Unit c) noexcept { return splat(static_cast<Cell>(c)); }
    static Vec load(const Cell* p) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static void store(Cell* p, Vec a) noexcept {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), a);
    }
    static Vec load_units(const Unit* p) noexcept {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    static Vec add(Vec a, Vec b) noexcept {
        if constexpr (Bits == 16) return _mm256_adds_epi16(a, b);
        if constexpr (Bits == 32) return _mm256_add_epi32(a, b);
    }
    static Vec max(Vec a, Vec b) noexcept {
        if constexpr (Bits == 16) return _mm256_max_epi16(a, b);
        if constexpr (Bits == 32) return _mm256_max_epi32(a, b);
    }
    static Vec pick(Vec x, Vec y, Vec if_equal, Vec if_not) noexcept {
        if constexpr (Bits == 16)
            return _mm256_blendv_epi8(if_not, if_equal, _mm256_cmpeq_epi16(x, y));
        if constexpr (Bits == 32)
            return _mm256_blendv_epi8(if_not, if_equal, _mm256_cmpeq_epi32(x, y));
    }
};

using Lanes16 = NwLanes256<16>;
using Lanes32 = NwLanes256<32>;

}  // namespace
}  // namespace avx2

const nw::Table nw::table_avx2 = {
    avx2::Lanes16::width,
    avx2::Lanes32::width,
    avx2::nw_family::linear_pair<avx2::Lanes16>,
    avx2::nw_family::affine_pair<avx2::Lanes16>,
    avx2::nw_family::linear_pair<avx2::Lanes32>,
    avx2::nw_family::affine_pair<avx2::Lanes32>,
    avx2::nw_family::linear_group<avx2::Lanes16>,
    avx2::nw_family::affine_group<avx2::Lanes16>,
    avx2::nw_family::linear_group<avx2::Lanes32>,
    avx2::nw_family::affine_group<avx2::Lanes32>,
};

}  // namespace quillon::simd
