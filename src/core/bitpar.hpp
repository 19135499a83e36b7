// Bit-parallel kernels shared by the Levenshtein and indel routes: position masks for a
// pattern of any length and unit type, Myers' block recurrence for the edit distance, and the
// bit-vector LCS from which the indel distance follows. Header-only, baseline code.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "memory.hpp"
#include "text.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillon::bitpar {

// A count as a 32-bit distance, saturating at 2^32 - 1: the result type of every distance.
inline std::uint32_t saturate_u32(std::uint64_t v) noexcept {
    return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

// Position masks of a pattern: bit k of block b of row(c) is set when unit 64*b + k equals c.
// Units below 256 index a dense table; larger scalar values go through a small open-addressing
// map onto extra rows. A unit that does not occur gets a row of zeros.
template <class Unit>
class PatternMasks {
  public:
    PatternMasks(const Unit* pattern, std::size_t m)
        : blocks_((m + 63) / 64), dense_(256 * blocks_, 0), zeros_(blocks_, 0) {
        if constexpr (sizeof(Unit) > 1) {
            std::size_t wide = 0;
            for (std::size_t k = 0; k < m; ++k) wide += pattern[k] >= 256;
            if (wide > 0) {
                std::size_t capacity = 8;
                while (capacity < 2 * wide) capacity *= 2;
                keys_.assign(capacity, empty_key);
                slots_.assign(capacity, 0);
                shift_ = 32 - std::countr_zero(static_cast<std::uint32_t>(capacity));
                std::size_t rows = 0;
                for (std::size_t k = 0; k < m; ++k) {
                    if (pattern[k] >= 256)
                        rows += insert(static_cast<std::uint32_t>(pattern[k]), rows);
                }
                // A row per distinct character: m distinct characters take m * m / 8 bytes.
                // The zero fill commits the pages at once, so the claim only has to cover it.
                const memory::Claim claim(memory::cells(rows, blocks_), sizeof(std::uint64_t));
                sparse_.assign(rows * blocks_, 0);
            }
        }
        for (std::size_t k = 0; k < m; ++k) {
            std::uint64_t* r = mutable_row(static_cast<std::uint32_t>(pattern[k]));
            r[k / 64] |= std::uint64_t{1} << (k % 64);
        }
    }

    std::size_t blocks() const noexcept { return blocks_; }

    const std::uint64_t* row(Unit u) const noexcept {
        auto c = static_cast<std::uint32_t>(u);
        if (sizeof(Unit) == 1 || c < 256) return dense_.data() + c * blocks_;
        if (keys_.empty()) return zeros_.data();
        for (std::size_t i = hash(c);; i = (i + 1) & (keys_.size() - 1)) {
            if (keys_[i] == c) return sparse_.data() + slots_[i] * blocks_;
            if (keys_[i] == empty_key) return zeros_.data();
        }
    }

  private:
    // No scalar value reaches this key: they end at U+10FFFF.
    static constexpr std::uint32_t empty_key = 0xFFFFFFFFu;

    std::size_t hash(std::uint32_t c) const noexcept {
        return static_cast<std::uint32_t>(c * 0x9E3779B1u) >> shift_;
    }

    // Gives c the row `next` unless it has one; 1 when it took it.
    std::size_t insert(std::uint32_t c, std::size_t next) noexcept {
        std::size_t i = hash(c);
        while (keys_[i] != c && keys_[i] != empty_key) i = (i + 1) & (keys_.size() - 1);
        if (keys_[i] == c) return 0;
        keys_[i] = c;
        slots_[i] = next;
        return 1;
    }

    // Every wide unit of the pattern has its row by now.
    std::uint64_t* mutable_row(std::uint32_t c) noexcept {
        if (c < 256) return dense_.data() + c * blocks_;
        std::size_t i = hash(c);
        while (keys_[i] != c) i = (i + 1) & (keys_.size() - 1);
        return sparse_.data() + slots_[i] * blocks_;
    }

    std::size_t blocks_;
    std::vector<std::uint64_t> dense_, zeros_, sparse_;
    std::vector<std::uint32_t> keys_;
    std::vector<std::size_t> slots_;
    int shift_ = 0;
};

// Masks of a byte pattern of at most 64 bytes, on the caller's stack: short texts allocate
// nothing.
struct ByteWordMasks {
    std::uint64_t table[256];

    ByteWordMasks(const std::uint8_t* pattern, std::size_t m) noexcept {
        std::memset(table, 0, sizeof table);
        for (std::size_t k = 0; k < m; ++k) table[pattern[k]] |= std::uint64_t{1} << k;
    }
    std::uint64_t operator[](std::uint8_t c) const noexcept { return table[c]; }
};

// The number of low (high) zero bytes of x, 16 when x is 0.
inline std::size_t low_zero_bytes(Bytes16 x) noexcept {
    const auto low = static_cast<std::uint64_t>(x), high = static_cast<std::uint64_t>(x >> 64);
    return static_cast<std::size_t>(low != 0 ? std::countr_zero(low)
                                             : 64 + std::countr_zero(high)) /
           8;
}
inline std::size_t high_zero_bytes(Bytes16 x) noexcept {
    const auto low = static_cast<std::uint64_t>(x), high = static_cast<std::uint64_t>(x >> 64);
    return static_cast<std::size_t>(high != 0 ? std::countl_zero(high)
                                              : 64 + std::countl_zero(low)) /
           8;
}

// The lengths of the common prefix and, of what remains, the common suffix of two texts of 1 to
// 16 bytes: bytes beyond a length are zeros in both, so the prefix is capped at the shorter
// length, and right-aligned copies give the suffix.
struct Affixes16 {
    std::size_t prefix, suffix;

    Affixes16(Bytes16 a, std::size_t la, Bytes16 b, std::size_t lb) noexcept {
        const std::size_t n = std::min(la, lb);
        prefix = std::min(low_zero_bytes(a ^ b), n);
        suffix =
            std::min(high_zero_bytes((a << (8 * (16 - la))) ^ (b << (8 * (16 - lb)))), n - prefix);
    }
};

#if defined(__SSE2__)
// Patterns of at most 16 bytes stay in one register and a text byte's mask is one compare:
// cheaper than clearing a 2 KiB table when the texts are short.
struct ShortByteMasks {
    __m128i pattern;
    std::uint64_t valid;

    // m from 1 to 16; valid drops the bytes beyond m.
    ShortByteMasks(const std::uint8_t* p, std::size_t m) noexcept
        : ShortByteMasks(load16(p, m), m) {}
    ShortByteMasks(Bytes16 p, std::size_t m) noexcept
        : pattern(_mm_set_epi64x(static_cast<long long>(p >> 64), static_cast<long long>(p))),
          valid((std::uint64_t{1} << m) - 1) {}
    std::uint64_t operator[](std::uint8_t c) const noexcept {
        const __m128i eq = _mm_cmpeq_epi8(pattern, _mm_set1_epi8(static_cast<char>(c)));
        // The zero padding compares equal to NUL; valid keeps only pattern positions.
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(eq))) & valid;
    }
};
#endif

// Masks of a pattern of 1 to 64 units for lookups of the pattern's own units and of one
// text's units, both named at construction, on the caller's stack. Only the table entries of
// those units are written, a few stores instead of clearing 2 KiB; a lookup of any other unit
// below 256 would read unset memory. Units of 256 and above (scalar values) go through a small
// open-addressing table, set up only when the pattern has one.
template <class Unit>
class StackWordMasks {
  public:
    StackWordMasks(const Unit* pattern, std::size_t m, const Unit* text, std::size_t n) noexcept {
        for (std::size_t j = 0; j < n; ++j) {
            if (narrow(text[j])) table_[text[j]] = 0;
        }
        for (std::size_t k = 0; k < m; ++k) {
            if (narrow(pattern[k])) {
                table_[pattern[k]] = 0;
            } else if constexpr (sizeof(Unit) > 1) {
                if (!wide_) std::memset(keys_, 0xFF, sizeof keys_);
                wide_ = true;
            }
        }
        for (std::size_t k = 0; k < m; ++k) {
            const std::uint64_t bit = std::uint64_t{1} << k;
            if (narrow(pattern[k])) {
                table_[pattern[k]] |= bit;
            } else if constexpr (sizeof(Unit) > 1) {
                masks_[insert(pattern[k])] |= bit;
            }
        }
    }
    StackWordMasks(const StackWordMasks&) = delete;
    StackWordMasks& operator=(const StackWordMasks&) = delete;

    std::uint64_t operator[](Unit u) const noexcept {
        if (narrow(u)) return table_[u];
        if constexpr (sizeof(Unit) > 1) {
            if (wide_) {
                for (std::size_t i = hash(u);; i = (i + 1) % slots) {
                    if (keys_[i] == u) return masks_[i];
                    if (keys_[i] == empty_key) break;
                }
            }
        }
        return 0;
    }

  private:
    // No scalar value reaches this key: they end at U+10FFFF.
    static constexpr std::uint32_t empty_key = 0xFFFFFFFFu;
    // Twice the most distinct units a pattern has, so that probes end soon.
    static constexpr std::size_t slots = sizeof(Unit) == 1 ? 1 : 128;

    static constexpr bool narrow(Unit u) noexcept { return sizeof(Unit) == 1 || u < 256; }
    static std::size_t hash(std::uint32_t c) noexcept { return (c * 0x9E3779B1u) >> 25; }

    // The slot of key c, taken (with an empty mask) when c has none yet.
    std::size_t insert(std::uint32_t c) noexcept {
        std::size_t i = hash(c);
        while (keys_[i] != c && keys_[i] != empty_key) i = (i + 1) % slots;
        if (keys_[i] == empty_key) {
            keys_[i] = c;
            masks_[i] = 0;
        }
        return i;
    }

    std::uint64_t table_[256];
    bool wide_ = false;
    std::uint32_t keys_[slots];
    std::uint64_t masks_[slots];
};

// Calls fn with the cheapest mask provider for a byte pattern of 1 to 64 bytes.
template <class Fn>
decltype(auto) with_word_masks(const std::uint8_t* pattern, std::size_t m, Fn&& fn) {
#if defined(__SSE2__)
    if (m <= 16) return fn(ShortByteMasks(pattern, m));
#endif
    return fn(ByteWordMasks(pattern, m));
}

// Myers' single-word step (Hyyrö's formulation) for a pattern of 1 to 64 units.
template <class Masks, class Unit>
std::uint64_t myers_word(const Masks& masks, std::size_t m, const Unit* text,
                         std::size_t n) noexcept {
    // 64 units fill the word: every bit is a pattern position.
    const std::uint64_t mask = m == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
    const std::uint64_t last = std::uint64_t{1} << (m - 1);
    std::uint64_t vp = mask, vn = 0, score = m;
    for (std::size_t j = 0; j < n; ++j) {
        const std::uint64_t eq = masks[text[j]];
        const std::uint64_t d0 = (((eq & vp) + vp) ^ vp) | eq;
        std::uint64_t hp = vn | ~(d0 | vp);
        std::uint64_t hn = d0 & vp;
        const std::uint64_t x = eq | vn;
        score += (hp & last) != 0;
        score -= (hn & last) != 0;
        // The 1 shifted in stands for the boundary row D[0][j] = j.
        hp = (hp << 1) | 1;
        hn <<= 1;
        vp = (hn | ~(hp | x)) & mask;
        vn = (x & hp) & mask;
    }
    return score;
}

// LCS length for a pattern of 1 to 64 units: S' = (S + (S & M)) | (S & ~M), LCS = zeros of S.
template <class Masks, class Unit>
std::uint64_t lcs_word(const Masks& masks, std::size_t m, const Unit* text,
                       std::size_t n) noexcept {
    std::uint64_t s = ~std::uint64_t{0};
    for (std::size_t j = 0; j < n; ++j) {
        const std::uint64_t u = s & masks[text[j]];
        s = (s + u) | (s - u);
    }
    const std::uint64_t valid = m == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m) - 1;
    return static_cast<std::uint64_t>(std::popcount(~s & valid));
}

// Drops the common prefix and then, of what remains, the common suffix.
template <class Unit>
inline void strip_affixes(const Unit*& a, std::size_t& la, const Unit*& b, std::size_t& lb) {
    if constexpr (sizeof(Unit) == 1) {
        // Eight bytes per step: the lowest differing byte of a XOR ends the prefix, the highest
        // of one taken from the ends the suffix; a short text takes one step where a byte loop
        // would mispredict its exit. Unrelated texts differ in their first and last bytes
        // already, and the test of those is predictable where the steps' sizes are not.
        if (la > 0 && lb > 0 && *a == *b) {
            const std::size_t n = std::min(la, lb);
            std::size_t k = 0;
            for (;;) {
                const std::size_t step = std::min<std::size_t>(n - k, 8);
                const std::uint64_t x = load_bytes(a + k, step) ^ load_bytes(b + k, step);
                if (x != 0) {
                    k += static_cast<std::size_t>(std::countr_zero(x)) / 8;
                    break;
                }
                k += step;
                if (k == n) break;
            }
            a += k, b += k, la -= k, lb -= k;
        }
        if (la > 0 && lb > 0 && a[la - 1] == b[lb - 1]) {
            const std::size_t n = std::min(la, lb);
            std::size_t k = 0;
            while (k < n) {
                const std::size_t step = std::min<std::size_t>(n - k, 8);
                // Left-aligned, so that the last byte of each text is the top one.
                const std::uint64_t x =
                    (load_bytes(a + la - k - step, step) ^ load_bytes(b + lb - k - step, step))
                    << (8 * (8 - step));
                if (x != 0) {
                    k += static_cast<std::size_t>(std::countl_zero(x)) / 8;
                    break;
                }
                k += step;
            }
            la -= k, lb -= k;
        }
    } else {
        while (la > 0 && lb > 0 && *a == *b) ++a, ++b, --la, --lb;
        while (la > 0 && lb > 0 && a[la - 1] == b[lb - 1]) --la, --lb;
    }
}

// Myers' recurrence over ceil(m/64) blocks (Myers 1999, block form). Each block hands the
// next the horizontal delta at its top bit; the row above the first block has delta +1,
// the boundary D[0][j] = j of a global distance. Returns D[m][n].
//
// The carry from block to block is a serial chain, so two text units run interleaved as a
// wavefront: block b of unit j beside block b - 1 of unit j + 1, which already sees what unit
// j left in that block. The two chains are independent and overlap in the processor.
template <class Unit>
std::uint64_t myers_distance(const PatternMasks<Unit>& masks, std::size_t m, const Unit* text,
                             std::size_t n) {
    const std::size_t blocks = masks.blocks();
    std::vector<std::uint64_t> vp(blocks, ~std::uint64_t{0}), vn(blocks, 0);
    const std::uint64_t last = std::uint64_t{1} << ((m - 1) % 64);
    std::uint64_t score = m;
    // Block b for one text unit; (hp, hn) carry the horizontal delta in and out.
    auto advance = [&](std::size_t b, const std::uint64_t* eqs, std::uint64_t& hp,
                       std::uint64_t& hn) {
        const std::uint64_t pv = vp[b], mv = vn[b];
        const std::uint64_t xv = eqs[b] | mv;
        const std::uint64_t eq = eqs[b] | hn;
        const std::uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
        std::uint64_t ph = mv | ~(xh | pv);
        std::uint64_t mh = pv & xh;
        if (b + 1 == blocks) {
            score += (ph & last) != 0;
            score -= (mh & last) != 0;
        }
        const std::uint64_t hp_out = ph >> 63, hn_out = mh >> 63;
        ph = (ph << 1) | hp;
        mh = (mh << 1) | hn;
        vp[b] = mh | ~(xv | ph);
        vn[b] = ph & xv;
        hp = hp_out;
        hn = hn_out;
    };
    std::size_t j = 0;
    for (; j + 1 < n; j += 2) {
        const std::uint64_t *first = masks.row(text[j]), *second = masks.row(text[j + 1]);
        std::uint64_t hp0 = 1, hn0 = 0, hp1 = 1, hn1 = 0;
        advance(0, first, hp0, hn0);
        for (std::size_t b = 1; b < blocks; ++b) {
            advance(b, first, hp0, hn0);
            advance(b - 1, second, hp1, hn1);
        }
        advance(blocks - 1, second, hp1, hn1);
    }
    if (j < n) {
        const std::uint64_t* eqs = masks.row(text[j]);
        std::uint64_t hp = 1, hn = 0;
        for (std::size_t b = 0; b < blocks; ++b) advance(b, eqs, hp, hn);
    }
    return score;
}

// Length of a longest common subsequence of the pattern and a text streamed unit by unit, by
// the bit-vector recurrence S' = (S + (S & M)) | (S & ~M), the addition carrying across
// blocks; the LCS of the pattern and the text so far is the number of zeros of S.
template <class Unit>
class LcsStream {
  public:
    explicit LcsStream(const PatternMasks<Unit>& masks)
        : masks_(masks), s_(masks.blocks(), ~std::uint64_t{0}) {}

    // The bits above the pattern stay ones, so a carry out of its top bit leaves the last
    // word: the LCS grows by one exactly then.
    void step(Unit c) noexcept {
        const std::uint64_t* eqs = masks_.row(c);
        std::uint64_t carry = 0;
        for (std::size_t b = 0; b < s_.size(); ++b) {
            const std::uint64_t u = s_[b] & eqs[b];
            const std::uint64_t sum1 = s_[b] + u;
            const std::uint64_t sum = sum1 + carry;
            carry = (sum1 < u) | (sum < carry);
            s_[b] = sum | (s_[b] - u);
        }
        length_ += carry;
    }

    std::uint64_t length() const noexcept { return length_; }

  private:
    const PatternMasks<Unit>& masks_;
    std::vector<std::uint64_t> s_;
    std::uint64_t length_ = 0;
};

template <class Unit>
std::uint64_t lcs_length(const PatternMasks<Unit>& masks, const Unit* text, std::size_t n) {
    LcsStream<Unit> stream(masks);
    for (std::size_t j = 0; j < n; ++j) stream.step(text[j]);
    return stream.length();
}

// Edit distance of two unit sequences: strip common affixes, then run Myers with the shorter
// remainder as the pattern.
template <class Unit>
std::uint64_t levenshtein(const Unit* a, std::size_t la, const Unit* b, std::size_t lb) {
    strip_affixes(a, la, b, lb);
    if (la > lb) std::swap(a, b), std::swap(la, lb);
    if (la == 0) return lb;
    PatternMasks<Unit> masks(a, la);
    return myers_distance(masks, la, b, lb);
}

// Indel distance: la + lb - 2 LCS. Common affixes belong to every longest common subsequence.
template <class Unit>
std::uint64_t indel(const Unit* a, std::size_t la, const Unit* b, std::size_t lb) {
    strip_affixes(a, la, b, lb);
    if (la > lb) std::swap(a, b), std::swap(la, lb);
    if (la == 0) return lb;
    if constexpr (sizeof(Unit) == 1) {
        if (la <= 64) {
            return la + lb - 2 * with_word_masks(a, la, [&](const auto& masks) {
                                 return lcs_word(masks, la, b, lb);
                             });
        }
    }
    PatternMasks<Unit> masks(a, la);
    return la + lb - 2 * lcs_length(masks, b, lb);
}

}  // namespace quillon::bitpar
