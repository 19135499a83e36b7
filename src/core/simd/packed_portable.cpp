// The narrow-lane Myers kernel on plain integers: the reference for every instruction set.
#define QUILLON_ISA portable
#include "packed.inl"

namespace quillon::simd::packed {

void myers_block_portable(const Query& query, BlockView block, std::uint32_t* out) noexcept {
    using namespace portable;
    if (query.length <= 8) return myers_lanes<PlainLanes<std::uint8_t, 16>>(query, block, out);
    if (query.length <= 16) return myers_lanes<PlainLanes<std::uint16_t, 16>>(query, block, out);
    if (query.length <= 32) return myers_lanes<PlainLanes<std::uint32_t, 16>>(query, block, out);
    myers_lanes<PlainLanes<std::uint64_t, 16>>(query, block, out);
}

}  // namespace quillon::simd::packed
