// What the bit-parallel ratio routes need below the kernels: one UTF-8 decoding step, position
// masks of a pattern of at most 64 characters, and buffers that stay on the stack when small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "../text.hpp"

namespace quillon::fuzz {

namespace detail {

inline std::uint32_t next_scalar_slow(std::uint8_t c, const std::uint8_t*& p,
                                      const std::uint8_t* end) noexcept {
    constexpr std::uint32_t replacement = 0xFFFD;
    // Continuation count and the range of the first continuation byte, which rules out
    // overlong forms, surrogates and values above U+10FFFF (decode_utf8's rules).
    int need;
    std::uint8_t lo = 0x80, hi = 0xBF;
    std::uint32_t value;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
        value = c & 0x1Fu;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        value = c & 0x0Fu;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        value = c & 0x07u;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return replacement;
    }
    for (int k = 0; k < need; ++k, lo = 0x80, hi = 0xBF) {
        // A byte outside the range ends the ill-formed sequence without being consumed.
        if (p == end || *p < lo || *p > hi) return replacement;
        value = (value << 6) | (*p & 0x3Fu);
        ++p;
    }
    return value;
}

}  // namespace detail

// The scalar value that starts at p (p < end), advancing p past it: exactly what decode_utf8
// yields, U+FFFD for each maximal ill-formed subsequence included.
inline std::uint32_t next_scalar(const std::uint8_t*& p, const std::uint8_t* end) noexcept {
    const std::uint8_t c = *p++;
    if (c < 0x80) return c;
    // Two-byte forms (Latin-1 and most accented letters) inline.
    if (c >= 0xC2 && c <= 0xDF && p != end && (*p & 0xC0) == 0x80) {
        return ((c & 0x1Fu) << 6) | (*p++ & 0x3Fu);
    }
    return detail::next_scalar_slow(c, p, end);
}

// Position masks of a pattern of 1 to 64 units (bytes or scalar values): bit k of mask(c) is
// set when unit k equals c. Units below 256 index a table; larger scalar values probe a small
// open-addressing map that exists only when the pattern has one. A byte table is also right
// for the bytes of ASCII text when the pattern holds scalar values: ASCII bytes are scalars.
class WordMasks {
  public:
    template <class Unit>
    WordMasks(const Unit* pattern, std::size_t m) noexcept {
        std::memset(low_, 0, sizeof low_);
        for (std::size_t k = 0; k < m; ++k) {
            const auto c = static_cast<std::uint32_t>(pattern[k]);
            const std::uint64_t bit = std::uint64_t{1} << k;
            if (c < 256) {
                low_[c] |= bit;
            } else {
                if (!has_wide_) {
                    std::memset(keys_, 0xFF, sizeof keys_);
                    has_wide_ = true;
                }
                std::size_t i = slot(c);
                while (keys_[i] != c && keys_[i] != empty_key) i = (i + 1) % capacity;
                keys_[i] = c;
                values_[i] |= bit;
            }
        }
    }

    std::uint64_t operator[](std::uint8_t c) const noexcept { return low_[c]; }
    std::uint64_t operator[](std::uint32_t c) const noexcept {
        if (c < 256) return low_[c];
        if (!has_wide_) return 0;
        for (std::size_t i = slot(c);; i = (i + 1) % capacity) {
            if (keys_[i] == c) return values_[i];
            if (keys_[i] == empty_key) return 0;
        }
    }

  private:
    // Twice the most distinct units a pattern can have: probes stay short.
    static constexpr std::size_t capacity = 128;
    // No scalar value reaches this key: they end at U+10FFFF.
    static constexpr std::uint32_t empty_key = 0xFFFFFFFFu;

    static std::size_t slot(std::uint32_t c) noexcept {
        return static_cast<std::uint32_t>(c * 0x9E3779B1u) >> 25;
    }

    std::uint64_t low_[256];
    bool has_wide_ = false;
    std::uint32_t keys_[capacity];
    std::uint64_t values_[capacity] = {};
};

// Room for up to Small elements on the stack, or more on the heap; uninitialised.
template <class T, std::size_t Small>
class SmallBuffer {
  public:
    SmallBuffer() = default;
    explicit SmallBuffer(std::size_t n) { allocate(n); }
    SmallBuffer(const SmallBuffer&) = delete;
    SmallBuffer& operator=(const SmallBuffer&) = delete;

    // Room for n elements; what was there before is gone.
    T* allocate(std::size_t n) {
        if (n > Small) {
            heap_ = std::make_unique_for_overwrite<T[]>(n);
            data_ = heap_.get();
        }
        return data_;
    }
    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }

  private:
    std::unique_ptr<T[]> heap_;
    alignas(16) T local_[Small];
    T* data_ = local_;
};

// Decodes text into out, which has room for text.size values (every scalar takes at least a
// byte); returns how many it wrote.
inline std::size_t decode_into(TextSlice text, std::uint32_t* out) noexcept {
    const std::uint8_t *p = text.bytes(), *end = p + text.size;
    std::uint32_t* o = out;
    while (p != end) *o++ = next_scalar(p, end);
    return static_cast<std::size_t>(o - out);
}

// Set bits of x. The baseline instruction set has no population count, and std::popcount
// then calls into the compiler's runtime; this stays inline.
inline std::uint64_t count_ones(std::uint64_t x) noexcept {
    x = x - ((x >> 1) & 0x5555555555555555ULL);
    x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return (x * 0x0101010101010101ULL) >> 56;
}

// The low n bits of x in reverse order: the masks of a reversed pattern from those of the
// pattern.
inline std::uint64_t reverse_low_bits(std::uint64_t x, std::size_t n) noexcept {
    x = ((x >> 1) & 0x5555555555555555ULL) | ((x & 0x5555555555555555ULL) << 1);
    x = ((x >> 2) & 0x3333333333333333ULL) | ((x & 0x3333333333333333ULL) << 2);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0FULL) | ((x & 0x0F0F0F0F0F0F0F0FULL) << 4);
    x = __builtin_bswap64(x);
    return x >> (64 - n);
}

}  // namespace quillon::fuzz
