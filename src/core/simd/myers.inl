// Myers' single-word recurrence for Lanes::width texts at once, text k in lane k. Written once
// and included by each instruction-set file after its lanes type and its QUILLON_ISA; no include
// guard, since every inclusion opens a different namespace.
#include <cstddef>
#include <cstdint>

#include "common.inl"
#include "kernels.hpp"

namespace quillon::simd::QUILLON_ISA {

// What an ended lane reads instead of its text; its table entry is masked off before use.
constexpr std::uint8_t stand_in = 0;

template <class Lanes>
struct Deltas {
    typename Lanes::Vec hp, hn;
};

// One text position on every lane, the step of bitpar::myers_word: updates VP and VN and
// returns HP and HN before the shift, whose last pattern bit the caller adds to the score.
template <class Lanes>
inline Deltas<Lanes> myers_step(typename Lanes::Vec eq, typename Lanes::Vec& vp,
                                typename Lanes::Vec& vn, typename Lanes::Vec mask) noexcept {
    using L = Lanes;
    const auto d0 = L::xor_or(L::add(L::bit_and(eq, vp), vp), vp, eq);
    const auto hp = L::or_nor(vn, d0, vp);
    const auto hn = L::bit_and(d0, vp);
    const auto x = L::bit_or(eq, vn);
    // The 1 shifted into HP stands for the boundary row D[0][j] = j.
    const auto hp_shifted = L::shift_in_one(hp);
    const auto hn_shifted = L::shift(hn);
    vp = L::bit_and(L::or_nor(hn_shifted, hp_shifted, x), mask);
    vn = L::and3(x, hp_shifted, mask);
    return {hp, hn};
}

// Distances of the pattern against texts[0 .. Lanes::width), low 32 bits into out in lane order.
// Up to the shortest text every lane reads a byte and nothing is masked; from there to the
// longest, a lane whose text has ended reads nothing and keeps its score.
template <class Lanes>
void myers_group(const MyersPattern& pattern, const TextSlice* texts, std::uint32_t* out) noexcept {
    using Vec = typename Lanes::Vec;
    constexpr std::size_t width = Lanes::width;

    const std::uint8_t* text[width];
    std::size_t lo = texts[0].size, hi = texts[0].size;
    for (std::size_t k = 0; k < width; ++k) {
        text[k] = bytes_of(texts[k]);
        if (texts[k].size < lo) lo = texts[k].size;
        if (texts[k].size > hi) hi = texts[k].size;
    }

    const Vec mask = Lanes::splat(pattern.mask), last = Lanes::splat(pattern.last);
    Vec vp = mask, vn = Lanes::splat(0), score = Lanes::splat(pattern.len);
    const std::uint8_t* at[width];

    for (std::size_t i = 0; i < lo; ++i) {
        for (std::size_t k = 0; k < width; ++k) at[k] = text[k] + i;
        const auto d = myers_step<Lanes>(Lanes::gather(pattern.peq, at), vp, vn, mask);
        score = Lanes::tally(score, d.hp, d.hn, last);
    }

    if (hi == lo) {
        Lanes::store_low32(score, out);
        return;
    }
    std::uint64_t left[width];
    for (std::size_t k = 0; k < width; ++k) left[k] = texts[k].size - lo;
    Vec remaining = Lanes::load(left);
    for (std::size_t i = lo; i < hi; ++i) {
        const auto active = Lanes::active(remaining);
        const unsigned bits = Lanes::active_bits(active);
        // A select, not a branch; an ended text is not even offset (it may be null).
        for (std::size_t k = 0; k < width; ++k) {
            at[k] = (bits >> k & 1u) != 0 ? text[k] + i : &stand_in;
        }
        const Vec eq = Lanes::keep(Lanes::gather(pattern.peq, at), active);
        // VP and VN of an ended lane go on changing; nothing reads them again.
        const auto d = myers_step<Lanes>(eq, vp, vn, mask);
        score = Lanes::tally(score, d.hp, d.hn, last, active);
        remaining = Lanes::count_down(remaining, active);
    }
    Lanes::store_low32(score, out);
}

}  // namespace quillon::simd::QUILLON_ISA
