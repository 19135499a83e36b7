// One banded Levenshtein pass (levenshtein_band.cpp) in the layout every instruction set runs:
// plain pointers and counts, so that the kernel entries carry no ISA types.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon::simd {

// Blocks a kernel may touch beyond either end of the pattern's blocks: its lanes run up to 7
// blocks behind and, reading masks a group of steps at a time, 15 ahead of the band, reading
// (and writing) padding rather than branching.
inline constexpr std::size_t band_pad = 16;

struct BandPass {
    // Position masks: block b of the row of text unit j is masks[cols[j] + b]; every b from
    // -band_pad to blocks + band_pad - 1 may be read.
    const std::uint64_t* masks;
    const std::uint64_t* cols;
    // Vertical deltas of each block, with band_pad words of slack at both ends.
    std::uint64_t* vp;
    std::uint64_t* vn;
    // Pattern and text lengths (1 <= m <= n), blocks = ceil(m / 64), and the band: column j
    // (1-based) holds rows max(1, j - hi) to min(m, j + half).
    std::size_t m, n, blocks, half, hi;
};

// The pass's result: never below the distance, equal to it when it is at most half + hi.
// Columns run in groups of 4 (AVX2) or 8 (AVX-512) lanes as a wavefront: lane l holds column
// j + l, one block behind lane l - 1, which hands it the block's vertical deltas.
using BandKernel = std::uint64_t (*)(const BandPass& pass) noexcept;
std::uint64_t band_pass_avx2(const BandPass& pass) noexcept;
std::uint64_t band_pass_avx512(const BandPass& pass) noexcept;

}  // namespace quillon::simd
