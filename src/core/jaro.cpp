// Jaro and Jaro-Winkler of one pair. Floating-point expressions are evaluated exactly as written
// (the build forbids contraction), because callers compare results bit for bit across routes.
#include "jaro.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "bitpar.hpp"
#include "simd/kernels.hpp"

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

}  // namespace

double jaro_inner_slice(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b,
                        std::uint8_t* flags_a, std::uint8_t* flags_b, std::size_t w) noexcept {
    return inner(a, b, flags_a, flags_b, w);
}

double jaro_inner_slice(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b,
                        std::uint8_t* flags_a, std::uint8_t* flags_b, std::size_t w) noexcept {
    return inner(a, b, flags_a, flags_b, w);
}

double jaro_bytes(TextSlice a, TextSlice b) {
    if (a.size <= 64 && b.size <= 64) return simd::jaro_bitpar(a, b);
    return with_flags(units(a), units(b), true);
}

double jaro_optimized(TextSlice a, TextSlice b) { return with_flags(units(a), units(b)); }

double jaro(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return jaro_bytes(a, b);
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return with_flags(std::span<const std::uint32_t>(sa), std::span<const std::uint32_t>(sb), true);
}

double jaro_winkler(TextSlice a, TextSlice b, double p) {
    if (a == b) return 1.0;
    const double pc = clamp_prefix_scale(p);
    if (is_ascii(a) && is_ascii(b)) {
        const double j = jaro_bytes(a, b);
        return winkler_boost(j, winkler_prefix(a.bytes(), a.size, b.bytes(), b.size), pc);
    }
    // Decoded once, for the similarity and for the prefix.
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    const double j =
        with_flags(std::span<const std::uint32_t>(sa), std::span<const std::uint32_t>(sb), true);
    return winkler_boost(j, winkler_prefix(sa.data(), sa.size(), sb.data(), sb.size()), pc);
}

}  // namespace quillon
