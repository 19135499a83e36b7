// The partial-ratio kernels built with -mavx512f -mavx512bw -mavx2 and entered only when
// avx512bw_available() holds.
#define QUILLON_ISA avx512
#define QUILLON_VECTOR_BYTES 64
#include "partial.inl"

namespace quillon::simd::partial {

std::uint64_t byte_masks16_avx512(const std::uint8_t* needle, std::size_t n,
                                  const std::uint8_t* haystack, std::size_t h,
                                  std::uint16_t* out) noexcept {
    return avx512::byte_masks16(needle, n, haystack, h, out);
}

void windows_avx512(const void* masks, std::size_t lane_bytes, std::size_t n, std::size_t starts,
                    std::uint8_t* out) noexcept {
    avx512::window_sweep_any(masks, lane_bytes, n, starts, out);
}

void comb16_avx512(const std::uint16_t* needle, std::size_t m,
                   const std::uint16_t* haystack_reversed, std::size_t h, std::uint16_t* rows,
                   std::uint16_t* columns) noexcept {
    avx512::comb(needle, m, haystack_reversed, h, rows, columns);
}

void comb32_avx512(const std::uint32_t* needle, std::size_t m,
                   const std::uint32_t* haystack_reversed, std::size_t h, std::uint32_t* rows,
                   std::uint32_t* columns) noexcept {
    avx512::comb(needle, m, haystack_reversed, h, rows, columns);
}

}  // namespace quillon::simd::partial
