// The score formulas that every route of a scorer must share bit for bit: the Jaro matching
// window and similarity, and the indel ratio. Internal linkage, so that each instruction-set
// file compiles its own copy and none of them can hand a baseline caller its version.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {
namespace {

// The matching window of two texts: max(floor(L / 2) - 1, 0), L the longer length.
inline std::size_t jaro_window(std::size_t la, std::size_t lb) noexcept {
    const std::size_t half = (la > lb ? la : lb) / 2;
    return half > 0 ? half - 1 : 0;
}

// Jaro from m matches and t out-of-order matches: ((m - h) / m + (m / la + m / lb)) / 3 with
// h = t / 2 in integers (three out-of-order matches count as one transposition, not 1.5),
// evaluated in exactly this order.
inline double jaro_from_counts(std::uint32_t m, std::uint32_t t, std::size_t la,
                               std::size_t lb) noexcept {
    const std::uint32_t h = t / 2;
    const double md = m;
    return ((md - h) / md + (md / static_cast<double>(la) + md / static_cast<double>(lb))) / 3.0;
}

// The indel ratio (1 - distance / total) * 100, evaluated in this order (total > 0).
inline double indel_ratio(std::uint64_t distance, std::uint64_t total) noexcept {
    return (1.0 - static_cast<double>(distance) / static_cast<double>(total)) * 100.0;
}

}  // namespace
}  // namespace quillon
