// The bit-parallel Jaro kernel for one pair and the baseline entries of the multi-lane Jaro
// kernels: the checked four-lane entry and the dispatch of groups on the detection cells.
#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "../error.hpp"
#include "../jaro.hpp"
#include "isa.hpp"
#include "kernels.hpp"

namespace quillon::simd {

namespace {

const char* bool_text(bool value) noexcept { return value ? "true" : "false"; }

}  // namespace

double jaro_bitpar(TextSlice a, TextSlice b) {
    const bool a_ascii = is_ascii(a), b_ascii = is_ascii(b);
    if (a.size > 64 || b.size > 64 || !a_ascii || !b_ascii) {
        throw InternalError(
            "jaro_bitpar: inputs must be ASCII ≤ 64 bytes (got a=" + std::to_string(a.size) +
            " bytes ascii=" + bool_text(a_ascii) + ", b=" + std::to_string(b.size) +
            " bytes ascii=" + bool_text(b_ascii) + ")");
    }
    const std::size_t la = a.size, lb = b.size;
    if (la == 0) return lb == 0 ? 1.0 : 0.0;
    if (lb == 0) return 0.0;
    const std::uint8_t* pa = a.bytes();
    const std::uint8_t* pb = b.bytes();
    if (la == lb && std::memcmp(pa, pb, la) == 0) return 1.0;

    // table[c]: bit j is set when b[j] is c. Only rows of bytes in a are read and only rows of
    // bytes in b are written, so clearing those rows replaces clearing all 2 KB.
    std::uint64_t table[256];
    for (std::size_t i = 0; i < la; ++i) table[pa[i]] = 0;
    for (std::size_t j = 0; j < lb; ++j) table[pb[j]] = 0;
    for (std::size_t j = 0; j < lb; ++j) table[pb[j]] |= std::uint64_t{1} << j;

    const std::size_t w = jaro_window(la, lb);
    // The window lo..hi, lo = i - min(i, w) and hi = min(i + w, lb - 1), follows i one bit at a
    // time instead of being rebuilt: the top edge rises with every position and the bottom edge
    // once i passes w. The top is not clipped at lb - 1, since rows hold no bit at or above lb.
    std::uint64_t top = (std::uint64_t{2} << w) - 1;  // bits 0..w; w is at most 31
    std::uint64_t bottom = ~std::uint64_t{0};
    std::uint64_t used = 0, matched = 0, bit = 1;
    for (std::size_t i = 0; i < la; ++i) {
        const std::uint64_t cand = bottom & top & table[pa[i]] & ~used;
        // The lowest free equal position, the first one the scalar kernel's scan would meet.
        used |= cand & (0 - cand);
        matched |= cand != 0 ? bit : 0;
        bit <<= 1;
        top = top << 1 | 1;
        bottom = i >= w ? bottom << 1 : bottom;
    }
    if (matched == 0) return 0.0;

    // The k-th matched position of a pairs with the k-th taken position of b.
    std::uint32_t m = 0, t = 0;
    for (; matched != 0; matched &= matched - 1, used &= used - 1) {
        ++m;
        t += pa[std::countr_zero(matched)] != pb[std::countr_zero(used)];
    }
    return jaro_from_counts(m, t, la, lb);
}

void jaro_4way(TextSlice query, const TextSlice* candidates, double* out) {
    const bool ascii = is_ascii(query);
    if (query.size > 64 || !ascii) {
        throw InternalError("jaro_4way: first argument must be ASCII ≤ 64 bytes (got " +
                            std::to_string(query.size) + " bytes, ascii=" + bool_text(ascii) + ")");
    }
    if (avx2_available()) {
        jaro_4way_avx2(query, candidates, out);
    } else {
        for (std::size_t k = 0; k < 4; ++k) out[k] = jaro_bitpar(query, candidates[k]);
    }
}

void jaro_width(TextSlice query, const TextSlice* candidates, std::size_t n, double* out) {
    if (n == 4) {
        jaro_4way(query, candidates, out);
    } else if (n == 8) {
        if (avx512_available()) {
            jaro_8way_avx512(query, candidates, out);
        } else {
            jaro_4way(query, candidates, out);
            jaro_4way(query, candidates + 4, out + 4);
        }
    } else {
        // 1, 2 and every other count (0 included): one pair at a time, in order.
        for (std::size_t k = 0; k < n; ++k) out[k] = jaro_bitpar(query, candidates[k]);
    }
}

}  // namespace quillon::simd
