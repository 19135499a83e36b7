// Myers' bit-parallel edit distance on ASCII bytes (Hyyrö's formulation).
#include "myers.hpp"

#include <algorithm>
#include <vector>

#include "../bitpar.hpp"
#include "../levenshtein.hpp"

namespace quillon::simd {

std::uint32_t levenshtein_myers_word(TextSlice pattern, TextSlice text) noexcept {
    return bitpar::saturate_u32(
        bitpar::with_word_masks(pattern.bytes(), pattern.size, [&](const auto& masks) {
            return bitpar::myers_word(masks, pattern.size, text.bytes(), text.size);
        }));
}

std::uint32_t levenshtein_rows_bytes(TextSlice pattern, TextSlice text) {
    const std::uint8_t* p = pattern.bytes();
    const std::uint8_t* t = text.bytes();
    std::vector<std::uint64_t> row(text.size + 1);
    for (std::size_t j = 0; j <= text.size; ++j) row[j] = j;
    for (std::size_t i = 1; i <= pattern.size; ++i) {
        std::uint64_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= text.size; ++j) {
            const std::uint64_t up = row[j];
            row[j] = std::min({row[j - 1] + 1, up + 1, diag + (p[i - 1] != t[j - 1])});
            diag = up;
        }
    }
    return bitpar::saturate_u32(row[text.size]);
}

std::uint32_t levenshtein_myers(TextSlice a, TextSlice b) {
    if (!is_ascii(a) || !is_ascii(b)) {
        // The slices are already well-formed UTF-8 when they come from Python; the lossy
        // decode only matters to direct callers with raw bytes.
        const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
        return levenshtein_scalars(sa, sb);
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

}  // namespace quillon::simd
