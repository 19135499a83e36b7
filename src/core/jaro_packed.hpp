// Jaro-Winkler batches and cross-products through the narrow-lane kernels
// (simd/packed_jaro.hpp). Texts become byte units once per call, as for the Levenshtein lanes
// (packed_texts.hpp); the units of one call then get dense rows, so that a block's table of
// position masks holds only the units that occur. Texts that do not fit take jaro_winkler pair
// by pair; the results never depend on the route.
#pragma once

#include <span>
#include <vector>

#include "jaro.hpp"
#include "simd/packed_jaro.hpp"
#include "text.hpp"

namespace quillon {

// jaro_winkler(query, candidate, p) for every candidate into out (candidates.size() entries) on
// the worker pool. False, with out untouched, when the query itself does not fit the lanes.
bool jaro_winkler_batch_packed(TextSlice query, std::span<const TextSlice> candidates, double p,
                               double* out, simd::packed::JaroKernel kernel);

// rows[i]: list_a[i] against every text of list_b, on the worker pool; nothing when either
// list is empty. Rows whose text does not fit the lanes are computed pair by pair.
void jaro_winkler_cross_packed(std::span<const TextSlice> list_a, std::span<const TextSlice> list_b,
                               double p, simd::packed::JaroKernel kernel, double* const* rows);

}  // namespace quillon
