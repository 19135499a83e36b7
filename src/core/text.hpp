// Text as the core sees it: borrowed UTF-8 slices, the bulk ASCII test, and decoding into
// Unicode scalar values for the routes that compare characters rather than bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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

// n bytes in overlapping moves of 16, 8 or 4 (where two overlap they write the same bytes): for
// the short texts of lists, cheaper than a call to memcpy.
inline void copy_short(void* to, const void* from, std::size_t n) noexcept {
    auto* d = static_cast<unsigned char*>(to);
    const auto* s = static_cast<const unsigned char*>(from);
    if (n >= 16) {
        for (std::size_t k = 0; k + 16 < n; k += 16) std::memcpy(d + k, s + k, 16);
        std::memcpy(d + n - 16, s + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(d, s, 8);
        std::memcpy(d + n - 8, s + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(d, s, 4);
        std::memcpy(d + n - 4, s + n - 4, 4);
    } else {
        for (std::size_t k = 0; k < n; ++k) d[k] = s[k];
    }
}

// The n <= 8 bytes at p as a little-endian word, zeros above, reading nothing outside them:
// one load for 8, two overlapping ones for 4 to 7 (the bytes they share are equal, so OR keeps
// them), the first, middle and last byte below 4.
inline std::uint64_t load_bytes(const std::uint8_t* p, std::size_t n) noexcept {
    if (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    if (n >= 4) {
        std::uint32_t head, tail;
        std::memcpy(&head, p, 4);
        std::memcpy(&tail, p + n - 4, 4);
        return head | std::uint64_t{tail} << (8 * (n - 4));
    }
    if (n == 0) return 0;
    return p[0] | std::uint64_t{p[n / 2]} << (8 * (n / 2)) |
           std::uint64_t{p[n - 1]} << (8 * (n - 1));
}

// Up to 16 bytes as one little-endian value, zeros above their length. A short pair is tested,
// decoded, compared and stripped in registers after one test of each text's length (loads that
// may not read past a text need it), where byte loops would mispredict their exits.
using Bytes16 = unsigned __int128;

inline Bytes16 load16(const std::uint8_t* p, std::size_t n) noexcept {
    if (n < 4) return load_bytes(p, n);
    // Four 4-byte loads at offsets no more than 4 apart cover all n bytes, whatever n is from
    // 4 to 16; where they overlap the bytes are the same, so OR keeps them.
    const std::size_t second = (n - 4) / 3, third = 2 * (n - 4) / 3;
    std::uint32_t w0, w1, w2, w3;
    std::memcpy(&w0, p, 4);
    std::memcpy(&w1, p + second, 4);
    std::memcpy(&w2, p + third, 4);
    std::memcpy(&w3, p + n - 4, 4);
    return Bytes16{w0} | Bytes16{w1} << (8 * second) | Bytes16{w2} << (8 * third) |
           Bytes16{w3} << (8 * (n - 4));
}

inline bool ascii16(Bytes16 x) noexcept {
    constexpr std::uint64_t high = 0x8080808080808080ULL;
    return ((static_cast<std::uint64_t>(x) | static_cast<std::uint64_t>(x >> 64)) & high) == 0;
}

// The Latin-1 values of the n <= 16 bytes of UTF-8 in x, as decode_latin1_into, into out and
// their count into count; false for a value above U+00FF or ill-formed UTF-8. No branch.
bool decode_latin1_16(Bytes16 x, std::size_t n, Bytes16& out, std::size_t& count) noexcept;

// The Latin-1 values of a text of 17 to 31 bytes into out and count, as decode_latin1_16 with
// decode (one of its kernels) on two parts, split where no continuation byte starts the second;
// false when they are more than 16 or not Latin-1.
template <class Decode>
bool latin1_long16(TextSlice text, Decode decode, Bytes16& out, std::size_t& count) noexcept {
    const std::uint8_t* p = text.bytes();
    const std::size_t n = text.size;
    const std::size_t split = 16 - std::size_t{(p[16] & 0xC0) == 0x80};
    Bytes16 first, second;
    std::size_t first_count, second_count;
    const bool ok = decode(load16(p, split), split, first, first_count) &
                    decode(load16(p + split, n - split), n - split, second, second_count);
    count = first_count + second_count;
    out = first | (first_count < 16 ? second << (8 * first_count) : 0);
    return ok & (count <= 16);
}

// A pair of short texts as bytes in registers, for the single-pair kernels: ASCII texts of up
// to 16 bytes as they are, texts of Latin-1 letters of up to 31 bytes and 16 letters decoded by
// the decode_latin1_16 kernel that decoder() returns, asked for only when one is needed.
struct ShortPair {
    Bytes16 a, b;
    std::size_t la, lb;

    // False for any other pair. Both texts are decoded without a branch between them.
    template <class Decoder>
    bool load(TextSlice ta, TextSlice tb, Decoder decoder) noexcept {
        if (ta.size <= 16 && tb.size <= 16) {
            a = load16(ta.bytes(), ta.size), b = load16(tb.bytes(), tb.size);
            la = ta.size, lb = tb.size;
            if (ascii16(a | b)) return true;
            const auto decode = decoder();
            return decode(a, ta.size, a, la) & decode(b, tb.size, b, lb);
        }
        if (ta.size > 31 || tb.size > 31) return false;
        const auto decode = decoder();
        const auto one = [&](TextSlice t, Bytes16& out, std::size_t& count) {
            if (t.size > 16) return latin1_long16(t, decode, out, count);
            return decode(load16(t.bytes(), t.size), t.size, out, count);
        };
        return one(ta, a, la) & one(tb, b, lb);
    }
};

// True when no byte has its top bit set; the empty slice is ASCII.
bool is_ascii(TextSlice text) noexcept;

// Decodes UTF-8 into scalar values. Each maximal ill-formed subsequence becomes one U+FFFD,
// so well-formed input (everything a Python str gives) comes out unchanged.
Scalars decode_utf8(TextSlice text);

// decode_utf8 into out, which has room for text.size values (a text never has more scalar
// values than bytes); returns how many it wrote.
std::size_t decode_utf8_into(TextSlice text, std::uint32_t* out) noexcept;

// The scalar values of a text as bytes when every one is below 256 (Latin-1), into out with room
// for text.size + 1 bytes (the last one scratch); returns how many values it wrote, or
// not_latin1 for a larger value or ill-formed UTF-8 (which decodes to U+FFFD).
inline constexpr std::size_t not_latin1 = ~std::size_t{0};
std::size_t decode_latin1_into(TextSlice text, std::uint8_t* out) noexcept;

// A text's scalar values in a buffer inside the object, so on the caller's stack, when the text
// has at most Capacity bytes; on the heap otherwise. Short texts allocate nothing.
template <std::size_t Capacity>
class SmallScalars {
  public:
    explicit SmallScalars(TextSlice text) {
        std::uint32_t* out = local_;
        if (text.size > Capacity) {
            heap_.resize(text.size);
            out = heap_.data();
        }
        size_ = decode_utf8_into(text, out);
        data_ = out;
    }
    SmallScalars(const SmallScalars&) = delete;
    SmallScalars& operator=(const SmallScalars&) = delete;

    const std::uint32_t* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }

  private:
    std::uint32_t local_[Capacity];
    Scalars heap_;
    const std::uint32_t* data_;
    std::size_t size_;
};

// Calls fn(a, la, b, lb) with the units of a pair, for scorers that count scalar values: the
// bytes of an ASCII pair as they are; a pair of texts of at most Capacity bytes whose values
// are all below 256 as Latin-1 bytes on the stack, so that accented text runs the byte kernels;
// any other pair as scalar values (SmallScalars). fn is called once, for bytes or for scalars.
template <std::size_t Capacity, class Fn>
decltype(auto) with_units(TextSlice a, TextSlice b, Fn&& fn) {
    if (is_ascii(a) && is_ascii(b)) return fn(a.bytes(), a.size, b.bytes(), b.size);
    if (a.size <= Capacity && b.size <= Capacity) {
        std::uint8_t bytes_a[Capacity + 1], bytes_b[Capacity + 1];
        const std::size_t la = decode_latin1_into(a, bytes_a);
        const std::size_t lb = la == not_latin1 ? la : decode_latin1_into(b, bytes_b);
        if (lb != not_latin1) return fn(+bytes_a, la, +bytes_b, lb);
    }
    const SmallScalars<Capacity> sa(a), sb(b);
    return fn(sa.data(), sa.size(), sb.data(), sb.size());
}

}  // namespace quillon
