// Needleman-Wunsch global alignment scores with linear and affine gap costs. All scores are
// added (penalties are negative numbers) in saturating signed 64-bit arithmetic.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "text.hpp"

namespace quillon {

struct LinearScores {
    std::int64_t match, mismatch, gap;
};

struct AffineScores {
    std::int64_t match, mismatch, gap_open, gap_extend;
};

std::int64_t needleman_wunsch(TextSlice a, TextSlice b, const LinearScores& scores);
std::vector<std::int64_t> needleman_wunsch_batch(TextSlice query,
                                                 std::span<const TextSlice> candidates,
                                                 const LinearScores& scores);

std::int64_t needleman_wunsch_affine(TextSlice a, TextSlice b, const AffineScores& scores);
std::vector<std::int64_t> needleman_wunsch_affine_batch(TextSlice query,
                                                        std::span<const TextSlice> candidates,
                                                        const AffineScores& scores);

namespace simd {

// needleman_wunsch over two ASCII texts, with the row updated in blocks of 8 columns.
std::int64_t needleman_wunsch_striped(TextSlice a, TextSlice b, const LinearScores& scores);

}  // namespace simd

}  // namespace quillon
