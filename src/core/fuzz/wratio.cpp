// The weighted ratio: whole-text scores for texts of similar length, partial scores weighted
// down the more the lengths differ.
#include "wratio.hpp"

#include <algorithm>
#include <cstddef>

#include "common.hpp"
#include "partial.hpp"
#include "ratio.hpp"
#include "token.hpp"

namespace quillon::fuzz {

namespace {

constexpr double token_weight = 0.95;
constexpr double similar_length_ratio = 1.5;
constexpr double long_length_ratio = 8.0;
constexpr double partial_weight = 0.9;
constexpr double long_partial_weight = 0.6;

}  // namespace

double wratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (score_cutoff > 100.0) return 0.0;
    const std::size_t la = char_length(a), lb = char_length(b);
    if (la == 0 || lb == 0) return 0.0;
    const double len_ratio =
        static_cast<double>(std::max(la, lb)) / static_cast<double>(std::min(la, lb));

    // Each sub-scorer gets the best score so far divided by the weight its result will carry,
    // so it can cut off whatever could not win after weighting.
    if (len_ratio < similar_length_ratio) {
        const double end = ratio_with_cutoff(a, b, score_cutoff);
        // Token scores are at most 100 before weighting (the same holds below).
        if (end >= 100.0 * token_weight) return end;
        const double c1 = max_nan_loses(score_cutoff, end) / token_weight;
        return max_nan_loses(end, token_ratio(a, b, c1) * token_weight);
    }
    // The plain and the partial ratio on the same decoded texts and masks.
    const RatioPair pair(a, b);
    double end = pair.ratio(score_cutoff);
    const double w = len_ratio > long_length_ratio ? long_partial_weight : partial_weight;
    const double c1 = max_nan_loses(score_cutoff, end) / w;
    end = max_nan_loses(end, pair.partial_alignment(c1).score * w);
    // When the best token score cannot beat end after weighting, the tokens need not be split.
    if (end >= 100.0 * token_weight * w) return end;
    // Raises c1, which already carries the division by w, not the caller's cut-off.
    const double c2 = max_nan_loses(c1, end) / token_weight;
    return max_nan_loses(end, partial_token_ratio(a, b, c2) * token_weight * w);
}

}  // namespace quillon::fuzz
