// Small rules shared by the ratio scorers: the NaN-losing maximum, the saturating conversion of
// a ceiling to a distance bound, and character lengths of UTF-8 text.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "../scores.hpp"
#include "../text.hpp"

namespace quillon::fuzz {

// The larger of x and y; a NaN operand loses to the other (both NaN gives NaN). std::max returns
// its first operand whenever a comparison with NaN is false, which is not this rule.
inline double max_nan_loses(double x, double y) noexcept {
    if (std::isnan(x)) return y;
    if (std::isnan(y)) return x;
    return x < y ? y : x;
}

// ceil(x) as an unsigned 64-bit count: negative values and NaN give 0, values beyond the range
// give its largest value.
inline std::uint64_t ceil_to_u64(double x) noexcept {
    const double c = std::ceil(x);
    if (!(c > 0.0)) return 0;
    // 2^64 is the first double that does not fit.
    if (c >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(c);
}

// Unicode scalar values of well-formed UTF-8 (what every text from a Python str is): the bytes
// that are not continuation bytes 10xxxxxx.
inline std::size_t char_length(TextSlice text) noexcept {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size; ++i) count += (text.bytes()[i] & 0xC0) != 0x80;
    return count;
}

}  // namespace quillon::fuzz
