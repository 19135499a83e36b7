// Levenshtein distance of one pair of texts, counted in Unicode scalar values.
#pragma once

#include <cstdint>

#include "text.hpp"

namespace quillon {

// The general entry: ASCII pairs go to simd::levenshtein_myers, all others are compared as
// scalar values. Counts saturate at 2^32 - 1.
std::uint32_t levenshtein_distance_raw(TextSlice a, TextSlice b);

// Distance of two decoded texts (bit-parallel), saturating at 2^32 - 1.
std::uint32_t levenshtein_scalars(const Scalars& a, const Scalars& b);

// The one-row dynamic programme along b with saturating cells; the reference for the
// bit-parallel scalar route.
std::uint32_t levenshtein_rows_scalars(const Scalars& a, const Scalars& b);

}  // namespace quillon
