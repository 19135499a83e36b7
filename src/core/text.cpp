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
    Scalars out(text.size);
    out.resize(decode_utf8_into(text, out.data()));
    return out;
}

namespace {

// decode_latin1_into eight bytes at a time, without a branch per byte: accented letters sit
// at unpredictable places. Bit 7 of a byte marks it in the masks below.
class Latin1Words {
  public:
    explicit Latin1Words(std::uint8_t* out) noexcept : out_(out) {}

    // The word w, of which `fresh` marks the bytes not fed before, either the low or the high
    // ones; `after` is the byte behind it. Each byte is written at the end of out, and the
    // fresh ones but continuation bytes advance that end: nothing lands beyond what the
    // fresh bytes decode to, but one byte past it.
    void feed(std::uint64_t w, std::uint64_t fresh, std::uint64_t after) noexcept {
        const std::uint64_t above = w & high;
        const std::uint64_t continuation = above & ~(w << 1);  // 10xxxxxx
        // Bytes equal to C2 or C3: exactly there x has a zero byte (an exact zero-byte test).
        const std::uint64_t x = (w & (0xFE * ones)) ^ (0xC2 * ones);
        const std::uint64_t lead = ~(((x & low7) + low7) | x) & high;
        // Every byte above 0x7F is a lead or a continuation, and the continuations are
        // exactly the bytes after leads (the first one after the previous word's last byte).
        const std::uint64_t misplaced = continuation ^ (lead << 8 | lead_before_);
        bad_ |= ((above ^ (continuation | lead)) | misplaced) & fresh;
        // A lead byte as the last fresh one waits for the next word, or ends the text too early.
        lead_before_ = std::uint64_t{(lead & fresh & ~(fresh >> 8)) != 0} << 7;
        // U+0080..U+00FF: a lead byte C2 or C3 and one continuation byte.
        const std::uint64_t next = w >> 8 | after << 56;
        const std::uint64_t pair = (w & ones) << 6 | high | (next & (0x3F * ones));
        const std::uint64_t select = (lead >> 7) * 0xFF;
        const std::uint64_t value = (w & ~select) | (pair & select);
        const std::uint64_t keep = (fresh & ~continuation) >> 7;
        for (int k = 0; k < 8; ++k) {
            out_[written_] = static_cast<std::uint8_t>(value >> (8 * k));
            written_ += keep >> (8 * k) & 1;
        }
    }

    std::size_t finish() const noexcept {
        return (bad_ | lead_before_) != 0 ? not_latin1 : written_;
    }

  private:
    static constexpr std::uint64_t ones = 0x0101010101010101ULL;
    static constexpr std::uint64_t high = 0x80 * ones, low7 = 0x7F * ones;

    std::uint8_t* out_;
    std::size_t written_ = 0;
    std::uint64_t bad_ = 0;
    std::uint64_t lead_before_ = 0;  // the last byte fed was a lead byte: 0x80
};

}  // namespace

bool decode_latin1_16(Bytes16 x, std::size_t n, Bytes16& out, std::size_t& count) noexcept {
    // The masks of Latin1Words on both halves; the zeros above n are ASCII, so only a lead
    // byte last of all needs a look beyond the value.
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    constexpr std::uint64_t high = 0x80 * ones, low7 = 0x7F * ones;
    const std::uint64_t w[2] = {static_cast<std::uint64_t>(x), static_cast<std::uint64_t>(x >> 64)};
    std::uint64_t value[2], keep[2], bad = 0, lead_before = 0;
    for (int h = 0; h < 2; ++h) {
        const std::uint64_t above = w[h] & high;
        const std::uint64_t continuation = above & ~(w[h] << 1);
        const std::uint64_t y = (w[h] & (0xFE * ones)) ^ (0xC2 * ones);
        const std::uint64_t lead = ~(((y & low7) + low7) | y) & high;
        bad |= (above ^ (continuation | lead)) | (continuation ^ (lead << 8 | lead_before));
        lead_before = lead >> 56;
        const std::uint64_t next = w[h] >> 8 | (h == 0 ? w[1] << 56 : 0);
        const std::uint64_t pair = (w[h] & ones) << 6 | high | (next & (0x3F * ones));
        const std::uint64_t select = lead | (lead - (lead >> 7));  // 0xFF in lead bytes
        value[h] = (w[h] & ~select) | (pair & select);
        keep[h] = ~continuation >> 7 & ones;
    }
    bad |= lead_before;
    // Every byte but continuations, in order; the zeros above n come last.
    std::uint8_t bytes[17] = {};
    std::size_t written = 0;
    for (int h = 0; h < 2; ++h) {
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            bytes[written] = static_cast<std::uint8_t>(value[h] >> (8 * k));
            written += keep[h] >> (8 * k) & 1;
        }
    }
    count = written - (16 - n);
    std::memcpy(&out, bytes, 16);
    out &= count == 16 ? ~Bytes16{0} : (Bytes16{1} << (8 * count)) - 1;
    return bad == 0;
}

std::size_t decode_latin1_into(TextSlice text, std::uint8_t* out) noexcept {
    constexpr std::uint64_t all = 0x8080808080808080ULL;
    const std::uint8_t* p = text.bytes();
    const std::size_t n = text.size;
    Latin1Words words(out);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) words.feed(load64(p + i), all, i + 8 < n ? p[i + 8] : 0);
    if (i < n) {
        // The last word ends at the text's end: overlapping the one before when there is one
        // (whose bytes are not fresh), else padded with zeros (which are not either).
        const std::size_t rest = n - i;
        if (n >= 8) {
            words.feed(load64(p + n - 8), all << (8 * (8 - rest)), 0);
        } else {
            words.feed(load_bytes(p, n), all >> (8 * (8 - rest)), 0);
        }
    }
    return words.finish();
}

std::size_t decode_utf8_into(TextSlice text, std::uint32_t* out) noexcept {
    constexpr std::uint32_t replacement = 0xFFFD;
    const std::uint8_t* p = text.bytes();
    const std::uint8_t* end = p + text.size;
    std::uint32_t* const first = out;
    auto in = [](std::uint8_t c, std::uint8_t lo, std::uint8_t hi) { return c >= lo && c <= hi; };
    while (p < end) {
        std::uint8_t c = *p;
        if (c < 0x80) {
            *out++ = c;
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
            *out++ = replacement;
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
        *out++ = ok ? value : replacement;
    }
    return static_cast<std::size_t>(out - first);
}

}  // namespace quillon
