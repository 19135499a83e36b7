// The narrow-lane Needleman-Wunsch kernels on AVX-512: 32 lanes of 16 bits or 16 of 32 per
// register. Built with -mavx512f -mavx512bw -mavx2 and entered only when avx512bw_available()
// holds.
// GCC 12 reports the self-initialised placeholders of _mm512_undefined_epi32() and friends as
// uninitialized once inlined (GCC bug 105593); the headers are right, so the file is exempt.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include <type_traits>

#define QUILLON_ISA avx512
#include "needleman.inl"

namespace quillon::simd {
namespace avx512 {
namespace {

// 16-bit cells add with saturation, which keeps the unreachable value at the bottom; 32-bit
// cells wrap, which the bound makes harmless (needleman.cpp).
template <int Bits>
struct NwLanes512 {
    using Cell = std::conditional_t<Bits == 16, std::int16_t, std::int32_t>;
    using Unit = std::conditional_t<Bits == 16, std::uint16_t, std::uint32_t>;
    using Vec = __m512i;
    static constexpr std::size_t width = 512 / Bits;
    static constexpr Cell unreachable = static_cast<Cell>(Bits == 16 ? -32768 : -(1 << 30));

    static Vec splat(Cell c) noexcept {
        if constexpr (Bits == 16) return _mm512_set1_epi16(c);
        if constexpr (Bits == 32) return _mm512_set1_epi32(c);
    }
    static Vec splat_unit(Unit c) noexcept { return splat(static_cast<Cell>(c)); }
    static Vec load(const Cell* p) noexcept { return _mm512_loadu_si512(p); }
    static void store(Cell* p, Vec a) noexcept { _mm512_storeu_si512(p, a); }
    static Vec load_units(const Unit* p) noexcept { return _mm512_loadu_si512(p); }
    static Vec add(Vec a, Vec b) noexcept {
        if constexpr (Bits == 16) return _mm512_adds_epi16(a, b);
        if constexpr (Bits == 32) return _mm512_add_epi32(a, b);
    }
    static Vec max(Vec a, Vec b) noexcept {
        if constexpr (Bits == 16) return _mm512_max_epi16(a, b);
        if constexpr (Bits == 32) return _mm512_max_epi32(a, b);
    }
    static Vec pick(Vec x, Vec y, Vec if_equal, Vec if_not) noexcept {
        if constexpr (Bits == 16) {
            return _mm512_mask_blend_epi16(_mm512_cmpeq_epi16_mask(x, y), if_not, if_equal);
        }
        if constexpr (Bits == 32) {
            return _mm512_mask_blend_epi32(_mm512_cmpeq_epi32_mask(x, y), if_not, if_equal);
        }
    }
};

using Lanes16 = NwLanes512<16>;
using Lanes32 = NwLanes512<32>;

}  // namespace
}  // namespace avx512

const nw::Table nw::table_avx512 = {
    avx512::Lanes16::width,
    avx512::Lanes32::width,
    avx512::nw_family::linear_pair<avx512::Lanes16>,
    avx512::nw_family::affine_pair<avx512::Lanes16>,
    avx512::nw_family::linear_pair<avx512::Lanes32>,
    avx512::nw_family::affine_pair<avx512::Lanes32>,
    avx512::nw_family::linear_group<avx512::Lanes16>,
    avx512::nw_family::affine_group<avx512::Lanes16>,
    avx512::nw_family::linear_group<avx512::Lanes32>,
    avx512::nw_family::affine_group<avx512::Lanes32>,
};

}  // namespace quillon::simd
