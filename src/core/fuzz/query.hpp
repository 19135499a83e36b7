// One query scored against many candidates with the indel ratio: the query's length and
// position masks are prepared once per call, a candidate costs one pass over its bytes, and
// the length of a candidate alone bounds its score before any kernel runs. Queries of 1 to 64
// characters also score candidates 64 at a time through the narrow-lane LCS kernels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../scores.hpp"
#include "../simd/packed_lcs.hpp"
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
        if (candidate.length < bounds_.size()) return bounds_[candidate.length];
        return bound_of(candidate.length);
    }

    // Tabulates bound() for the lengths of short words, which a long list mostly holds: a load
    // then replaces a division on the path to a branch.
    void tabulate_bounds() {
        bounds_.resize(256);
        for (std::size_t n = 0; n < bounds_.size(); ++n) bounds_[n] = bound_of(n);
    }

    // Exactly ratio_with_cutoff(query, candidate, 0.0).
    double score(const Measured& candidate, RatioScratch& scratch) const;

    // The query as narrow-lane units; null unless it has 1 to 64 characters. ASCII characters
    // are their own units, the query's other characters get the units 128 and up, and every
    // character the query lacks gets `absent`, whose position mask is zero. Only matches count
    // towards an LCS, so candidates need no units of their own and no list can run out of them.
    struct Lanes {
        static constexpr std::uint8_t absent = 255;

        // The m characters of a query, as bytes when it is ASCII.
        Lanes(const std::uint8_t* bytes, std::size_t m) noexcept;
        Lanes(const std::uint32_t* scalars, std::size_t m) noexcept;

        simd::packed::Query pattern;
        bool ascii;
        std::uint8_t two_byte[0x800];  // units of U+0000..U+07FF (ASCII: themselves)
        std::uint32_t wide[64];        // the query's characters from U+0800, and their units
        std::uint8_t wide_units[64];
        std::size_t wide_count = 0;

        std::uint8_t unit(std::uint32_t c) const noexcept {
            if (c < 0x800) return two_byte[c];
            for (std::size_t k = 0; k < wide_count; ++k) {
                if (wide[k] == c) return wide_units[k];
            }
            return absent;
        }
    };
    const Lanes* lanes() const noexcept { return lanes_.get(); }
    std::size_t length() const noexcept { return length_; }

  private:
    struct Blocks;  // position masks of a query above 64 characters

    double bound_of(std::size_t length) const noexcept {
        const std::size_t total = length_ + length;
        if (total == 0) return 100.0;
        const std::size_t gap = length_ > length ? length_ - length : length - length_;
        return indel_ratio(gap, total);
    }

    // is_ascii, with words of up to 32 bytes tested here in at most four loads.
    static bool ascii_text(TextSlice t) noexcept {
        const std::uint8_t* p = t.bytes();
        if (t.size >= 8 && t.size <= 32) {
            // Four loads no more than 8 bytes apart cover every byte, whatever the size, with
            // no branch on it (word lengths are as unpredictable as the words).
            const std::size_t second = (t.size - 8) / 3, third = 2 * (t.size - 8) / 3;
            std::uint64_t w0, w1, w2, w3;
            std::memcpy(&w0, p, 8);
            std::memcpy(&w1, p + second, 8);
            std::memcpy(&w2, p + third, 8);
            std::memcpy(&w3, p + t.size - 8, 8);
            return ((w0 | w1 | w2 | w3) & 0x8080808080808080ULL) == 0;
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
    std::unique_ptr<Lanes> lanes_;     // queries of 1 to 64 characters
    std::vector<double> bounds_;       // bound() by length, once tabulated
};

// Up to 64 candidates gathered for one run of a narrow-lane LCS kernel, then scored together:
// each piece of a pass fills its own (about 5 KiB, on the stack). Lane k holds the candidate
// added k-th since the last flush, its units in one row, as simd::packed::LcsBlock has them.
class RatioBlock {
    using Lanes = RatioQuery::Lanes;

  public:
    // query.lanes() must not be null.
    RatioBlock(const RatioQuery& query, simd::packed::LcsKernel kernel) noexcept
        : query_lanes_(*query.lanes()), kernel_(kernel), query_length_(query.length()) {
        // The kernels also run the unused lanes of a last block: they read defined units.
        std::memset(rows_, Lanes::absent, sizeof rows_);
    }
    RatioBlock(const RatioBlock&) = delete;
    RatioBlock& operator=(const RatioBlock&) = delete;

    // Takes candidate `index` into the next lane; false, taking nothing, when it has more than
    // 64 units (score it with RatioQuery::score instead). The block must not be full.
    bool add(const Measured& candidate, std::size_t index) noexcept {
        const std::uint8_t* p = candidate.text.bytes();
        const std::size_t size = candidate.text.size;
        // An ASCII query masks the bytes of longer characters with zeros, as their units would
        // be: their bytes serve as they are, like those of ASCII candidates.
        const bool raw = candidate.ascii || query_lanes_.ascii;
        const std::size_t units = raw && size <= max_units ? size : candidate.length;
        if (units > max_units) return false;
        std::uint8_t* row = rows_ + count_ * max_units;
        std::memset(row, Lanes::absent, max_units);
        if (units == size) {
            copy_short(row, p, size);
        } else if (!decode_short_forms(row, p, size)) {
            // Well-formed UTF-8 decodes to exactly `length` characters.
            const std::uint8_t* end = p + size;
            for (std::size_t i = 0; i < units; ++i) {
                row[i] = *p < 0x80 ? *p++ : query_lanes_.unit(next_scalar(p, end));
            }
        }
        steps_ = units > steps_ ? units : steps_;
        unit_count_[count_] = static_cast<std::uint8_t>(units);
        chars_[count_] = static_cast<std::uint32_t>(candidate.length);
        index_[count_++] = index;
        return true;
    }

    bool full() const noexcept { return count_ == lanes; }

    // Runs the kernel over the lanes taken since the last flush and calls sink(index, score)
    // for each, in the order they were added; the block is then empty. Each score is exactly
    // RatioQuery::score's (an empty candidate has LCS 0: (1 - m / m) * 100 = 0).
    template <class Sink>
    void flush(Sink&& sink) {
        if (count_ == 0) return;
        kernel_(query_lanes_.pattern, {rows_, unit_count_, steps_}, lcs_);
        for (std::size_t k = 0; k < count_; ++k) {
            const std::uint64_t total = query_length_ + chars_[k];
            sink(index_[k], indel_ratio(total - 2 * std::uint64_t{lcs_[k]}, total));
        }
        std::memset(unit_count_, 0, sizeof unit_count_);
        count_ = steps_ = 0;
    }

  private:
    static constexpr std::size_t lanes = simd::packed::lanes;
    static constexpr std::size_t max_units = simd::packed::max_units;

    // The units of well-formed UTF-8 of one- and two-byte forms (accented Latin, Greek,
    // Cyrillic ...) without a branch per character, whose kind is as unpredictable as the text:
    // every byte writes the unit of the character it would start and only bytes that start one
    // move on, so a continuation byte's unit is overwritten (or, at the end, set to absent).
    // False, with the row to be rewritten, when a longer form appears.
    bool decode_short_forms(std::uint8_t* row, const std::uint8_t* p,
                            std::size_t size) const noexcept {
        // Local, or every store through row would make the compiler load the table again.
        const std::uint8_t* const units = query_lanes_.two_byte;
        std::size_t i = 0;
        bool longer = false;
        for (std::size_t j = 0; j < size; ++j) {
            const std::uint32_t b = p[j], next = p[j + (j + 1 < size)];
            // Arithmetic selects: the compiler turns a conditional one back into a branch.
            const std::uint32_t longer_form = 0u - (b >> 7);
            const std::uint32_t c =
                (b & ~longer_form) | ((((b & 0x1F) << 6) | (next & 0x3F)) & longer_form);
            row[i] = units[c];
            i += (b & 0xC0) != 0x80;
            longer |= b >= 0xE0;
        }
        row[i] = Lanes::absent;  // at most rows_[lanes * max_units]: the row after, or the pad
        return !longer;
    }

    const Lanes& query_lanes_;
    simd::packed::LcsKernel kernel_;
    std::size_t query_length_;
    std::size_t count_ = 0, steps_ = 0;
    alignas(64) std::uint8_t rows_[lanes * max_units + 1];
    alignas(64) std::uint8_t unit_count_[lanes] = {};
    std::uint8_t lcs_[lanes];
    std::uint32_t chars_[lanes];
    std::size_t index_[lanes];
};

}  // namespace quillon::fuzz
