// The partial ratio. The visit order of the window search decides which of several equally
// good windows is reported, so the search follows its steps literally: full windows by
// bisection of their start positions, then prefixes, then suffixes shorter than the needle.
#include "partial.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "../bitpar.hpp"
#include "common.hpp"
#include "ratio.hpp"

namespace quillon::fuzz {

namespace {

// Membership in the needle's units: a bitmap for bytes, a sorted vector for scalar values.
class UnitSet {
  public:
    explicit UnitSet(std::span<const std::uint8_t> units) noexcept {
        for (std::uint8_t u : units) bits_[u >> 6] |= std::uint64_t{1} << (u & 63);
    }
    explicit UnitSet(std::span<const std::uint32_t> units) : sorted_(units.begin(), units.end()) {
        std::ranges::sort(sorted_);
        sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
    }
    bool contains(std::uint8_t u) const noexcept { return (bits_[u >> 6] >> (u & 63)) & 1; }
    bool contains(std::uint32_t u) const noexcept { return std::ranges::binary_search(sorted_, u); }

  private:
    std::uint64_t bits_[4] = {};
    std::vector<std::uint32_t> sorted_;
};

// Distances of the needle to windows and to all prefixes of a text, by the bit-vector LCS
// (indel = n + length - 2 LCS) over the needle's position masks, built once per search. The
// LCS grows by one exactly when the addition carries out of the needle's top bit, so it is
// counted as it streams, without a population count.

// Needles of at most 64 units: the state is one word. Masks gives the word of a unit.
template <class Unit, class Masks>
class WordNeedle {
  public:
    WordNeedle(const Unit* units, std::size_t n) : masks_(units, n), n_(n) {}

    std::uint32_t distance(std::span<const Unit> text) const noexcept {
        std::uint64_t s = ~std::uint64_t{0}, lcs = 0;
        for (const Unit c : text) step(s, lcs, c);
        return indel(text.size(), lcs);
    }

    // out[k - 1] = distance to the first k units of the text that starts at `text` and runs
    // in `direction` (+1 forwards, -1 backwards), for k = 1 .. out.size().
    void prefix_distances(const Unit* text, std::ptrdiff_t direction,
                          std::span<std::uint32_t> out) const noexcept {
        std::uint64_t s = ~std::uint64_t{0}, lcs = 0;
        for (std::size_t k = 0; k < out.size(); ++k, text += direction) {
            step(s, lcs, *text);
            out[k] = indel(k + 1, lcs);
        }
    }

  private:
    void step(std::uint64_t& s, std::uint64_t& lcs, Unit c) const noexcept {
        const std::uint64_t u = s & masks_[c];
        const std::uint64_t sum = s + u;  // bits above the needle are ones: a carry leaves
        lcs += sum < s;
        s = sum | (s - u);
    }
    std::uint32_t indel(std::size_t length, std::uint64_t lcs) const noexcept {
        return static_cast<std::uint32_t>(n_ + length - 2 * lcs);
    }

    Masks masks_;
    std::size_t n_;
};

// The first word of the general masks, for needles of scalar values.
template <class Unit>
class FirstWord {
  public:
    FirstWord(const Unit* units, std::size_t n) : masks_(units, n) {}
    std::uint64_t operator[](Unit c) const noexcept { return masks_.row(c)[0]; }

  private:
    bitpar::PatternMasks<Unit> masks_;
};

// Longer needles: the state spans ceil(n / 64) words.
template <class Unit>
class BlockNeedle {
  public:
    BlockNeedle(const Unit* units, std::size_t n) : n_(n), masks_(units, n) {}

    std::uint32_t distance(std::span<const Unit> text) const {
        bitpar::LcsStream<Unit> stream(masks_);
        for (const Unit c : text) stream.step(c);
        return indel(text.size(), stream.length());
    }

    void prefix_distances(const Unit* text, std::ptrdiff_t direction,
                          std::span<std::uint32_t> out) const {
        bitpar::LcsStream<Unit> stream(masks_);
        for (std::size_t k = 0; k < out.size(); ++k, text += direction) {
            stream.step(*text);
            out[k] = indel(k + 1, stream.length());
        }
    }

  private:
    std::uint32_t indel(std::size_t length, std::uint64_t lcs) const noexcept {
        return static_cast<std::uint32_t>(n_ + length - 2 * lcs);
    }

    std::size_t n_;
    bitpar::PatternMasks<Unit> masks_;
};

template <class Scorer, class Unit>
WindowScore search(std::span<const Unit> needle, std::span<const Unit> haystack, double cutoff) {
    const std::size_t n = needle.size(), h = haystack.size();
    WindowScore best{0.0, 0, n};
    const UnitSet needle_units(needle);
    const Scorer scorer(needle.data(), n);

    if (h > n) {
        double norm = (cutoff / -100.0 + 1.0) + 0.00001;
        if (!(norm < 1.0)) norm = 1.0;
        std::uint64_t cutoff_distance = ceil_to_u64(norm * static_cast<double>(2 * n));
        std::optional<std::uint32_t> best_distance;

        // Distances of full windows by start position; empty until computed.
        constexpr std::uint32_t unknown = std::numeric_limits<std::uint32_t>::max();
        std::vector<std::uint32_t> cache(h - n, unknown);
        std::vector<std::pair<std::size_t, std::size_t>> windows{{0, h - n - 1}}, next;

        // Scores the full window at `start` once; returns true on an exact match.
        auto visit = [&](std::size_t start) {
            if (cache[start] != unknown) return false;
            const std::uint32_t d = scorer.distance(haystack.subspan(start, n));
            cache[start] = d;
            if (d < cutoff_distance) {
                cutoff_distance = d;
                best_distance = d;
                best.start = start;
                best.end = start + n;
                return d == 0;
            }
            return false;
        };

        while (!windows.empty()) {
            next.clear();
            for (const auto& [f, s] : windows) {
                if (visit(f)) return {100.0, f, f + n};
                if (visit(s)) return {100.0, s, s + n};
                const std::size_t diff = s - f;
                if (diff == 1) continue;
                const std::uint32_t x = cache[f], y = cache[s];
                const std::int64_t known = x > y ? x - y : y - x;
                // Shifting a window by one position changes its distance by at most 2, so
                // between f and s no window can beat the lower end by more than this.
                const std::int64_t improvement =
                    (static_cast<std::int64_t>(diff) - known / 2) & ~std::int64_t{1};
                const std::int64_t lower = static_cast<std::int64_t>(std::min(x, y)) - improvement;
                if (lower < static_cast<std::int64_t>(cutoff_distance)) {
                    next.emplace_back(f, f + diff / 2);
                    next.emplace_back(f + diff / 2, s);
                }
            }
            std::swap(windows, next);
        }

        if (best_distance) {
            const double score = indel_ratio(*best_distance, 2 * n);
            if (score >= cutoff) {
                cutoff = score;
                best.score = score;
            }
        }
    }

    // Only the score filter below reads the cut-off; NaN filters everything out.
    auto filtered = [&](double r) { return cutoff <= r ? r : 0.0; };

    // Distances to the prefixes H[0, i) for i < n and to the suffixes H[i, h) for i >= h - n,
    // the latter as prefixes of both texts reversed: one pass each. Short needles keep their
    // buffers on the stack.
    constexpr std::size_t small = 64;
    std::uint32_t small_distances[2 * small];
    Unit small_reversed[small];
    std::vector<std::uint32_t> large_distances;
    std::vector<Unit> large_reversed;
    std::uint32_t* distances = small_distances;
    Unit* reversed = small_reversed;
    if (n > small) {
        large_distances.resize(2 * n);
        large_reversed.resize(n);
        distances = large_distances.data();
        reversed = large_reversed.data();
    }
    const std::span<std::uint32_t> prefix(distances, n - 1), suffix(distances + n, n);
    scorer.prefix_distances(haystack.data(), 1, prefix);
    for (std::size_t i = 1; i < n; ++i) {
        if (!needle_units.contains(haystack[i - 1])) continue;
        const double r = filtered(indel_ratio(prefix[i - 1], n + i));
        if (r > best.score) {
            if (r == 100.0) return {100.0, 0, i};
            best = {r, 0, i};
            cutoff = r;
        }
    }

    std::reverse_copy(needle.begin(), needle.end(), reversed);
    const Scorer reversed_scorer(reversed, n);
    reversed_scorer.prefix_distances(haystack.data() + h - 1, -1, suffix);
    for (std::size_t i = h - n; i < h; ++i) {
        if (!needle_units.contains(haystack[i])) continue;
        const double r = filtered(indel_ratio(suffix[h - i - 1], n + h - i));
        if (r > best.score) {
            best = {r, i, h};
            cutoff = r;
            if (r == 100.0) return best;
        }
    }
    return best;
}

// The cheapest scorer for the needle: a register compare for up to 16 bytes, a table of words
// up to 64 units, blocks of words above.
template <class Unit>
WindowScore impl(std::span<const Unit> needle, std::span<const Unit> haystack, double cutoff) {
    const std::size_t n = needle.size();
    if constexpr (sizeof(Unit) == 1) {
#if defined(__SSE2__)
        if (n <= 16)
            return search<WordNeedle<Unit, bitpar::ShortByteMasks>>(needle, haystack, cutoff);
#endif
        if (n <= 64)
            return search<WordNeedle<Unit, bitpar::ByteWordMasks>>(needle, haystack, cutoff);
    } else {
        if (n <= 64) return search<WordNeedle<Unit, FirstWord<Unit>>>(needle, haystack, cutoff);
    }
    return search<BlockNeedle<Unit>>(needle, haystack, cutoff);
}

template <class Unit>
ScoreAlignment alignment(std::span<const Unit> a, std::span<const Unit> b, double cutoff) {
    const std::size_t la = a.size(), lb = b.size();
    if (la > lb) {
        const ScoreAlignment r = alignment(b, a, cutoff);
        return {r.score, r.dest_start, r.dest_end, r.src_start, r.src_end};
    }
    if (cutoff > 100.0) return {0.0, 0, la, 0, la};
    if (la == 0) return {lb == 0 ? 100.0 : 0.0, 0, 0, 0, 0};
    const WindowScore w = impl(a, b, cutoff);
    ScoreAlignment result{w.score, 0, la, w.start, w.end};
    if (la != lb || w.score == 100.0) return result;
    // Equal lengths: the second text may fit the first better than the other way round.
    const WindowScore v = impl(b, a, max_nan_loses(cutoff, w.score));
    if (v.score > w.score) result = {v.score, v.start, v.end, 0, la};
    return result;
}

}  // namespace

WindowScore partial_ratio_impl(std::span<const std::uint8_t> needle,
                               std::span<const std::uint8_t> haystack, double score_cutoff) {
    return impl(needle, haystack, score_cutoff);
}

WindowScore partial_ratio_impl(std::span<const std::uint32_t> needle,
                               std::span<const std::uint32_t> haystack, double score_cutoff) {
    return impl(needle, haystack, score_cutoff);
}

ScoreAlignment partial_ratio_alignment_slices(std::span<const std::uint8_t> a,
                                              std::span<const std::uint8_t> b,
                                              double score_cutoff) {
    return alignment(a, b, score_cutoff);
}

ScoreAlignment partial_ratio_alignment_slices(std::span<const std::uint32_t> a,
                                              std::span<const std::uint32_t> b,
                                              double score_cutoff) {
    return alignment(a, b, score_cutoff);
}

ScoreAlignment partial_ratio_alignment(TextSlice a, TextSlice b, double score_cutoff) {
    if (is_ascii(a) && is_ascii(b)) {
        return alignment(std::span(a.bytes(), a.size), std::span(b.bytes(), b.size), score_cutoff);
    }
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return alignment(std::span<const std::uint32_t>(sa), std::span<const std::uint32_t>(sb),
                     score_cutoff);
}

double partial_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    return partial_ratio_alignment(a, b, score_cutoff).score;
}

}  // namespace quillon::fuzz
