// The weighted ratio: plain, partial and token scores combined and weighted by how much the
// lengths of the two texts differ.
#pragma once

#include "../text.hpp"

namespace quillon::fuzz {

double wratio(TextSlice a, TextSlice b, double score_cutoff);

}  // namespace quillon::fuzz
