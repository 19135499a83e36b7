// The partial ratio: the best indel ratio of the shorter text (the needle) against a window of
// the longer one (the haystack), found by bisecting the window starts and pruning ranges that
// cannot beat the best distance so far. Reports where the match lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "../text.hpp"

namespace quillon::fuzz {

// src_* is a half-open range of the first argument, dest_* of the second, in characters.
struct ScoreAlignment {
    double score;
    std::size_t src_start, src_end, dest_start, dest_end;
};

// A window of the haystack and its score.
struct WindowScore {
    double score;
    std::size_t start, end;
};

ScoreAlignment partial_ratio_alignment(TextSlice a, TextSlice b, double score_cutoff);
double partial_ratio(TextSlice a, TextSlice b, double score_cutoff);

// Over unit sequences (bytes, or scalar values).
ScoreAlignment partial_ratio_alignment_slices(std::span<const std::uint8_t> a,
                                              std::span<const std::uint8_t> b, double score_cutoff);
ScoreAlignment partial_ratio_alignment_slices(std::span<const std::uint32_t> a,
                                              std::span<const std::uint32_t> b,
                                              double score_cutoff);

// The window search; requires 1 <= needle.size() <= haystack.size().
WindowScore partial_ratio_impl(std::span<const std::uint8_t> needle,
                               std::span<const std::uint8_t> haystack, double score_cutoff);
WindowScore partial_ratio_impl(std::span<const std::uint32_t> needle,
                               std::span<const std::uint32_t> haystack, double score_cutoff);

}  // namespace quillon::fuzz
