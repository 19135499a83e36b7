// The indel distance (insertions and deletions only) and the 0-100 ratio built on it: the base
// of every fuzzy scorer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "../text.hpp"

namespace quillon::fuzz {

// Indel distance of two unit sequences of the same type: bytes or scalar values.
std::uint32_t indel_distance_slice(std::span<const std::uint8_t> a,
                                   std::span<const std::uint8_t> b);
std::uint32_t indel_distance_slice(std::span<const std::uint32_t> a,
                                   std::span<const std::uint32_t> b);

// The one-row dynamic programme (substitution costs 2); the reference for the bit-parallel
// route of indel_distance_slice.
std::uint32_t indel_distance_rows(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);
std::uint32_t indel_distance_rows(std::span<const std::uint32_t> a,
                                  std::span<const std::uint32_t> b);

// Indel distance of two texts: over bytes when both are ASCII, else over scalar values.
std::uint32_t indel_distance(TextSlice a, TextSlice b);

// (1 - d / (la + lb)) * 100 with lengths in characters; 0.0 unless score_cutoff <= score
// (so a NaN cut-off always gives 0.0). Two empty texts score 100.
double ratio_with_cutoff(TextSlice a, TextSlice b, double score_cutoff);

// ratio_with_cutoff, except that an empty text on either side scores 0.0.
double qratio(TextSlice a, TextSlice b, double score_cutoff);

}  // namespace quillon::fuzz
