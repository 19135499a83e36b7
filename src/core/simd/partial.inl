// The partial-ratio kernels, written once in vector extensions and included by each
// instruction-set file after its QUILLON_ISA and QUILLON_VECTOR_BYTES, the width of its
// registers (vectors wider than that are kept in memory by the compiler). No include guard:
// every inclusion opens a different namespace.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "partial.hpp"

// The vector helpers below are inlined into this file's entries only, so the note that a vector
// argument's calling convention differs between instruction sets does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace quillon::simd::QUILLON_ISA {

template <class T, std::size_t Bytes>
using Vector [[gnu::vector_size(Bytes)]] = T;

template <class V, class T>
inline V load_vector(const T* p) noexcept {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V, class T>
inline void store_vector(T* p, V v) noexcept {
    std::memcpy(p, &v, sizeof v);
}

// Bits set in each lane, by halves, nibbles and bytes (no lane popcount below AVX-512 BITALG).
template <class Lane, class V>
inline V lane_popcount(V x) noexcept {
    x -= (x >> 1) & static_cast<Lane>(0x5555555555555555ULL);
    x = (x & static_cast<Lane>(0x3333333333333333ULL)) +
        ((x >> 2) & static_cast<Lane>(0x3333333333333333ULL));
    x = (x + (x >> 4)) & static_cast<Lane>(0x0F0F0F0F0F0F0F0FULL);
    if constexpr (sizeof(Lane) >= 2) x += x >> 8;
    if constexpr (sizeof(Lane) >= 4) x += x >> 16;
    if constexpr (sizeof(Lane) >= 8) x += x >> 32;
    return x & static_cast<Lane>(0x7F);
}

// Two registers of haystack bytes at a time, widened to 16-bit lanes and compared with each
// needle byte from the last to the first: masks = 2 masks - (text == unit), the compare giving
// all ones (-1) where they are equal, so bit k lands on its place after the shifts that follow.
inline std::uint64_t byte_masks16(const std::uint8_t* needle, std::size_t n,
                                  const std::uint8_t* haystack, std::size_t h,
                                  std::uint16_t* out) noexcept {
    using V = Vector<std::uint16_t, QUILLON_VECTOR_BYTES>;
    constexpr std::size_t g = QUILLON_VECTOR_BYTES / 2;
    using Bytes = Vector<std::uint8_t, g>;
    V units[16];
    for (std::size_t k = 0; k < n; ++k) units[k] = V{} + needle[k];
    // masks_of(at) for the g bytes at `at` and the g after them.
    const auto masks_of = [&](const std::uint8_t* at, V& low, V& high) {
        const V text_low = __builtin_convertvector(load_vector<Bytes>(at), V);
        const V text_high = __builtin_convertvector(load_vector<Bytes>(at + g), V);
        low = V{};
        high = V{};
#pragma GCC unroll 1
        for (std::size_t k = n; k-- > 0;) {
            low = (low + low) - reinterpret_cast<V>(text_low == units[k]);
            high = (high + high) - reinterpret_cast<V>(text_high == units[k]);
        }
    };
    V seen{}, low, high;
    std::size_t p = 0;
    for (; p + 2 * g <= h; p += 2 * g) {
        masks_of(haystack + p, low, high);
        store_vector(out + p, low);
        store_vector(out + p + g, high);
        seen |= low | high;
    }
    std::uint64_t present = 0;
    if (p < h) {
        // The last bytes, from a copy: lanes past the end are dropped.
        std::uint8_t tail[2 * g] = {};
        std::memcpy(tail, haystack + p, h - p);
        std::uint16_t masks[2 * g];
        masks_of(tail, low, high);
        store_vector(masks, low);
        store_vector(masks + g, high);
        for (std::size_t i = 0; p + i < h; ++i) {
            out[p + i] = masks[i];
            present |= masks[i];
        }
    }
    std::uint16_t lanes[g];
    store_vector(lanes, seen);
    for (std::size_t i = 0; i < g; ++i) present |= lanes[i];
    return present;
}

// The windows at f .. f + G - 1 read, at step j, the G consecutive masks from masks[f + j]: one
// lane per window, a step's masks are one unaligned load. Each lane runs the bit-vector LCS
// S' = (S + U) | (S - U), U = S & mask (U is a subset of S, so S - U = S ^ U); a lane's carry out
// of its top bit is dropped, and the LCS is read from the zeros of S at the end. A block of 128
// bytes of lanes advances as several registers (QUILLON_VECTOR_BYTES each), whose chains of
// three dependent operations per step overlap.
template <class Lane>
void window_sweep(const Lane* masks, std::size_t n, std::size_t starts,
                  std::uint8_t* out) noexcept {
    using V = Vector<Lane, QUILLON_VECTOR_BYTES>;
    constexpr std::size_t g = QUILLON_VECTOR_BYTES / sizeof(Lane),
                          vectors = 128 / QUILLON_VECTOR_BYTES;
    using Bytes = Vector<std::uint8_t, g>;
    const Lane bits =
        n >= 8 * sizeof(Lane) ? static_cast<Lane>(~Lane{0}) : static_cast<Lane>((Lane{1} << n) - 1);
    const auto twice_n = static_cast<Lane>(2 * n);
    for (std::size_t first = 0; first < starts; first += g * vectors) {
        V s[vectors];
#pragma GCC unroll 8
        for (std::size_t v = 0; v < vectors; ++v) s[v] = ~V{};
        const Lane* step = masks + first;
        for (std::size_t j = 0; j < n; ++j, ++step) {
#pragma GCC unroll 8
            for (std::size_t v = 0; v < vectors; ++v) {
                const V u = s[v] & load_vector<V>(step + v * g);
                s[v] = (s[v] + u) | (s[v] ^ u);
            }
        }
#pragma GCC unroll 8
        for (std::size_t v = 0; v < vectors; ++v) {
            const V lcs = lane_popcount<Lane>(~s[v] & bits);
            store_vector(out + first + v * g, __builtin_convertvector(twice_n - lcs - lcs, Bytes));
        }
    }
}

inline void window_sweep_any(const void* masks, std::size_t lane_bytes, std::size_t n,
                             std::size_t starts, std::uint8_t* out) noexcept {
    switch (lane_bytes) {
        case 2:
            return window_sweep(static_cast<const std::uint16_t*>(masks), n, starts, out);
        case 4:
            return window_sweep(static_cast<const std::uint32_t*>(masks), n, starts, out);
        default:
            return window_sweep(static_cast<const std::uint64_t*>(masks), n, starts, out);
    }
}

// One cell: the seaweeds swap when the units match or when the one from the left has the larger
// label, which means the two crossed before.
template <class Label>
inline void comb_cell(Label a, Label b, Label& row, Label& column) noexcept {
    const Label h = row, v = column;
    if (a == b || h > v) {
        row = v;
        column = h;
    }
}

// Anti-diagonal d holds the cells (i, d - i); with the columns and the haystack reversed, both
// arrays run forwards along it, and its cells are independent of one another.
template <class Label>
void comb(const Label* needle, std::size_t m, const Label* haystack_reversed, std::size_t h,
          Label* rows, Label* columns) noexcept {
    using V = Vector<Label, QUILLON_VECTOR_BYTES>;
    constexpr std::size_t g = QUILLON_VECTOR_BYTES / sizeof(Label);
    for (std::size_t d = 0; d + 1 < m + h; ++d) {
        const std::size_t lo = d + 1 > h ? d + 1 - h : 0, hi = d < m - 1 ? d : m - 1;
        const std::size_t count = hi - lo + 1, column = h - 1 - d + lo;
        Label* r = rows + lo;
        Label* c = columns + column;
        const Label* a = needle + lo;
        const Label* b = haystack_reversed + column;
        std::size_t k = 0;
        for (; k + g <= count; k += g) {
            const V hv = load_vector<V>(r + k), vv = load_vector<V>(c + k);
            const V swap =
                reinterpret_cast<V>((load_vector<V>(a + k) == load_vector<V>(b + k)) | (hv > vv));
            const V flip = (hv ^ vv) & swap;
            store_vector(r + k, hv ^ flip);
            store_vector(c + k, vv ^ flip);
        }
        for (; k < count; ++k) comb_cell(a[k], b[k], r[k], c[k]);
    }
}

}  // namespace quillon::simd::QUILLON_ISA
