// One query scored against many candidates with the indel ratio: the query's length and
// position masks are prepared once per call, a candidate costs one pass over its bytes, and
// the length of a candidate alone bounds its score before any kernel runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../scores.hpp"
#include "../text.hpp"
#include "common.hpp"
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

    // Inline, with the bound: both run for every candidate, also for those passed over.
    Measured measure(TextSlice candidate) const noexcept {
        if (ascii_text(candidate)) return {candidate, candidate.size, true};
        return {candidate, char_length(candidate), false};
    }

    // The score that the candidate's length allows: its distance is at least the difference
    // of the lengths. The ratio formula is the scorer's own, so no candidate whose score
    // could reach a threshold has a bound below it.
    double bound(const Measured& candidate) const noexcept {
        const std::size_t total = length_ + candidate.length;
        if (total == 0) return 100.0;
        const std::size_t gap =
            length_ > candidate.length ? length_ - candidate.length : candidate.length - length_;
        return indel_ratio(gap, total);
    }

    // Exactly ratio_with_cutoff(query, candidate, 0.0).
    double score(const Measured& candidate, RatioScratch& scratch) const;

  private:
    struct Blocks;  // position masks of a query above 64 characters

    // is_ascii, with words of up to 16 bytes tested here in at most two loads.
    static bool ascii_text(TextSlice t) noexcept {
        const std::uint8_t* p = t.bytes();
        if (t.size >= 8 && t.size <= 16) {
            std::uint64_t head, tail;
            std::memcpy(&head, p, 8);
            std::memcpy(&tail, p + t.size - 8, 8);
            return ((head | tail) & 0x8080808080808080ULL) == 0;
        }
        if (t.size >= 4 && t.size < 8) {
            std::uint32_t head, tail;
            std::memcpy(&head, p, 4);
            std::memcpy(&tail, p + t.size - 4, 4);
            return ((head | tail) & 0x80808080u) == 0;
        }
        return is_ascii(t);
    }

    std::uint64_t lcs_word(const Measured& candidate) const noexcept;
    std::uint64_t lcs_blocks(const Measured& candidate, RatioScratch& scratch) const;

    std::size_t length_;
    bool ascii_;
    std::unique_ptr<WordMasks> word_;  // queries of 1 to 64 characters
    std::unique_ptr<Blocks> blocks_;   // longer ones
};

}  // namespace quillon::fuzz
