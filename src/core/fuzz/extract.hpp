// Extraction: one query scored against many choices with the plain indel ratio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// The first choice with the best score of at least score_cutoff; stops at a perfect score.
std::optional<Match> extract_one(TextSlice query, std::span<const TextSlice> choices,
                                 double score_cutoff);

// ratio_with_cutoff(query, candidate, 0.0) for every candidate, in order, on the pool.
std::vector<double> ratio_batch(TextSlice query, std::span<const TextSlice> candidates);

}  // namespace quillon::fuzz
