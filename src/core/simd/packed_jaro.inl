// The narrow-lane Jaro kernel, written once over a lanes type and included by each
// instruction-set file after its QUILLON_ISA; no include guard, since every inclusion opens a
// different namespace. Also the plain lanes type, the reference route. Everything here has
// internal linkage, so no two instruction sets can share an instance.
#include <cstddef>
#include <cstdint>

#include "packed_jaro.hpp"

namespace quillon::simd::QUILLON_ISA {
namespace {

// The matching window of a lane: jaro_window of the query's and the candidate's length.
inline std::size_t window_of(std::size_t len, std::size_t n) noexcept {
    const std::size_t half = (len > n ? len : n) / 2;
    return half > 0 ? half - 1 : 0;
}

// The window's top edge before the first step: bits 0..w, all of the lane when w reaches past.
template <class Unit>
Unit top_edge(std::size_t w) noexcept {
    return static_cast<Unit>(w + 1 >= sizeof(Unit) * 8 ? ~std::uint64_t{0}
                                                       : (std::uint64_t{1} << (w + 1)) - 1);
}

// Lanes of plain unsigned integers of Unit's width, Width at a time; a mask is a lane of all
// ones or zero.
template <class U, std::size_t Width>
struct JaroPlainLanes {
    using Unit = U;
    static constexpr std::size_t width = Width;
    struct Vec {
        Unit v[Width];
    };
    using Mask = Vec;

    template <class Op>
    static Vec each(Vec a, Vec b, Op op) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = static_cast<Unit>(op(a.v[k], b.v[k]));
        return r;
    }
    static Vec splat(std::uint64_t value) noexcept {
        Vec r;
        for (auto& v : r.v) v = static_cast<Unit>(value);
        return r;
    }
    static Vec load(const Unit* p) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = p[k];
        return r;
    }
    static void store(Vec a, Unit* p) noexcept {
        for (std::size_t k = 0; k < Width; ++k) p[k] = a.v[k];
    }
    static Vec bit_and(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x & y; });
    }
    static Vec bit_or(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x | y; });
    }
    static Vec bit_xor(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x ^ y; });
    }
    static Vec and3(Vec a, Vec b, Vec c) noexcept { return bit_and(bit_and(a, b), c); }
    static Vec and_not(Vec a, Vec b) noexcept {  // a & ~b
        return each(a, b, [](Unit x, Unit y) { return x & static_cast<Unit>(~y); });
    }
    static Vec add(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x + y; });
    }
    static Vec sub(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x - y; });
    }
    static Vec or_lowest(Vec used, Vec fresh) noexcept {  // used | (fresh & -fresh)
        return bit_or(used, bit_and(fresh, sub(splat(0), fresh)));
    }
    static Mask nonzero(Vec a) noexcept {
        Mask r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = a.v[k] != 0 ? Unit(~Unit{0}) : 0;
        return r;
    }
    static Mask is_zero(Vec a) noexcept {
        Mask r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = a.v[k] == 0 ? Unit(~Unit{0}) : 0;
        return r;
    }
    static Mask at_most(Vec a, std::size_t i) noexcept {
        Mask r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = a.v[k] <= i ? Unit(~Unit{0}) : 0;
        return r;
    }
    static Mask both(Mask a, Mask b) noexcept { return bit_and(a, b); }
    static Vec keep(Vec a, Mask m) noexcept { return bit_and(a, m); }
    static void store_bytes(Vec a, std::uint8_t* p) noexcept {
        for (std::size_t k = 0; k < Width; ++k) p[k] = static_cast<std::uint8_t>(a.v[k]);
    }
    static Vec windows(const std::uint8_t* lengths, std::size_t n) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k)
            r.v[k] = static_cast<Unit>(window_of(lengths[k], n));
        return r;
    }
    static Vec top_edges(Vec w) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = top_edge<Unit>(w.v[k]);
        return r;
    }
};

// Jaro matching of the query against one block, L::width lanes at a time, as the bit-parallel
// single-pair kernel does it for one lane: the candidate positions a query unit may take are its
// row of masks inside the window and not yet used, and the lowest of them is the earliest free
// equal position, the one the flag-array kernel's scan would meet first.
template <class L>
void jaro_lanes(const packed::JaroQuery& query, packed::JaroBlock block,
                packed::JaroCounts& out) noexcept {
    using Unit = typename L::Unit;
    using Vec = typename L::Vec;
    using Mask = typename L::Mask;
    const Unit* masks = static_cast<const Unit*>(block.masks);
    const std::size_t n = query.length;
    const std::size_t prefix_steps = n < 4 ? n : 4;
    const Vec zero = L::splat(0), one = L::splat(1), ones = L::splat(~std::uint64_t{0});
    auto row = [&](std::size_t i, std::size_t base) {
        return L::load(masks + std::size_t{query.rows[i]} * packed::lanes + base);
    };
    for (std::size_t base = 0; base < packed::lanes; base += L::width) {
        // The window lo..hi, lo = i - min(i, w) and hi = i + w, follows i one bit at a time: the
        // top edge rises with every position, the bottom edge once i passes the lane's w. The
        // top is not clipped at the candidate's end, since masks hold no bit there, and it
        // saturates at all ones when the window covers the whole lane.
        const Vec window = L::windows(block.length + base, n);
        Vec top = L::top_edges(window), bottom = ones, used = zero;
        Mask found[packed::max_units];
        for (std::size_t i = 0; i < n; ++i) {
            const Vec fresh = L::and_not(L::and3(row(i, base), top, bottom), used);
            // fresh & -fresh is fresh's lowest bit; a lane without one adds nothing.
            used = L::or_lowest(used, fresh);
            found[i] = L::nonzero(fresh);
            top = L::bit_or(L::add(top, top), one);
            bottom = L::add(bottom, L::keep(bottom, L::at_most(window, i)));
        }
        // The k-th matched query position pairs with the k-th lowest used candidate position:
        // out of order when that position does not hold the query's unit.
        Vec m = zero, t = zero;
        for (std::size_t i = 0; i < n; ++i) {
            const Vec low = L::bit_and(used, L::sub(zero, used));
            const Mask f = found[i];
            const Vec hit = L::bit_and(row(i, base), low);
            t = L::add(t, L::keep(one, L::both(f, L::is_zero(hit))));
            m = L::add(m, L::keep(one, f));
            used = L::bit_xor(used, L::keep(low, f));
        }
        // The common prefix: the run of leading query positions whose unit the candidate holds
        // at the same position (masks hold no bit past the candidate's end).
        Vec run = one, prefix = zero;
        for (std::size_t i = 0; i < prefix_steps; ++i) {
            const Vec at = L::bit_and(row(i, base), L::splat(std::uint64_t{1} << i));
            run = L::keep(run, L::nonzero(at));
            prefix = L::add(prefix, run);
        }
        L::store_bytes(m, out.matches + base);
        L::store_bytes(t, out.transpositions + base);
        L::store_bytes(prefix, out.prefix + base);
    }
}

// The kernel for the block's lane width.
template <template <class> class Lanes>
void jaro_block(const packed::JaroQuery& query, packed::JaroBlock block,
                packed::JaroCounts& out) noexcept {
    switch (block.lane_bytes) {
        case 1:
            return jaro_lanes<Lanes<std::uint8_t>>(query, block, out);
        case 2:
            return jaro_lanes<Lanes<std::uint16_t>>(query, block, out);
        case 4:
            return jaro_lanes<Lanes<std::uint32_t>>(query, block, out);
        default:
            return jaro_lanes<Lanes<std::uint64_t>>(query, block, out);
    }
}

}  // namespace
}  // namespace quillon::simd::QUILLON_ISA
