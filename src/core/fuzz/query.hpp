// One query scored against many candidates with the indel ratio: the query's length and
// position masks are prepared once per call, a candidate costs one pass over its bytes, and
// the length of a candidate alone bounds its score before any kernel runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "../text.hpp"
#include "units.hpp"

namespace quillon::fuzz {

// A candidate with its length in characters. Texts are well-formed UTF-8 (what every str
// gives), so the characters are the bytes that do not continue a sequence.
struct Measured {
    TextSlice text;
    std::size_t length;
    bool ascii;
};

// Per-thread working memory of RatioQuery::score; only queries above 64 characters use it.
struct RatioScratch {
    std::vector<std::uint64_t> state;
};

class RatioQuery {
  public:
    explicit RatioQuery(TextSlice query);
    ~RatioQuery();
    RatioQuery(const RatioQuery&) = delete;
    RatioQuery& operator=(const RatioQuery&) = delete;

    Measured measure(TextSlice candidate) const noexcept;

    // The score that the candidate's length allows: its distance is at least the difference
    // of the lengths. The ratio formula is the scorer's own, so no candidate whose score
    // could reach a threshold has a bound below it.
    double bound(const Measured& candidate) const noexcept;

    // Exactly ratio_with_cutoff(query, candidate, 0.0).
    double score(const Measured& candidate, RatioScratch& scratch) const;

  private:
    struct Blocks;  // position masks of a query above 64 characters

    std::uint64_t lcs_word(const Measured& candidate) const noexcept;
    std::uint64_t lcs_blocks(const Measured& candidate, RatioScratch& scratch) const;

    std::size_t length_;
    bool ascii_;
    std::unique_ptr<WordMasks> word_;  // queries of 1 to 64 characters
    std::unique_ptr<Blocks> blocks_;   // longer ones
};

}  // namespace quillon::fuzz
