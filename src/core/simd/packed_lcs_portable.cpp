// The narrow-lane LCS kernel on plain integers: the reference for every instruction set.
#define QUILLON_ISA portable
#include "packed_lcs.inl"

namespace quillon::simd::packed {

void lcs_block_portable(const Query& query, LcsBlock block, std::uint8_t* out) noexcept {
    using namespace portable;
    if (query.length <= 8) return lcs_block<LcsPlainLanes<std::uint8_t, 16>>(query, block, out);
    if (query.length <= 16) return lcs_block<LcsPlainLanes<std::uint16_t, 16>>(query, block, out);
    if (query.length <= 32) return lcs_block<LcsPlainLanes<std::uint32_t, 16>>(query, block, out);
    lcs_block<LcsPlainLanes<std::uint64_t, 16>>(query, block, out);
}

}  // namespace quillon::simd::packed
