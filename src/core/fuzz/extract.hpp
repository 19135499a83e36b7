// Extraction: one query scored against many choices with the plain indel ratio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "../simd/packed_lcs.hpp"
#include "../text.hpp"

namespace quillon::fuzz {

struct Match {
    std::string choice;  // a copy of the choice's UTF-8 bytes
    double score;
    std::size_t index;
};

// The matches scoring at least score_cutoff, best first (equal scores in index order when
// limit covers them all), at most limit of them. Parallel above 1000 choices.
std::vector<Match> extract(TextSlice query, std::span<const TextSlice> choices, double score_cutoff,
                           std::uint64_t limit);

// The first choice with the best score of at least score_cutoff. Parallel above 1000 choices;
// no choice after a perfect score is scored.
std::optional<Match> extract_one(TextSlice query, std::span<const TextSlice> choices,
                                 double score_cutoff);

// ratio_with_cutoff(query, candidate, 0.0) for every candidate, in order, on the pool.
std::vector<double> ratio_batch(TextSlice query, std::span<const TextSlice> candidates);

// The three above with the given narrow-lane LCS kernel for queries of 1 to 64 characters, or
// with every candidate scored on its own when it is null; the results never depend on it. The
// forms above take simd::kernels().lcs_lanes.
std::vector<Match> extract(TextSlice query, std::span<const TextSlice> choices, double score_cutoff,
                           std::uint64_t limit, simd::packed::LcsKernel kernel);
std::optional<Match> extract_one(TextSlice query, std::span<const TextSlice> choices,
                                 double score_cutoff, simd::packed::LcsKernel kernel);
std::vector<double> ratio_batch(TextSlice query, std::span<const TextSlice> candidates,
                                simd::packed::LcsKernel kernel);

}  // namespace quillon::fuzz
