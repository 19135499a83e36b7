// Narrow-lane Myers kernels: one query against a block of up to 64 short candidates, each
// candidate in a lane only as wide as the query needs (8, 16, 32 or 64 bits), so one vector
// step advances up to 64 pairs. The candidates are stored transposed, unit i of every lane in one
// row, so a step loads its units with one vector load and finds their position masks with
// nibble table lookups instead of a gather.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon::simd::packed {

inline constexpr std::size_t lanes = 64;      // candidates per block
inline constexpr std::size_t max_units = 64;  // the longest candidate and query a block takes

// A query of 1 to 64 byte units as two nibble tables: bit j of low[x] is set when the low nibble
// of unit j is x, of high[y] when its high nibble is y. Unit j equals c exactly when bit j is set
// in both low[c & 15] and high[c >> 4].
struct Query {
    std::uint64_t low[16];
    std::uint64_t high[16];
    std::size_t length;

    Query(const std::uint8_t* units, std::size_t m) noexcept;
};

// Candidates in lane order: units[i * lanes + k] is unit i of lane k (anything past its length);
// length[k] the lane's unit count, 0 for an unused lane; steps the longest length.
struct BlockView {
    const std::uint8_t* units;
    const std::uint8_t* length;
    std::size_t steps;
};

// Distances of the query against the block's lanes into out[0 .. lanes), in lane order.
using Kernel = void (*)(const Query& query, BlockView block, std::uint32_t* out) noexcept;

void myers_block_portable(const Query& query, BlockView block, std::uint32_t* out) noexcept;
// Requires avx2_available().
void myers_block_avx2(const Query& query, BlockView block, std::uint32_t* out) noexcept;
// Requires avx512bw_available().
void myers_block_avx512(const Query& query, BlockView block, std::uint32_t* out) noexcept;

}  // namespace quillon::simd::packed
