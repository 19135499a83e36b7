// ASCII test and UTF-8 decoding.
#include "text.hpp"

#include <cstring>

namespace quillon {

namespace {

constexpr std::uint64_t high_bits = 0x8080808080808080ULL;

inline std::uint64_t load64(const std::uint8_t* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

}  // namespace

bool TextSlice::operator==(const TextSlice& other) const noexcept {
    return size == other.size &&
           (data == other.data || size == 0 || std::memcmp(data, other.data, size) == 0);
}

bool is_ascii(TextSlice text) noexcept {
    const std::uint8_t* p = text.bytes();
    std::size_t n = text.size;
    if (n < 8) {
        // Short texts (most words) in at most two overlapping loads.
        if (n >= 4) {
            std::uint32_t head, tail;
            std::memcpy(&head, p, 4);
            std::memcpy(&tail, p + n - 4, 4);
            return ((head | tail) & 0x80808080u) == 0;
        }
        std::uint8_t acc = 0;
        for (std::size_t k = 0; k < n; ++k) acc |= p[k];
        return (acc & 0x80) == 0;
    }
    // The last eight bytes, which the rounds below may leave partly untested.
    std::uint64_t acc = load64(p + n - 8);
    // 64 bytes per round: OR eight words together and test the high bits once.
    while (n >= 64) {
        std::uint64_t block = 0;
        for (int k = 0; k < 8; ++k) block |= load64(p + 8 * k);
        if (block & high_bits) return false;
        p += 64;
        n -= 64;
    }
    for (; n >= 8; p += 8, n -= 8) acc |= load64(p);
    return (acc & high_bits) == 0;
}

Scalars decode_utf8(TextSlice text) {
    constexpr std::uint32_t replacement = 0xFFFD;
    const std::uint8_t* p = text.bytes();
    const std::uint8_t* end = p + text.size;
    Scalars out;
    out.reserve(text.size);
    auto in = [](std::uint8_t c, std::uint8_t lo, std::uint8_t hi) { return c >= lo && c <= hi; };
    while (p < end) {
        std::uint8_t c = *p;
        if (c < 0x80) {
            out.push_back(c);
            ++p;
            continue;
        }
        // Expected continuation count and the allowed range of the first continuation byte,
        // which rules out overlong forms, surrogates and values above U+10FFFF.
        int need;
        std::uint8_t lo = 0x80, hi = 0xBF;
        std::uint32_t value;
        if (in(c, 0xC2, 0xDF)) {
            need = 1;
            value = c & 0x1Fu;
        } else if (in(c, 0xE0, 0xEF)) {
            need = 2;
            value = c & 0x0Fu;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (in(c, 0xF0, 0xF4)) {
            need = 3;
            value = c & 0x07u;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            out.push_back(replacement);
            ++p;
            continue;
        }
        ++p;
        bool ok = true;
        for (int k = 0; k < need; ++k, lo = 0x80, hi = 0xBF) {
            if (p == end || !in(*p, lo, hi)) {
                ok = false;
                break;
            }
            value = (value << 6) | (*p & 0x3Fu);
            ++p;
        }
        out.push_back(ok ? value : replacement);
    }
    return out;
}

}  // namespace quillon
