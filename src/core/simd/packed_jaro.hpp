// Narrow-lane Jaro kernels: one query against a block of up to 64 short candidates, the
// positions of each candidate as the bits of a lane only as wide as the block's longest
// candidate needs (8, 16, 32 or 64 bits), the query streamed unit by unit. The block's position
// masks are stored transposed, one row per unit of the call's alphabet with every lane's mask
// side by side, so a query step loads its unit's masks for all lanes with plain vector loads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "packed.hpp"

namespace quillon::simd::packed {

// A block's position masks: lane k of row r (the lanes of lane_bytes bytes each, row after row,
// `lanes` per row) has bit j set when unit j of candidate k belongs to row r. length[k] is
// candidate k's unit count, 0 for an unused lane; every candidate is at most 8 * lane_bytes
// units long, so no mask has a bit at or above its candidate's length.
struct JaroBlock {
    const void* masks;
    const std::uint8_t* length;
    std::size_t lane_bytes;  // 1, 2, 4 or 8
};

// A query of 1 to 64 units as the rows of its units in the block's table.
struct JaroQuery {
    const std::uint16_t* rows;
    std::size_t length;
};

// Per lane: the matches m, the matched pairs out of order t (not yet halved) and the common
// prefix, at most 4 units.
struct JaroCounts {
    std::uint8_t matches[lanes];
    std::uint8_t transpositions[lanes];
    std::uint8_t prefix[lanes];
};

using JaroKernel = void (*)(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept;

void jaro_block_portable(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept;
// Requires avx2_available().
void jaro_block_avx2(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept;
// Requires avx512_available() and AVX-512 Byte and Word.
void jaro_block_avx512(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept;

}  // namespace quillon::simd::packed
