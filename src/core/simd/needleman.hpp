// Narrow-lane Needleman-Wunsch kernels: linear and affine global alignment scores in 16- or
// 32-bit cells, for pairs (anti-diagonals, one diagonal's cells side by side) and for groups of
// candidates against one query (one candidate per lane). Exact only while the driver's bound on
// every cell holds (needleman.cpp); the kernels never check it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon::simd::nw {

// The scores as lane values. Linear kernels read gap; affine ones open, extend and
// open_extend (open + extend, which the driver has checked fits).
struct Scores {
    std::int32_t match, mismatch, gap, open, extend, open_extend;
};

// Units are codes that compare equal exactly when the texts' units do. a has la units and b has
// lb units stored last to first, both followed by at least `lanes` readable units of padding;
// 1 <= la, lb.
template <class Unit>
struct PairUnits {
    const Unit* a;
    std::size_t la;
    const Unit* b_reversed;
    std::size_t lb;
};

// A query against one candidate per lane: columns[j * lanes + k] is unit j of lane k (anything
// past the lane's length), lengths[k] its unit count (0 for an unused lane), steps the longest.
template <class Unit>
struct GroupUnits {
    const Unit* query;
    std::size_t la;
    const Unit* columns;
    const std::uint32_t* lengths;
    std::size_t steps;
};

// The most lanes any table has: a group's candidates fit one register.
inline constexpr std::size_t max_lanes = 32;

// Scratch cells of a pair and of a group, allocated by the caller (no need to clear them).
constexpr std::size_t pair_cells(std::size_t la, std::size_t lanes, bool affine) noexcept {
    return (affine ? 12 : 3) * (la + 1 + lanes);
}
constexpr std::size_t group_cells(std::size_t steps, std::size_t lanes, bool affine) noexcept {
    return (affine ? 2 : 1) * (steps + 1) * lanes;
}

using Pair16 = std::int64_t (*)(const PairUnits<std::uint16_t>& units, const Scores& s,
                                std::int16_t* work) noexcept;
using Pair32 = std::int64_t (*)(const PairUnits<std::uint32_t>& units, const Scores& s,
                                std::int32_t* work) noexcept;
// Writes the score of every lane, used or not, to out[0 .. lanes).
using Group16 = void (*)(const GroupUnits<std::uint16_t>& units, const Scores& s,
                         std::int16_t* work, std::int64_t* out) noexcept;
using Group32 = void (*)(const GroupUnits<std::uint32_t>& units, const Scores& s,
                         std::int32_t* work, std::int64_t* out) noexcept;

// One instruction set's kernels. lanes16 and lanes32 are the units per register, which is also
// the number of candidates a group takes.
struct Table {
    std::size_t lanes16, lanes32;
    Pair16 linear16, affine16;
    Pair32 linear32, affine32;
    Group16 linear_group16, affine_group16;
    Group32 linear_group32, affine_group32;
};

// The plain lane loops (the reference); AVX2 requires avx2_available(), AVX-512 requires
// avx512bw_available().
extern const Table table_portable;
extern const Table table_avx2;
extern const Table table_avx512;

}  // namespace quillon::simd::nw
