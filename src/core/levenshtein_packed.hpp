// Levenshtein batches and cross-products through the narrow-lane kernels (simd/packed.hpp).
// Texts become byte units once per call: ASCII texts as they are, the code points of other texts
// mapped to the units 128..255 in order of first appearance, so that Unicode lists run the byte
// kernels unchanged. Texts that do not fit (more than 64 units, more distinct code points than
// units) take levenshtein_utf8; the results never depend on the route.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "simd/packed.hpp"
#include "text.hpp"

namespace quillon {

// Distances of the query against every candidate into out (candidates.size() entries) on the
// worker pool. False, with out untouched, when the query itself does not fit the lanes.
bool levenshtein_batch_packed(TextSlice query, std::span<const TextSlice> candidates,
                              std::uint32_t* out, simd::packed::Kernel kernel);

// rows[i]: list_a[i] against every text of list_b, on the worker pool. Rows whose text does
// not fit the lanes are computed pair by pair.
void levenshtein_cross_packed(std::span<const TextSlice> list_a, std::span<const TextSlice> list_b,
                              simd::packed::Kernel kernel, std::uint32_t* const* rows);

}  // namespace quillon
