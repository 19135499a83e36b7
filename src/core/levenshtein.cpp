// Levenshtein distance of one pair: Myers' bit-parallel kernels over bytes for ASCII pairs
// (Hyyrö's formulation), over scalar values for the others.
#include "levenshtein.hpp"

#include <cstring>
#include <string>
#include <utility>

#include "bitpar.hpp"
#include "error.hpp"

namespace quillon {

namespace {

// The pattern's table as the mask provider of bitpar::myers_word, so the single-text kernel
// runs the very same step.
struct PeqMasks {
    const std::uint64_t* peq;
    std::uint64_t operator[](std::uint8_t c) const noexcept { return peq[c]; }
};

}  // namespace

std::uint32_t levenshtein_utf8(TextSlice a, TextSlice b) { return levenshtein_myers(a, b); }

std::uint32_t levenshtein_myers_word(TextSlice pattern, TextSlice text) noexcept {
    return bitpar::saturate_u32(
        bitpar::with_word_masks(pattern.bytes(), pattern.size, [&](const auto& masks) {
            return bitpar::myers_word(masks, pattern.size, text.bytes(), text.size);
        }));
}

std::uint32_t levenshtein_myers(TextSlice a, TextSlice b) {
    if (!is_ascii(a) || !is_ascii(b)) {
        // The slices are already well-formed UTF-8 when they come from Python; the lossy
        // decode only matters to direct callers with raw bytes.
        return levenshtein_scalars(decode_utf8(a), decode_utf8(b));
    }
    if (a.empty()) return bitpar::saturate_u32(b.size);
    if (b.empty()) return bitpar::saturate_u32(a.size);
    // The shorter text is the pattern; on equal lengths a is.
    TextSlice pattern = a, text = b;
    if (b.size < a.size) std::swap(pattern, text);
    if (pattern.size <= 64) return levenshtein_myers_word(pattern, text);
    // Longer patterns: strip the common affixes, then one word or Myers' blocks.
    const std::uint8_t *p = pattern.bytes(), *t = text.bytes();
    std::size_t m = pattern.size, n = text.size;
    bitpar::strip_affixes(p, m, t, n);
    if (m > n) std::swap(p, t), std::swap(m, n);
    if (m == 0) return bitpar::saturate_u32(n);
    const auto* pc = reinterpret_cast<const char*>(p);
    const auto* tc = reinterpret_cast<const char*>(t);
    if (m <= 64) return levenshtein_myers_word(TextSlice(pc, m), TextSlice(tc, n));
    const bitpar::PatternMasks<std::uint8_t> masks(p, m);
    return bitpar::saturate_u32(bitpar::myers_distance(masks, m, t, n));
}

std::uint32_t levenshtein_scalars(const Scalars& a, const Scalars& b) {
    // Saturating every cell at 2^32 - 1 gives min(distance, 2^32 - 1), so capping the exact
    // bit-parallel result is the same thing.
    return bitpar::saturate_u32(bitpar::levenshtein(a.data(), a.size(), b.data(), b.size()));
}

simd::MyersPattern simd::MyersPattern::build(TextSlice pattern) {
    const bool ascii = is_ascii(pattern);
    if (pattern.size == 0 || pattern.size > 64 || !ascii) {
        throw InternalError("MyersPattern: pattern must be non-empty ASCII ≤ 64 bytes (got " +
                            std::to_string(pattern.size) +
                            " bytes, ascii=" + (ascii ? "true" : "false") + ")");
    }
    MyersPattern built;
    std::memset(built.peq, 0, sizeof built.peq);
    const std::uint8_t* p = pattern.bytes();
    for (std::size_t k = 0; k < pattern.size; ++k) built.peq[p[k]] |= std::uint64_t{1} << k;
    built.len = pattern.size;
    // 64 bytes fill the word: every bit is a pattern position.
    built.mask = pattern.size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << pattern.size) - 1;
    built.last = std::uint64_t{1} << (pattern.size - 1);
    return built;
}

std::uint32_t levenshtein_myers_single(const simd::MyersPattern& pattern, TextSlice text) noexcept {
    const std::uint64_t score =
        bitpar::myers_word(PeqMasks{pattern.peq}, pattern.len, text.bytes(), text.size);
    // Saturates like levenshtein_myers_word; only a text of 4 GiB or more could reach it.
    return bitpar::saturate_u32(score);
}

}  // namespace quillon
