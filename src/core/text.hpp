// Text as the core sees it: borrowed UTF-8 slices, the bulk ASCII test, and decoding into
// Unicode scalar values for the routes that compare characters rather than bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillon {

// Borrowed UTF-8 bytes; the owner keeps them alive for the whole call.
struct TextSlice {
    const char* data = nullptr;
    std::size_t size = 0;

    TextSlice() = default;
    TextSlice(const char* d, std::size_t n) : data(d), size(n) {}
    TextSlice(std::string_view s) : data(s.data()), size(s.size()) {}

    // Not for the instruction-set files: emitted there at -O0, this inline copy could serve
    // baseline callers too. They use bytes_of in simd/common.inl.
    const std::uint8_t* bytes() const noexcept {
        return reinterpret_cast<const std::uint8_t*>(data);
    }
    bool empty() const noexcept { return size == 0; }
    bool operator==(const TextSlice& other) const noexcept;
};

using Scalars = std::vector<std::uint32_t>;

// True when no byte has its top bit set; the empty slice is ASCII.
bool is_ascii(TextSlice text) noexcept;

// Decodes UTF-8 into scalar values. Each maximal ill-formed subsequence becomes one U+FFFD,
// so well-formed input (everything a Python str gives) comes out unchanged.
Scalars decode_utf8(TextSlice text);

}  // namespace quillon
