// MyersPattern and the baseline entries of the multi-lane Myers kernels: the single-text loop
// and the dispatch of groups of 4 and 8 on the detection cells.
#include <cstring>
#include <string>

#include "../bitpar.hpp"
#include "../error.hpp"
#include "isa.hpp"
#include "kernels.hpp"

namespace quillon::simd {

namespace {

// The pattern's table as the mask provider of bitpar::myers_word, so the single-text kernel
// runs the very same step.
struct PeqMasks {
    const std::uint64_t* peq;
    std::uint64_t operator[](std::uint8_t c) const noexcept { return peq[c]; }
};

}  // namespace

MyersPattern MyersPattern::build(TextSlice pattern) {
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

std::uint32_t levenshtein_myers_single(const MyersPattern& pattern, TextSlice text) noexcept {
    const std::uint64_t score =
        bitpar::myers_word(PeqMasks{pattern.peq}, pattern.len, text.bytes(), text.size);
    // Saturates like levenshtein_myers_word; only a text of 4 GiB or more could reach it.
    return bitpar::saturate_u32(score);
}

void levenshtein_myers_4way_pat(const MyersPattern& pattern, const TextSlice* texts,
                                std::uint32_t* out) noexcept {
    if (avx2_available()) {
        levenshtein_myers_4way_avx2(pattern, texts, out);
    } else {
        levenshtein_myers_4way_portable(pattern, texts, out);
    }
}

void levenshtein_myers_width(const MyersPattern& pattern, const TextSlice* texts, std::size_t n,
                             std::uint32_t* out) noexcept {
    if (n == 4) {
        levenshtein_myers_4way_pat(pattern, texts, out);
    } else if (n == 8) {
        if (avx512_available()) {
            levenshtein_myers_8way_avx512(pattern, texts, out);
        } else {
            levenshtein_myers_4way_pat(pattern, texts, out);
            levenshtein_myers_4way_pat(pattern, texts + 4, out + 4);
        }
    } else {
        // 1, 2 and every other count (0 included): one text at a time, in order.
        for (std::size_t k = 0; k < n; ++k) out[k] = levenshtein_myers_single(pattern, texts[k]);
    }
}

}  // namespace quillon::simd
