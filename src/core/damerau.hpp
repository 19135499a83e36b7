// Unrestricted Damerau-Levenshtein distance (adjacent transpositions that may be edited
// further), its 0-100 ratio, batch and cross-product.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "text.hpp"

namespace quillon {

std::uint32_t damerau_levenshtein_distance(TextSlice a, TextSlice b);

// The full-matrix route: 32-bit cells for the whole (la + 2) x (lb + 2) matrix, a byte table
// for ASCII pairs and a hash map of decoded scalars otherwise. The fast routes are tested
// against it, and it serves sizes whose sentinel sums leave 32 bits.
std::uint32_t damerau_full_matrix(TextSlice a, TextSlice b);

// The byte form of the full-matrix route; both texts must be ASCII (InternalError otherwise).
std::uint32_t damerau_bytes(TextSlice a, TextSlice b);

// (total - d) / total * 100 with total the sum of the character lengths; 100 for two empties.
double damerau_ratio(TextSlice a, TextSlice b);

std::vector<std::uint32_t> damerau_levenshtein_batch(TextSlice query,
                                                     std::span<const TextSlice> candidates);

// Row i holds list_a[i] against every text of list_b; no rows when either list is empty.
std::vector<std::vector<std::uint32_t>> damerau_levenshtein_cdist(
    std::span<const TextSlice> list_a, std::span<const TextSlice> list_b);

}  // namespace quillon
