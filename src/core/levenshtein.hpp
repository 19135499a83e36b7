// Levenshtein distance counted in Unicode scalar values: one pair (levenshtein.cpp), and the
// batch and cross-product drivers on the worker pool (levenshtein_batch.cpp).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "simd/kernels.hpp"
#include "text.hpp"

namespace quillon {

// Distance of two UTF-8 texts, the entry for single pairs: bytes for ASCII pairs and for pairs of
// Latin-1 letters, scalar values otherwise (ill-formed bytes read as U+FFFD). Texts of up to 256
// bytes allocate nothing unless both still exceed 64 units once their common affixes go. Counts
// saturate at 2^32 - 1.
std::uint32_t levenshtein_utf8(TextSlice a, TextSlice b);

// The same distance by the plain routes that the fast ones are tested against: Myers over the
// bytes of an ASCII pair (one word for patterns up to 64 bytes, blocks above), the scalar route
// for any other pair (ill-formed bytes read as U+FFFD).
std::uint32_t levenshtein_myers(TextSlice a, TextSlice b);

// The single-word kernel on bytes: pattern of 1 to 64 bytes against any text.
std::uint32_t levenshtein_myers_word(TextSlice pattern, TextSlice text) noexcept;

// Distance of two decoded texts (bit-parallel), saturating at 2^32 - 1.
std::uint32_t levenshtein_scalars(const Scalars& a, const Scalars& b);

// The single-word kernel on a built pattern: distance against one ASCII text, the lane
// kernels' one-text counterpart.
std::uint32_t levenshtein_myers_single(const simd::MyersPattern& pattern, TextSlice text) noexcept;

// Batch and cross-product drivers. Both run on the worker pool and take the multi-lane Myers
// kernels where the query is 1 to 64 ASCII bytes and every candidate is ASCII; otherwise
// levenshtein_utf8 per pair. The results do not depend on the route.

struct TextPair {
    TextSlice a, b;
};

// One distance per pair, in pair order. The Myers route needs every pair to share the same
// first text (as a query against candidates does).
std::vector<std::uint32_t> levenshtein_batch_auto(std::span<const TextPair> pairs);

// levenshtein_batch_auto of the pairs (query, candidate i), without building them.
std::vector<std::uint32_t> levenshtein_query_batch(TextSlice query,
                                                   std::span<const TextSlice> candidates);

// Rows of distances: row i holds list_a[i] against every text of list_b. No rows at all when
// either list is empty.
using DistanceMatrix = std::vector<std::vector<std::uint32_t>>;

// The same rows written to rows[i] (list_b.size() entries each), which the caller provides:
// a matrix of its own, so that a repeated call need not fault in fresh memory.
void levenshtein_cross_product_into(std::span<const TextSlice> list_a,
                                    std::span<const TextSlice> list_b, std::uint32_t* const* rows);

DistanceMatrix levenshtein_cross_product(std::span<const TextSlice> list_a,
                                         std::span<const TextSlice> list_b);

}  // namespace quillon
