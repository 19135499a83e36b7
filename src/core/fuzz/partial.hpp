// The partial ratio: the best indel ratio of the shorter text (the needle) against a window of
// the longer one (the haystack), found by bisecting the window starts and pruning ranges that
// cannot beat the best distance so far. Reports where the match lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "../simd/partial.hpp"
#include "../text.hpp"
#include "units.hpp"

namespace quillon::fuzz {

// src_* is a half-open range of the first argument, dest_* of the second, in characters.
struct ScoreAlignment {
    double score;
    std::size_t src_start, src_end, dest_start, dest_end;
};

ScoreAlignment partial_ratio_alignment(TextSlice a, TextSlice b, double score_cutoff);
double partial_ratio(TextSlice a, TextSlice b, double score_cutoff);

// partial_ratio_alignment with the given kernels instead of this processor's.
ScoreAlignment partial_ratio_alignment_with(TextSlice a, TextSlice b, double score_cutoff,
                                            const simd::partial::Entries& kernels);

// The same search with each window scored on its own by the bit-vector LCS, for needles of any
// length: the reference of the shared-window and comb routes.
ScoreAlignment partial_ratio_alignment_per_window(TextSlice a, TextSlice b, double score_cutoff);

// The plain ratio and the partial ratio of one pair, on state built once: when the shorter
// text has 1 to 64 characters, the needle's mask of every character of the longer one (which
// is then never decoded, unless the lengths are equal); otherwise both texts decoded. The
// scores equal those of ratio_with_cutoff and partial_ratio_alignment. The masks of up to 2000
// characters stay on the stack (1000 for needles above 16, 500 above 32).
class RatioPair {
  public:
    RatioPair(TextSlice a, TextSlice b);
    // With the given kernels instead of this processor's.
    RatioPair(TextSlice a, TextSlice b, const simd::partial::Entries& kernels);
    RatioPair(const RatioPair&) = delete;
    RatioPair& operator=(const RatioPair&) = delete;

    double ratio(double score_cutoff) const;
    ScoreAlignment partial_alignment(double score_cutoff) const;

  private:
    template <class Unit>
    std::span<const Unit> units(bool first) const noexcept;
    template <class Lane>
    const Lane* haystack_masks() const noexcept;
    template <class Unit, class Lane>
    void build_masks();
    bool mask_longer_from_utf8();
    template <class Unit>
    ScoreAlignment align(double score_cutoff) const;
    template <class Lane>
    std::uint64_t lcs() const noexcept;

    TextSlice a_, b_;
    bool ascii_;
    const simd::partial::Entries* kernels_;
    std::size_t la_ = 0, lb_ = 0;
    SmallBuffer<std::uint32_t, 128> scalars_a_, scalars_b_;  // decoded, when needed
    // The shared-window state: the shorter text (the first on equal lengths) is the needle.
    std::size_t lane_bytes_ = 0;  // 2, 4 or 8, the narrowest lane that holds it; 0 for none
    std::uint64_t present_ = 0;   // the union of the haystack's masks
    SmallBuffer<unsigned char, 4096> lanes_;
};

}  // namespace quillon::fuzz
