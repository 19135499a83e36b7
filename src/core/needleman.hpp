// Needleman-Wunsch global alignment scores with linear and affine gap costs. All scores are
// added (penalties are negative numbers) in saturating signed 64-bit arithmetic.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "simd/needleman.hpp"
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

// The specified one-row and three-row routes in saturating 64-bit cells, which the lanes
// must match exactly: the test oracles.
std::int64_t needleman_wunsch_rows(TextSlice a, TextSlice b, const LinearScores& scores);
std::int64_t needleman_wunsch_affine_rows(TextSlice a, TextSlice b, const AffineScores& scores);

// The query against every candidate through one table's kernels, whatever its size: pair by
// pair (anti-diagonal kernels) and as a batch (candidate groups).
struct NeedlemanLanes {
    std::vector<std::int64_t> pairs, batch;
};
NeedlemanLanes needleman_wunsch_lanes(TextSlice query, std::span<const TextSlice> candidates,
                                      const LinearScores& scores, const simd::nw::Table& table);
NeedlemanLanes needleman_wunsch_affine_lanes(TextSlice query, std::span<const TextSlice> candidates,
                                             const AffineScores& scores,
                                             const simd::nw::Table& table);

namespace simd {

// needleman_wunsch_rows over two ASCII texts, with the row updated in blocks of 8 columns.
std::int64_t needleman_wunsch_striped(TextSlice a, TextSlice b, const LinearScores& scores);

}  // namespace simd

}  // namespace quillon
