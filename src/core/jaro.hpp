// Jaro and Jaro-Winkler similarity over Unicode scalar values (bytes when both texts are
// ASCII): one pair (jaro.cpp), and the Jaro-Winkler batch and cross-product drivers on the
// worker pool (jaro_batch.cpp).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "scores.hpp"
#include "text.hpp"

namespace quillon {

// Jaro similarity in [0, 1]. Two empty texts give 1.0, one empty text 0.0. Texts of up to 128
// bytes allocate nothing.
double jaro(TextSlice a, TextSlice b);

// jaro by the flag-array kernel alone, over bytes for an ASCII pair and over scalar values
// otherwise: the route every faster one is tested against.
double jaro_flag_arrays(TextSlice a, TextSlice b);

// Jaro-Winkler: Jaro values of at least 0.7 are raised by the common prefix (at most 4
// characters) scaled by p, which is clamped into [0, 0.25].
double jaro_winkler(TextSlice a, TextSlice b, double p);

// p clamped into [0, 0.25].
inline double clamp_prefix_scale(double p) noexcept { return std::min(0.25, std::max(0.0, p)); }

// The Winkler step for a clamped p: min((1 - j) * (prefix * p) + j, 1) for j >= 0.7,
// operation by operation; j itself below 0.7.
inline double winkler_boost(double j, std::size_t prefix, double p) noexcept {
    if (j < 0.7) return j;
    return std::min((1.0 - j) * (static_cast<double>(prefix) * p) + j, 1.0);
}

// Length of the common prefix of two unit sequences, at most 4 units.
template <class Unit>
std::size_t winkler_prefix(const Unit* a, std::size_t la, const Unit* b, std::size_t lb) noexcept {
    const std::size_t limit = std::min({la, lb, std::size_t{4}});
    std::size_t l = 0;
    while (l < limit && a[l] == b[l]) ++l;
    return l;
}

// jaro_winkler(query, candidate, p) for every candidate, in order, on the worker pool; short
// ASCII batches go through the multi-lane kernels.
std::vector<double> jaro_winkler_batch(TextSlice query, std::span<const TextSlice> candidates,
                                       double p);

// Row i holds list_a[i] against every text of list_b; no rows when either list is empty.
using SimilarityMatrix = std::vector<std::vector<double>>;

// The same rows written to rows[i] (list_b.size() entries each), which the caller provides.
void jaro_winkler_cross_product_into(std::span<const TextSlice> list_a,
                                     std::span<const TextSlice> list_b, double p,
                                     double* const* rows);
SimilarityMatrix jaro_winkler_cross_product(std::span<const TextSlice> list_a,
                                            std::span<const TextSlice> list_b, double p);

}  // namespace quillon
