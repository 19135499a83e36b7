// Narrow-lane LCS kernels for the indel ratio: one query of 1 to 64 units against a block of up
// to 64 candidates, with the blocks and query tables of the Myers kernels (simd/packed.hpp) and
// each candidate in a lane only as wide as the query needs. The indel distance is
// la + lb - 2 LCS, so the ratio drivers need the LCS alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packed.hpp"

namespace quillon::simd::packed {

// Candidates lane by lane, as a driver writes them: row k (64 units from rows + 64 k) holds
// lane k's units and, from its length on, units that the query lacks (their mask is zero, so a
// step leaves the lane as it is); length[k] is the lane's unit count, 0 for an unused lane,
// whose row may hold anything; steps is the longest length.
struct LcsBlock {
    const std::uint8_t* rows;
    const std::uint8_t* length;
    std::size_t steps;
};

// The LCS of the query and each used lane into out[0 .. lanes), in lane order (unused lanes
// get anything). The kernels transpose the rows into one vector load per step (the layout of
// BlockView) with byte shuffles, then run every lane for as many steps as the longest of its
// vector.
using LcsKernel = void (*)(const Query& query, LcsBlock block, std::uint8_t* out) noexcept;

void lcs_block_portable(const Query& query, LcsBlock block, std::uint8_t* out) noexcept;
// Requires avx2_available().
void lcs_block_avx2(const Query& query, LcsBlock block, std::uint8_t* out) noexcept;
// Requires avx512bw_available().
void lcs_block_avx512(const Query& query, LcsBlock block, std::uint8_t* out) noexcept;

}  // namespace quillon::simd::packed
