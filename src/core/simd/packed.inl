// The narrow-lane Myers kernel, written once over a lanes type and included by each
// instruction-set file after its QUILLON_ISA; no include guard, since every inclusion opens a
// different namespace. Also the portable lanes type, which every file may fall back on.
#include <cstddef>
#include <cstdint>

#include "packed.hpp"

namespace quillon::simd::QUILLON_ISA {

// Lanes of plain unsigned integers of Unit's width, `width` at a time: the reference route, and
// the fallback where an instruction set has no lanes type of that width.
template <class Unit, std::size_t Width>
struct PlainLanes {
    static constexpr std::size_t width = Width;
    struct Vec {
        Unit v[Width];
    };
    using Mask = Vec;
    struct Tables {
        Unit low[16], high[16];
    };

    static Tables tables(const packed::Query& q) noexcept {
        Tables t;
        for (std::size_t x = 0; x < 16; ++x) {
            t.low[x] = static_cast<Unit>(q.low[x]);
            t.high[x] = static_cast<Unit>(q.high[x]);
        }
        return t;
    }
    static Vec splat(std::uint64_t value) noexcept {
        Vec r;
        for (auto& v : r.v) v = static_cast<Unit>(value);
        return r;
    }
    static Vec load_units(const std::uint8_t* row) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = row[k];
        return r;
    }
    static Vec lookup(const Tables& t, Vec units) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k)
            r.v[k] = static_cast<Unit>(t.low[units.v[k] & 15] & t.high[units.v[k] >> 4]);
        return r;
    }
    template <class Op>
    static Vec each(Vec a, Vec b, Op op) noexcept {
        Vec r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = static_cast<Unit>(op(a.v[k], b.v[k]));
        return r;
    }
    static Vec bit_and(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x & y; });
    }
    static Vec bit_or(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x | y; });
    }
    static Vec add(Vec a, Vec b) noexcept {
        return each(a, b, [](Unit x, Unit y) { return x + y; });
    }
    static Vec xor_or(Vec a, Vec b, Vec c) noexcept {  // (a ^ b) | c
        return bit_or(each(a, b, [](Unit x, Unit y) { return x ^ y; }), c);
    }
    static Vec or_nor(Vec a, Vec b, Vec c) noexcept {  // a | ~(b | c)
        return each(a, bit_or(b, c), [](Unit x, Unit y) { return x | static_cast<Unit>(~y); });
    }
    static Mask active(Vec lengths, std::size_t i) noexcept {
        Mask r;
        for (std::size_t k = 0; k < Width; ++k) r.v[k] = lengths.v[k] > i ? Unit(~Unit{0}) : 0;
        return r;
    }
    static Vec tally(Vec score, Vec hp, Vec hn, Vec last, Mask active) noexcept {
        for (std::size_t k = 0; k < Width; ++k) {
            if (active.v[k] == 0) continue;
            score.v[k] = static_cast<Unit>(score.v[k] + ((hp.v[k] & last.v[k]) != 0) -
                                           ((hn.v[k] & last.v[k]) != 0));
        }
        return score;
    }
    static void store(Vec score, std::uint32_t* out) noexcept {
        for (std::size_t k = 0; k < Width; ++k) out[k] = static_cast<std::uint32_t>(score.v[k]);
    }
};

// Myers' step (as in bitpar::myers_word) on L::width lanes at a time. Bits above the query's
// length are never masked: carries and shifts only move information upwards, so they cannot
// reach the bit that the score reads. A lane whose candidate has ended keeps its score.
template <class L>
void myers_lanes(const packed::Query& query, packed::BlockView block, std::uint32_t* out) noexcept {
    const auto tables = L::tables(query);
    const auto last = L::splat(std::uint64_t{1} << (query.length - 1));
    const auto one = L::splat(1);
    for (std::size_t base = 0; base < packed::lanes; base += L::width) {
        std::uint8_t steps = 0;  // bytes, so that the maximum is a few vector instructions
        for (std::size_t k = 0; k < L::width; ++k) {
            steps = block.length[base + k] > steps ? block.length[base + k] : steps;
        }
        const auto lengths = L::load_units(block.length + base);
        auto vp = L::splat(~std::uint64_t{0}), vn = L::splat(0), score = L::splat(query.length);
        for (std::size_t i = 0; i < steps; ++i) {
            const auto eq =
                L::lookup(tables, L::load_units(block.units + i * packed::lanes + base));
            const auto x = L::bit_or(eq, vn);
            const auto d0 = L::xor_or(L::add(L::bit_and(eq, vp), vp), vp, eq);
            const auto hp = L::or_nor(vn, d0, vp);
            const auto hn = L::bit_and(d0, vp);
            score = L::tally(score, hp, hn, last, L::active(lengths, i));
            // The 1 shifted into HP stands for the boundary row D[0][j] = j.
            const auto hp_shifted = L::bit_or(L::add(hp, hp), one);
            const auto hn_shifted = L::add(hn, hn);
            vp = L::or_nor(hn_shifted, x, hp_shifted);
            vn = L::bit_and(x, hp_shifted);
        }
        L::store(score, out + base);
    }
}

}  // namespace quillon::simd::QUILLON_ISA
