// Token scorers: texts compared as whitespace-separated words, after sorting them (sort family)
// or after splitting them into shared and unshared words (set family).
#pragma once

#include <vector>

#include "../text.hpp"

namespace quillon::fuzz {

// Tokens borrow from the text they were split from.
using Tokens = std::vector<TextSlice>;

// The maximal runs of non-White_Space characters, duplicates kept, in ascending byte order.
Tokens sorted_split(TextSlice text);

// Distinct tokens of both lists, of the first only and of the second only; each ascending.
struct SetDecomposition {
    Tokens intersection, diff_ab, diff_ba;
};
SetDecomposition set_decomposition(const Tokens& a, const Tokens& b);

double token_sort_ratio(TextSlice a, TextSlice b, double score_cutoff);
double token_set_ratio(TextSlice a, TextSlice b, double score_cutoff);
double token_ratio(TextSlice a, TextSlice b, double score_cutoff);
double partial_token_sort_ratio(TextSlice a, TextSlice b, double score_cutoff);
double partial_token_set_ratio(TextSlice a, TextSlice b, double score_cutoff);
double partial_token_ratio(TextSlice a, TextSlice b, double score_cutoff);

}  // namespace quillon::fuzz
