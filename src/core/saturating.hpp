// Signed 64-bit arithmetic that saturates at the limits instead of wrapping: alignment
// scores add caller-chosen values that may be anywhere in the range.
#pragma once

#include <cstdint>
#include <limits>

namespace quillon::sat {

inline constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
inline constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();

constexpr std::int64_t add(std::int64_t x, std::int64_t y) noexcept {
    std::int64_t r;
    if (__builtin_add_overflow(x, y, &r)) return y < 0 ? min : max;
    return r;
}

// count * s for a non-negative count; an overflow goes to the limit on the side of s.
constexpr std::int64_t mul(std::uint64_t count, std::int64_t s) noexcept {
    std::int64_t r;
    if (count > static_cast<std::uint64_t>(max) ||
        __builtin_mul_overflow(static_cast<std::int64_t>(count), s, &r)) {
        return s < 0 ? min : (s == 0 ? 0 : max);
    }
    return r;
}

}  // namespace quillon::sat
