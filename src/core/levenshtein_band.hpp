// Levenshtein distance of long texts by Myers' blocks restricted to a diagonal band that grows
// with the distance (Ukkonen's cut-off on Hyyrö's block formulation).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Distance of two unit sequences, exact. Meant for pairs whose shorter text exceeds 64 units;
// any lengths are accepted. Work grows with the shorter length times the distance, not with the
// product of the lengths.
std::uint64_t levenshtein_band(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                               std::size_t lb);
std::uint64_t levenshtein_band(const std::uint32_t* a, std::size_t la, const std::uint32_t* b,
                               std::size_t lb);

// One pass with the bound k (at least the length difference): cells that cannot lie on a path
// of cost k or less are not evaluated. The result is never below the distance, and equals it
// whenever the distance is at most k.
std::uint64_t levenshtein_band_pass(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                                    std::size_t lb, std::size_t k);

}  // namespace quillon
