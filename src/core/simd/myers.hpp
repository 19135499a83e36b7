// The ASCII Levenshtein entry: Myers' single-word bit-parallel kernel for patterns of up to
// 64 bytes, a bit-parallel block kernel above that.
#pragma once

#include <cstdint>

#include "../text.hpp"

namespace quillon::simd {

// Distance of two texts. Pairs that are not both ASCII are read as UTF-8 (ill-formed bytes
// become U+FFFD) and go to levenshtein_utf8.
std::uint32_t levenshtein_myers(TextSlice a, TextSlice b);

// The single-word kernel on bytes: pattern of 1 to 64 bytes against any text.
std::uint32_t levenshtein_myers_word(TextSlice pattern, TextSlice text) noexcept;

// The one-row dynamic programme over bytes (pattern along the rows, text along the columns);
// kept as the reference that the bit-parallel routes are tested against.
std::uint32_t levenshtein_rows_bytes(TextSlice pattern, TextSlice text);

}  // namespace quillon::simd
