// Jaro and Jaro-Winkler of one pair. Floating-point expressions are evaluated exactly as written
// (the build forbids contraction), because callers compare results bit for bit across routes.
#include "jaro.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "bitpar.hpp"
#include "simd/isa.hpp"

namespace quillon {

namespace {

constexpr std::size_t stack_flags = 128;

template <class Unit>
double inner(std::span<const Unit> a, std::span<const Unit> b, std::uint8_t* flags_a,
             std::uint8_t* flags_b, std::size_t w) noexcept {
    const std::size_t la = a.size(), lb = b.size();
    std::uint32_t m = 0;
    for (std::size_t i = 0; i < la; ++i) {
        // The earliest free equal unit of the window wins; nothing is reassigned later.
        const std::size_t lo = i > w ? i - w : 0, hi = std::min(lb, i + w + 1);
        for (std::size_t j = lo; j < hi; ++j) {
            if (flags_b[j] == 0 && b[j] == a[i]) {
                flags_a[i] = flags_b[j] = 1;
                ++m;
                break;
            }
        }
    }
    if (m == 0) return 0.0;
    std::uint32_t t = 0;
    for (std::size_t i = 0, k = 0; i < la; ++i) {
        if (flags_a[i] == 0) continue;
        while (flags_b[k] == 0) ++k;
        t += a[i] != b[k];
        ++k;
    }
    return jaro_from_counts(m, t, la, lb);
}

// The matching of the flag-array kernel with bit sets: the positions of b that hold a unit are
// its position masks, the free ones are ~used, and the earliest free equal position of the
// window is the lowest set bit of their intersection. One word covers 64 positions, so a long
// pair costs ceil(window / 64) words per unit of a instead of one comparison per position.
template <class Unit>
double blocks(std::span<const Unit> a, std::span<const Unit> b) {
    const std::size_t la = a.size(), lb = b.size(), w = jaro_window(la, lb);
    const bitpar::PatternMasks<Unit> masks(b.data(), lb);
    std::vector<std::uint64_t> used(masks.blocks(), 0), matched_a((la + 63) / 64, 0);
    std::uint32_t m = 0;
    for (std::size_t i = 0; i < la; ++i) {
        const std::size_t lo = i > w ? i - w : 0, hi = std::min(lb, i + w + 1);  // [lo, hi)
        if (lo >= hi) break;  // windows only move right
        const std::uint64_t* eq = masks.row(a[i]);
        const std::size_t first = lo / 64, last = (hi - 1) / 64;
        for (std::size_t k = first; k <= last; ++k) {
            std::uint64_t cand = eq[k] & ~used[k];
            if (k == first) cand &= ~std::uint64_t{0} << (lo % 64);
            if (k == last) cand &= ~std::uint64_t{0} >> (63 - (hi - 1) % 64);
            if (cand != 0) {
                used[k] |= cand & (0 - cand);
                matched_a[i / 64] |= std::uint64_t{1} << (i % 64);
                ++m;
                break;
            }
        }
    }
    if (m == 0) return 0.0;
    // Matched positions of a and of b, both in increasing order, pair up one to one.
    std::uint32_t t = 0;
    std::size_t kb = 0;
    std::uint64_t free_b = used[0];
    for (std::size_t ka = 0; ka < matched_a.size(); ++ka) {
        for (std::uint64_t bits = matched_a[ka]; bits != 0; bits &= bits - 1) {
            while (free_b == 0) free_b = used[++kb];
            const std::size_t i = ka * 64 + static_cast<std::size_t>(std::countr_zero(bits));
            const std::size_t j = kb * 64 + static_cast<std::size_t>(std::countr_zero(free_b));
            free_b &= free_b - 1;
            t += a[i] != b[j];
        }
    }
    return jaro_from_counts(m, t, la, lb);
}

// Empty and identical texts, then the flag-array kernel with flags on the stack when both
// texts fit, on the heap otherwise; or, with allow_blocks, the bit-set matching for texts too
// long for the stack flags.
template <class Unit>
double with_flags(std::span<const Unit> a, std::span<const Unit> b, bool allow_blocks = false) {
    if (a.empty()) return b.empty() ? 1.0 : 0.0;
    if (b.empty()) return 0.0;
    if (std::ranges::equal(a, b)) return 1.0;
    const std::size_t w = jaro_window(a.size(), b.size());
    if (a.size() <= stack_flags && b.size() <= stack_flags) {
        std::uint8_t flags_a[stack_flags] = {}, flags_b[stack_flags] = {};
        return inner(a, b, flags_a, flags_b, w);
    }
    if (allow_blocks) return blocks(a, b);
    const auto flags_a = std::make_unique<std::uint8_t[]>(a.size());
    const auto flags_b = std::make_unique<std::uint8_t[]>(b.size());
    return inner(a, b, flags_a.get(), flags_b.get(), w);
}

std::span<const std::uint8_t> units(TextSlice text) noexcept { return {text.bytes(), text.size}; }

// Jaro of two unit sequences of 1 to 64 units each, not equal: the matching of the flag-array
// kernel with bit masks of b's positions. table[c] has bit j set when b[j] is c (for every unit
// c of a); the free positions are ~used, and the earliest free equal one of the window is the
// lowest set bit.
template <class Unit, class Masks>
double word(const Unit* a, std::size_t la, const Unit* b, std::size_t lb,
            const Masks& table) noexcept {
    const std::size_t w = jaro_window(la, lb);
    // The window lo..hi, lo = i - min(i, w) and hi = min(i + w, lb - 1), follows i one bit at a
    // time instead of being rebuilt: the top edge rises with every position and the bottom edge
    // once i passes w. The top is not clipped at lb - 1, since masks hold no bit at or above lb.
    std::uint64_t top = (std::uint64_t{2} << w) - 1;  // bits 0..w; w is at most 31
    std::uint64_t bottom = ~std::uint64_t{0};
    std::uint64_t used = 0, matched = 0, bit = 1;
    for (std::size_t i = 0; i < la; ++i) {
        const std::uint64_t cand = bottom & top & table[a[i]] & ~used;
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
        t += a[std::countr_zero(matched)] != b[std::countr_zero(used)];
    }
    return jaro_from_counts(m, t, la, lb);
}

// Jaro of two unit sequences: the bit masks when both fit one word, else flags or bit sets.
template <class Unit>
double similarity(const Unit* a, std::size_t la, const Unit* b, std::size_t lb) {
    if (la == 0) return lb == 0 ? 1.0 : 0.0;
    if (lb == 0) return 0.0;
    if (la == lb && std::equal(a, a + la, b)) return 1.0;
    if (la <= 64 && lb <= 64) {
#if defined(__SSE2__)
        if constexpr (sizeof(Unit) == 1) {
            if (lb <= 16) return word(a, la, b, lb, bitpar::ShortByteMasks(b, lb));
        }
#endif
        return word(a, la, b, lb, bitpar::StackWordMasks<Unit>(b, lb, a, la));
    }
    return with_flags(std::span(a, la), std::span(b, lb), true);
}

// Texts of up to this many bytes decode into buffers on the stack.
constexpr std::size_t stack_bytes = 256;

#if defined(__SSE2__)
// The kernel table's decoder of short accented texts, looked up only when one is met.
simd::Latin1Decoder latin1_kernel() noexcept { return simd::kernels().latin1_16; }

// Jaro of a pair in registers (ShortPair).
double similarity16(const ShortPair& pair) noexcept {
    if (pair.la == 0) return pair.lb == 0 ? 1.0 : 0.0;
    if (pair.lb == 0) return 0.0;
    if (pair.la == pair.lb && pair.a == pair.b) return 1.0;
    std::uint8_t a[16], b[16];
    std::memcpy(a, &pair.a, 16);
    std::memcpy(b, &pair.b, 16);
    return word(a, pair.la, b, pair.lb, bitpar::ShortByteMasks(pair.b, pair.lb));
}
#endif

}  // namespace

double jaro_flag_arrays(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return with_flags(units(a), units(b));
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return with_flags(std::span<const std::uint32_t>(sa), std::span<const std::uint32_t>(sb));
}

double jaro(TextSlice a, TextSlice b) {
#if defined(__SSE2__)
    if (ShortPair pair; pair.load(a, b, latin1_kernel)) return similarity16(pair);
#endif
    return with_units<stack_bytes>(
        a, b, [](const auto* ua, std::size_t la, const auto* ub, std::size_t lb) {
            return similarity(ua, la, ub, lb);
        });
}

double jaro_winkler(TextSlice a, TextSlice b, double p) {
    const double pc = clamp_prefix_scale(p);
#if defined(__SSE2__)
    if (ShortPair pair; pair.load(a, b, latin1_kernel)) {
        // Bytes beyond either length are zeros in both, hence the caps.
        const std::size_t prefix =
            std::min({bitpar::low_zero_bytes(pair.a ^ pair.b), pair.la, pair.lb, std::size_t{4}});
        return winkler_boost(similarity16(pair), prefix, pc);
    }
#endif
    // Decoded once, for the similarity and for the prefix.
    return with_units<stack_bytes>(
        a, b, [pc](const auto* ua, std::size_t la, const auto* ub, std::size_t lb) {
            return winkler_boost(similarity(ua, la, ub, lb), winkler_prefix(ua, la, ub, lb), pc);
        });
}

}  // namespace quillon
