// The partial-ratio kernels on plain vector extensions lowered to the baseline instruction set: the
// reference for every other one.
#define QUILLON_ISA portable
#define QUILLON_VECTOR_BYTES 16
#include "partial.inl"

namespace quillon::simd::partial {

std::uint64_t byte_masks16_portable(const std::uint8_t* needle, std::size_t n,
                                    const std::uint8_t* haystack, std::size_t h,
                                    std::uint16_t* out) noexcept {
    return portable::byte_masks16(needle, n, haystack, h, out);
}

void windows_portable(const void* masks, std::size_t lane_bytes, std::size_t n, std::size_t starts,
                      std::uint8_t* out) noexcept {
    portable::window_sweep_any(masks, lane_bytes, n, starts, out);
}

void comb16_portable(const std::uint16_t* needle, std::size_t m,
                     const std::uint16_t* haystack_reversed, std::size_t h, std::uint16_t* rows,
                     std::uint16_t* columns) noexcept {
    portable::comb(needle, m, haystack_reversed, h, rows, columns);
}

void comb32_portable(const std::uint32_t* needle, std::size_t m,
                     const std::uint32_t* haystack_reversed, std::size_t h, std::uint32_t* rows,
                     std::uint32_t* columns) noexcept {
    portable::comb(needle, m, haystack_reversed, h, rows, columns);
}

}  // namespace quillon::simd::partial
