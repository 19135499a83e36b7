// The partial ratio. The visit order of the window search decides which of several equally
// good windows is reported: full windows by bisection of their start positions, then prefixes,
// then suffixes shorter than the needle. The reference route follows the bisection literally,
// scoring each window it visits on its own; the fast routes find every full window's distance
// at once (a lane per window for needles of 1 to 64 units, a seaweed comb above) and take the
// window the bisection would accept by rule (first_least).
#include "partial.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "../bitpar.hpp"
#include "../scores.hpp"
#include "../simd/isa.hpp"
#include "common.hpp"
#include "ratio.hpp"

namespace quillon::fuzz {

namespace {

// A window of the haystack and its score.
struct WindowScore {
    double score;
    std::size_t start, end;
};

// The full window that phase 1 accepts last: the one the search reports.
struct FullBest {
    bool found = false;
    std::uint32_t distance = 0;
    std::size_t start = 0;
};

// Phase 1 as specified: the starts 0 .. starts - 1 bisected pass by pass, each range's ends
// scored once by distance_of, ranges pruned when no window inside can beat the cut-off
// distance, and a window accepted when strictly below it (which then becomes the cut-off).
// Stops at the first exact match.
template <class DistanceOf>
FullBest bisect(std::size_t starts, std::uint64_t cutoff_distance, DistanceOf&& distance_of) {
    FullBest best;
    // Per start: 0 until visited, then the distance + 1. Then the window lists of this pass and
    // the next as (first, second) pairs: the ranges of one pass overlap only at their ends, so
    // a pass holds fewer pairs than there are starts.
    SmallBuffer<std::uint32_t, 1280> work(5 * starts);
    std::uint32_t* cache = work.data();
    std::fill_n(cache, starts, 0);
    std::uint32_t* windows_now = cache + starts;
    std::uint32_t* windows_next = windows_now + 2 * starts;
    windows_now[0] = 0;
    windows_now[1] = static_cast<std::uint32_t>(starts - 1);
    std::size_t count = 1;

    // Scores the full window at `start` once; returns true on an exact match.
    auto visit = [&](std::size_t start) {
        if (cache[start] != 0) return false;
        const std::uint32_t d = distance_of(start);
        cache[start] = d + 1;
        if (d < cutoff_distance) {
            cutoff_distance = d;
            best = {true, d, start};
            return d == 0;
        }
        return false;
    };

    while (count > 0) {
        std::size_t next_count = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t f = windows_now[2 * k], s = windows_now[2 * k + 1];
            if (visit(f) || visit(s)) return best;
            const std::size_t diff = s - f;
            if (diff == 1) continue;
            const std::uint32_t x = cache[f] - 1, y = cache[s] - 1;
            const std::int64_t known = x > y ? x - y : y - x;
            // Shifting a window by one position changes its distance by at most 2, so
            // between f and s no window can beat the lower end by more than this.
            const std::int64_t improvement =
                (static_cast<std::int64_t>(diff) - known / 2) & ~std::int64_t{1};
            const std::int64_t lower = static_cast<std::int64_t>(std::min(x, y)) - improvement;
            if (lower < static_cast<std::int64_t>(cutoff_distance)) {
                const auto middle = static_cast<std::uint32_t>(f + diff / 2);
                std::uint32_t* out = windows_next + 2 * next_count;
                out[0] = static_cast<std::uint32_t>(f);
                out[1] = middle;
                out[2] = middle;
                out[3] = static_cast<std::uint32_t>(s);
                next_count += 2;
            }
        }
        std::swap(windows_now, windows_next);
        count = next_count;
    }
    return best;
}

// The pass of the bisection in which the window at w is first scored, when no range holding
// it is pruned: 1 for the two ends, else one more than the depth of the range whose middle it
// is, or `cap` when that is deeper. The ranges form a fixed tree; pruning only drops nodes.
inline std::size_t first_pass(std::size_t w, std::size_t starts, std::size_t cap) noexcept {
    std::size_t f = 0, s = starts - 1, pass = 1;
    if (w == f || w == s) return pass;
    while (pass < cap) {
        const std::size_t middle = f + (s - f) / 2;
        ++pass;
        if (w == middle) return pass;
        (w < middle ? s : f) = middle;
    }
    return cap;
}

// What the bisection accepts, given the distance of every full window. Let d be the least
// distance. Until a window at distance d is scored, the cut-off distance stays above d, so no
// range holding such a window is pruned: all of them would be scored, and the first one scored
// is accepted, after which nothing is strictly better. Pruning drops other ranges but keeps the
// order of the rest, since each pass lists its ranges left to right. So the first one scored is
// the window at distance d with the least (first pass, start); there is none when d does not
// beat the cut-off distance.
template <class Distance>
FullBest first_least(const Distance* distances, std::size_t starts,
                     std::uint64_t cutoff_distance) noexcept {
    Distance least = distances[0];
    for (std::size_t f = 1; f < starts; ++f) least = distances[f] < least ? distances[f] : least;
    if (least >= cutoff_distance) return {};
    FullBest best{true, least, 0};
    if (distances[0] == least) return best;
    best.start = starts - 1;
    if (distances[starts - 1] == least) return best;
    std::size_t best_pass = ~std::size_t{0};
    for (std::size_t f = 1; f + 1 < starts; ++f) {
        if constexpr (sizeof(Distance) == 1) {
            // Few windows reach the least distance: the library's vector search finds them.
            const void* at = std::memchr(distances + f, least, starts - 1 - f);
            if (at == nullptr) break;
            f = static_cast<std::size_t>(static_cast<const Distance*>(at) - distances);
        } else if (distances[f] != least) {
            continue;
        }
        const std::size_t pass = first_pass(f, starts, best_pass);
        // Starts ascend, so within a pass the first found is the first scored.
        if (pass < best_pass) {
            best_pass = pass;
            best.start = f;
        }
    }
    return best;
}

// The search over a haystack of h units for a needle of n units (1 <= n <= h). Windows gives:
//   best_full(cutoff_distance)  phase 1: the full window accepted last, as bisect finds it;
//   prefixes(out)  out[i - 1] = the distance to H[0, i), for i = 1 .. n - 1;
//   suffixes(out)  out[k - 1] = the distance to H[h - k, h), for k = 1 .. n;
//   in_needle(p)   whether H[p] occurs in the needle.
template <class Windows>
WindowScore search(std::size_t n, std::size_t h, double cutoff, Windows& windows) {
    WindowScore best{0.0, 0, n};

    if (h > n) {
        double norm = (cutoff / -100.0 + 1.0) + 0.00001;
        if (!(norm < 1.0)) norm = 1.0;
        const FullBest full = windows.best_full(ceil_to_u64(norm * static_cast<double>(2 * n)));
        if (full.found) {
            // An exact match ends the search whatever the cut-off.
            if (full.distance == 0) return {100.0, full.start, full.start + n};
            const double score = indel_ratio(full.distance, 2 * n);
            best.start = full.start;
            best.end = full.start + n;
            if (score >= cutoff) {
                cutoff = score;
                best.score = score;
            }
        }
    }

    // Only the score filter below reads the cut-off; NaN filters everything out.
    auto filtered = [&](double r) { return cutoff <= r ? r : 0.0; };

    SmallBuffer<std::uint32_t, 128> distances(2 * n);
    std::uint32_t* prefix = distances.data();
    std::uint32_t* suffix = prefix + n;
    windows.prefixes(prefix);
    for (std::size_t i = 1; i < n; ++i) {
        if (!windows.in_needle(i - 1)) continue;
        const double r = filtered(indel_ratio(prefix[i - 1], n + i));
        if (r > best.score) {
            if (r == 100.0) return {100.0, 0, i};
            best = {r, 0, i};
            cutoff = r;
        }
    }
    windows.suffixes(suffix);
    for (std::size_t i = h - n; i < h; ++i) {
        if (!windows.in_needle(i)) continue;
        const double r = filtered(indel_ratio(suffix[h - i - 1], n + h - i));
        if (r > best.score) {
            best = {r, i, h};
            cutoff = r;
            if (r == 100.0) return best;
        }
    }
    return best;
}

// ---- Each window on its own -------------------------------------------------------------

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

template <class Unit, class Scorer>
class SingleWindows {
  public:
    SingleWindows(std::span<const Unit> needle, std::span<const Unit> haystack)
        : needle_(needle),
          haystack_(haystack),
          units_(needle),
          scorer_(needle.data(), needle.size()) {}

    FullBest best_full(std::uint64_t cutoff_distance) const {
        const std::size_t n = needle_.size();
        return bisect(haystack_.size() - n, cutoff_distance, [&](std::size_t start) {
            return scorer_.distance(haystack_.subspan(start, n));
        });
    }
    void prefixes(std::uint32_t* out) const {
        scorer_.prefix_distances(haystack_.data(), 1, {out, needle_.size() - 1});
    }
    // The suffixes as prefixes of both texts reversed.
    void suffixes(std::uint32_t* out) const {
        const std::size_t n = needle_.size();
        SmallBuffer<Unit, 64> reversed(n);
        std::reverse_copy(needle_.begin(), needle_.end(), reversed.data());
        const Scorer reversed_scorer(reversed.data(), n);
        reversed_scorer.prefix_distances(haystack_.data() + haystack_.size() - 1, -1, {out, n});
    }
    bool in_needle(std::size_t p) const { return units_.contains(haystack_[p]); }

  private:
    std::span<const Unit> needle_, haystack_;
    UnitSet units_;
    Scorer scorer_;
};

template <class Scorer, class Unit>
WindowScore search_single(std::span<const Unit> needle, std::span<const Unit> haystack,
                          double cutoff) {
    SingleWindows<Unit, Scorer> windows(needle, haystack);
    return search(needle.size(), haystack.size(), cutoff, windows);
}

// The cheapest scorer for the needle: a register compare for up to 16 bytes, a table of words
// up to 64 units, blocks of words above.
template <class Unit>
WindowScore search_each_window(std::span<const Unit> needle, std::span<const Unit> haystack,
                               double cutoff) {
    const std::size_t n = needle.size();
    if constexpr (sizeof(Unit) == 1) {
#if defined(__SSE2__)
        if (n <= 16)
            return search_single<WordNeedle<Unit, bitpar::ShortByteMasks>>(needle, haystack,
                                                                           cutoff);
#endif
        if (n <= 64)
            return search_single<WordNeedle<Unit, bitpar::ByteWordMasks>>(needle, haystack, cutoff);
    } else {
        if (n <= 64)
            return search_single<WordNeedle<Unit, FirstWord<Unit>>>(needle, haystack, cutoff);
    }
    return search_single<BlockNeedle<Unit>>(needle, haystack, cutoff);
}

// ---- Neighbouring windows at once -------------------------------------------------------
//
// The haystack is first turned into the needle's mask of each of its units, M[p]. The LCS of
// the needle and the window at f then reads M[f], M[f + 1], ..., M[f + n - 1], so the windows
// f, f + 1, ..., f + G - 1 read, at step j, the G consecutive masks from M[f + j]: one lane per
// window, and the masks of a step are one unaligned load (the sweep kernels in simd/partial.*).
// Lanes of 16 bits hold needles of up to 16 units: 32 windows advance in one AVX-512 register.

// Zero masks after the haystack's: the kernel reads whole blocks of windows.
template <class Lane>
constexpr std::size_t padding_lanes = simd::partial::mask_padding_bytes / sizeof(Lane);

// The narrowest lane that holds a needle of n units: 2, 4 or 8 bytes.
std::size_t lane_bytes_for(std::size_t n) noexcept { return n <= 16 ? 2 : n <= 32 ? 4 : 8; }

// Haystacks up to this long take their masks by comparing each unit with the needle: clearing a
// table for 256 units costs more.
constexpr std::size_t compared_haystack = 256;

// The needle's mask of one unit, compared with each needle unit (1 to 64 of them).
template <class Unit>
std::uint64_t compared_mask(std::span<const Unit> needle, Unit c) noexcept {
    std::uint64_t mask = 0;
    for (std::size_t k = 0; k < needle.size(); ++k) mask |= std::uint64_t{needle[k] == c} << k;
    return mask;
}

template <class Lane, class Unit, class MaskOf>
std::uint64_t fill_with(std::span<const Unit> haystack, Lane* out, MaskOf&& mask_of) {
    std::uint64_t present = 0;
    for (std::size_t p = 0; p < haystack.size(); ++p) {
        const std::uint64_t mask = mask_of(haystack[p]);
        out[p] = static_cast<Lane>(mask);
        present |= mask;
    }
    std::fill_n(out + haystack.size(), padding_lanes<Lane>, Lane{0});
    return present;
}

// The needle's mask of every haystack unit, followed by padding_lanes zero masks so that the
// last block may read past the end; returns their union. A needle of up to 16 bytes is compared
// with whole registers of haystack bytes by the kernel; other short haystacks compare unit by
// unit; long ones look up a table.
template <class Lane, class Unit>
std::uint64_t fill_masks(std::span<const Unit> needle, std::span<const Unit> haystack, Lane* out,
                         const simd::partial::Entries& kernels) {
    if constexpr (sizeof(Unit) == 1 && sizeof(Lane) == 2) {
        std::fill_n(out + haystack.size(), padding_lanes<Lane>, Lane{0});
        return kernels.byte_masks16(needle.data(), needle.size(), haystack.data(), haystack.size(),
                                    out);
    }
    if (haystack.size() <= compared_haystack && haystack.size() * needle.size() <= 1024) {
        return fill_with(haystack, out, [&](Unit c) { return compared_mask(needle, c); });
    }
    const WordMasks masks(needle.data(), needle.size());
    return fill_with(haystack, out, [&](Unit c) { return masks[c]; });
}

// fill_masks for a haystack given as UTF-8 of h characters, decoded as it is read; false when
// it holds another number of them.
template <class Lane>
bool fill_masks_utf8(std::span<const std::uint32_t> needle, TextSlice haystack, std::size_t h,
                     Lane* out, std::uint64_t& present) {
    const std::uint8_t *p = haystack.bytes(), *end = p + haystack.size;
    std::size_t count = 0;
    auto fill = [&](auto&& mask_of) {
        std::uint64_t seen = 0;
        for (; p != end && count < h; ++count) {
            const std::uint64_t mask = mask_of(next_scalar(p, end));
            out[count] = static_cast<Lane>(mask);
            seen |= mask;
        }
        present = seen;
    };
    if (h <= compared_haystack && h * needle.size() <= 1024) {
        fill([&](std::uint32_t c) { return compared_mask(needle, c); });
    } else {
        const WordMasks masks(needle.data(), needle.size());
        fill([&](std::uint32_t c) { return masks[c]; });
    }
    if (count != h || p != end) return false;
    std::fill_n(out + h, padding_lanes<Lane>, Lane{0});
    return true;
}

template <class Lane>
class SharedWindows {
  public:
    SharedWindows(const Lane* masks, std::size_t n, std::size_t h,
                  const simd::partial::Entries& kernels)
        : masks_(masks), n_(n), h_(h), kernels_(kernels) {}

    FullBest best_full(std::uint64_t cutoff_distance) const {
        const std::size_t starts = h_ - n_;
        SmallBuffer<std::uint8_t, 2048> distances(starts + 64);
        kernels_.windows(masks_, sizeof(Lane), n_, starts, distances.data());
        return first_least(distances.data(), starts, cutoff_distance);
    }
    void prefixes(std::uint32_t* out) const noexcept {
        std::uint64_t s = ~std::uint64_t{0}, lcs = 0;
        for (std::size_t k = 0; k + 1 < n_; ++k) {
            step(s, lcs, masks_[k]);
            out[k] = static_cast<std::uint32_t>(n_ + k + 1 - 2 * lcs);
        }
    }
    // Backwards through the haystack with the needle reversed.
    void suffixes(std::uint32_t* out) const noexcept {
        std::uint64_t s = ~std::uint64_t{0}, lcs = 0;
        for (std::size_t k = 0; k < n_; ++k) {
            step(s, lcs, reverse_low_bits(masks_[h_ - 1 - k], n_));
            out[k] = static_cast<std::uint32_t>(n_ + k + 1 - 2 * lcs);
        }
    }
    bool in_needle(std::size_t p) const noexcept { return masks_[p] != 0; }

  private:
    // Bits above the needle are ones: the LCS grows exactly when a carry leaves the word.
    static void step(std::uint64_t& s, std::uint64_t& lcs, std::uint64_t mask) noexcept {
        const std::uint64_t u = s & mask;
        const std::uint64_t sum = s + u;
        lcs += sum < s;
        s = sum | (s - u);
    }

    const Lane* masks_;
    std::size_t n_, h_;
    const simd::partial::Entries& kernels_;
};

template <class Lane>
WindowScore search_shared(const Lane* masks, std::size_t n, std::size_t h, double cutoff,
                          const simd::partial::Entries& kernels) {
    SharedWindows<Lane> windows(masks, n, h, kernels);
    return search(n, h, cutoff, windows);
}

// The shared-window search with masks built here: the second try on equal lengths.
template <class Lane, class Unit>
WindowScore search_lanes_of(std::span<const Unit> needle, std::span<const Unit> haystack,
                            double cutoff, const simd::partial::Entries& kernels) {
    SmallBuffer<Lane, 512> lanes(haystack.size() + padding_lanes<Lane>);
    fill_masks(needle, haystack, lanes.data(), kernels);
    return search_shared(lanes.data(), needle.size(), haystack.size(), cutoff, kernels);
}

template <class Unit>
WindowScore search_new_masks(std::span<const Unit> needle, std::span<const Unit> haystack,
                             double cutoff, const simd::partial::Entries& kernels) {
    switch (lane_bytes_for(needle.size())) {
        case 2:
            return search_lanes_of<std::uint16_t>(needle, haystack, cutoff, kernels);
        case 4:
            return search_lanes_of<std::uint32_t>(needle, haystack, cutoff, kernels);
        default:
            return search_lanes_of<std::uint64_t>(needle, haystack, cutoff, kernels);
    }
}

// ---- Every window at once, for long needles ----------------------------------------------
//
// Seaweed combing (Tiskin's semi-local LCS) of the needle (m units down) against the whole
// haystack (h units across) gives the LCS of the needle against every substring of the haystack
// in one pass of m x h cells. A seaweed enters at the top of each column and at the left of each
// row and leaves at the bottom or the right; with s the column it enters and e(s) the column it
// leaves at the bottom (none when it leaves at the right),
//   LCS(N, H[i, j)) = (j - i) - #{s in [i, j) : e(s) < j}.
// Example: needle "x", haystack "x": the cell matches, the top seaweed turns right and none
// leaves below its own column, so the LCS of "x" is 1; for "y" it goes straight down: 0. A
// window's indel distance is then 2 #{s in [f, f + n) : e(s) < f + n}, and neighbouring windows
// differ by the seaweeds at their two ends: all of them in one sweep, prefixes and suffixes too.

template <class Unit>
class CombWindows {
  public:
    CombWindows(std::span<const Unit> needle, std::span<const Unit> haystack,
                const simd::partial::Entries& kernels)
        : n_(needle.size()),
          h_(haystack.size()),
          units_(needle),
          haystack_(haystack),
          end_(h_, none),
          bottom_(h_, none) {
        // Labels run to m + h - 1.
        if (n_ + h_ <= 0x10000) {
            comb<std::uint16_t>(needle, haystack, kernels.comb16);
        } else {
            comb<std::uint32_t>(needle, haystack, kernels.comb32);
        }
    }

    FullBest best_full(std::uint64_t cutoff_distance) const {
        const std::size_t starts = h_ - n_;
        std::vector<std::uint32_t> distances(starts);
        // The seaweeds of window f: those from [f, f + n) that leave below it.
        std::size_t count = 0;
        for (std::size_t s = 0; s < n_; ++s) count += end_[s] < n_;
        for (std::size_t f = 0;; ++f) {
            distances[f] = static_cast<std::uint32_t>(2 * count);
            if (f + 1 == starts) break;
            count -= end_[f] < f + n_;
            // The seaweed that leaves at the window's new last column, if it entered inside.
            const std::uint32_t entered = bottom_[f + n_];
            count += entered != none && entered > f;
        }
        return first_least(distances.data(), starts, cutoff_distance);
    }
    void prefixes(std::uint32_t* out) const noexcept {
        std::size_t below = 0;  // seaweeds from the top that leave below the prefix
        for (std::size_t i = 1; i < n_; ++i) {
            below += bottom_[i - 1] != none;
            out[i - 1] = static_cast<std::uint32_t>(n_ + i - 2 * (i - below));
        }
    }
    void suffixes(std::uint32_t* out) const noexcept {
        std::size_t below = 0;
        for (std::size_t k = 1; k <= n_; ++k) {
            below += end_[h_ - k] != none;
            out[k - 1] = static_cast<std::uint32_t>(n_ + k - 2 * (k - below));
        }
    }
    bool in_needle(std::size_t p) const noexcept { return units_.contains(haystack_[p]); }

  private:
    static constexpr std::uint32_t none = 0xFFFFFFFFu;

    // Units as labels of the comb's width: bytes and scalar values below its limit as they are,
    // others renamed by their rank among the needle's units (a haystack unit that is not in the
    // needle gets a name no needle unit has).
    template <class Label, class Comb>
    void comb(std::span<const Unit> needle, std::span<const Unit> haystack, Comb kernel) {
        const std::size_t m = n_, h = h_;
        std::vector<Label> work(2 * (m + h));
        Label *codes = work.data(), *rows = codes + m, *reversed = rows + m,
              *columns = reversed + h;
        if (sizeof(Unit) <= sizeof(Label)) {
            for (std::size_t i = 0; i < m; ++i) codes[i] = static_cast<Label>(needle[i]);
            for (std::size_t j = 0; j < h; ++j)
                reversed[h - 1 - j] = static_cast<Label>(haystack[j]);
        } else {
            std::vector<Unit> distinct(needle.begin(), needle.end());
            std::ranges::sort(distinct);
            distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
            auto rank = [&](Unit u) -> Label {
                const auto at = std::ranges::lower_bound(distinct, u);
                return at != distinct.end() && *at == u
                           ? static_cast<Label>(at - distinct.begin() + 1)
                           : Label{0};
            };
            for (std::size_t i = 0; i < m; ++i) codes[i] = rank(needle[i]);
            for (std::size_t j = 0; j < h; ++j) reversed[h - 1 - j] = rank(haystack[j]);
        }
        for (std::size_t i = 0; i < m; ++i) rows[i] = static_cast<Label>(m - 1 - i);
        for (std::size_t j = 0; j < h; ++j) columns[h - 1 - j] = static_cast<Label>(m + j);
        kernel(codes, m, reversed, h, rows, columns);
        for (std::size_t j = 0; j < h; ++j) {
            const std::size_t label = columns[h - 1 - j];
            if (label < m) {
                bottom_[j] = none;
            } else {
                bottom_[j] = static_cast<std::uint32_t>(label - m);
                end_[label - m] = static_cast<std::uint32_t>(j);
            }
        }
    }

    std::size_t n_, h_;
    UnitSet units_;
    std::span<const Unit> haystack_;
    // end_[s]: the column where the seaweed from the top of column s leaves at the bottom;
    // bottom_[j]: the column whose seaweed leaves at the bottom of column j. none for the others.
    std::vector<std::uint32_t> end_, bottom_;
};

template <class Unit>
WindowScore search_comb(std::span<const Unit> needle, std::span<const Unit> haystack, double cutoff,
                        const simd::partial::Entries& kernels) {
    CombWindows<Unit> windows(needle, haystack, kernels);
    return search(needle.size(), haystack.size(), cutoff, windows);
}

// ---- From window searches to the alignment ---------------------------------------------

// The alignment of a against b (la, lb units) from window searches: search(needle_is_a,
// cutoff) runs the needle a over the haystack b, or b over a.
template <class Search>
ScoreAlignment align_with(std::size_t la, std::size_t lb, double cutoff, Search&& search_with) {
    if (la > lb) {
        // b is the needle; src still refers to a and dest to b.
        if (cutoff > 100.0) return {0.0, 0, lb, 0, lb};
        if (lb == 0) return {0.0, 0, 0, 0, 0};
        const WindowScore w = search_with(false, cutoff);
        return {w.score, w.start, w.end, 0, lb};
    }
    if (cutoff > 100.0) return {0.0, 0, la, 0, la};
    if (la == 0) return {lb == 0 ? 100.0 : 0.0, 0, 0, 0, 0};
    const WindowScore w = search_with(true, cutoff);
    ScoreAlignment result{w.score, 0, la, w.start, w.end};
    if (la != lb || w.score == 100.0) return result;
    // Equal lengths: the second text may fit the first better than the other way round.
    const WindowScore v = search_with(false, max_nan_loses(cutoff, w.score));
    if (v.score > w.score) result = {v.score, v.start, v.end, 0, la};
    return result;
}

}  // namespace

RatioPair::RatioPair(TextSlice a, TextSlice b) : RatioPair(a, b, simd::kernels().partial) {}

RatioPair::RatioPair(TextSlice a, TextSlice b, const simd::partial::Entries& kernels)
    : a_(a), b_(b), ascii_(is_ascii(a) && is_ascii(b)), kernels_(&kernels) {
    if (ascii_) {
        la_ = a.size;
        lb_ = b.size;
    } else if (!mask_longer_from_utf8()) {
        la_ = decode_into(a, scalars_a_.allocate(a.size));
        lb_ = decode_into(b, scalars_b_.allocate(b.size));
    } else {
        return;
    }
    const std::size_t n = std::min(la_, lb_);
    if (n == 0 || n > 64) return;
    lane_bytes_ = lane_bytes_for(n);
    const bool bytes = ascii_;
    switch (lane_bytes_) {
        case 2:
            bytes ? build_masks<std::uint8_t, std::uint16_t>()
                  : build_masks<std::uint32_t, std::uint16_t>();
            break;
        case 4:
            bytes ? build_masks<std::uint8_t, std::uint32_t>()
                  : build_masks<std::uint32_t, std::uint32_t>();
            break;
        default:
            bytes ? build_masks<std::uint8_t, std::uint64_t>()
                  : build_masks<std::uint32_t, std::uint64_t>();
    }
}

// Texts of unequal lengths whose shorter one has 1 to 64 characters need only the shorter one
// decoded: the longer one is only ever read through the needle's masks, taken from its UTF-8 as
// it is read. False, with nothing built, for other texts (and for ill-formed UTF-8, whose
// characters are not the bytes that do not continue a sequence).
bool RatioPair::mask_longer_from_utf8() {
    const std::size_t ca = char_length(a_), cb = char_length(b_), n = std::min(ca, cb);
    if (n == 0 || n > 64 || ca == cb) return false;
    const bool needle_is_a = ca < cb;
    const TextSlice needle_text = needle_is_a ? a_ : b_, haystack = needle_is_a ? b_ : a_;
    std::uint32_t* units = (needle_is_a ? scalars_a_ : scalars_b_).allocate(needle_text.size);
    if (decode_into(needle_text, units) != n) return false;
    const std::span<const std::uint32_t> needle(units, n);
    const std::size_t h = needle_is_a ? cb : ca;
    const std::size_t lane = lane_bytes_for(n);
    auto fill = [&]<class Lane>(Lane*) {
        auto* lanes =
            reinterpret_cast<Lane*>(lanes_.allocate((h + padding_lanes<Lane>)*sizeof(Lane)));
        return fill_masks_utf8(needle, haystack, h, lanes, present_);
    };
    const bool filled = lane == 2   ? fill(static_cast<std::uint16_t*>(nullptr))
                        : lane == 4 ? fill(static_cast<std::uint32_t*>(nullptr))
                                    : fill(static_cast<std::uint64_t*>(nullptr));
    if (!filled) return false;
    la_ = ca;
    lb_ = cb;
    lane_bytes_ = lane;
    return true;
}

template <class Unit>
std::span<const Unit> RatioPair::units(bool first) const noexcept {
    if constexpr (sizeof(Unit) == 1) {
        const TextSlice t = first ? a_ : b_;
        return {t.bytes(), t.size};
    } else {
        return first ? std::span<const Unit>(scalars_a_.data(), la_)
                     : std::span<const Unit>(scalars_b_.data(), lb_);
    }
}

template <class Lane>
const Lane* RatioPair::haystack_masks() const noexcept {
    return reinterpret_cast<const Lane*>(lanes_.data());
}

// The needle is the shorter text, the first on equal lengths.
template <class Unit, class Lane>
void RatioPair::build_masks() {
    const bool needle_is_a = la_ <= lb_;
    const std::span<const Unit> needle = units<Unit>(needle_is_a),
                                haystack = units<Unit>(!needle_is_a);
    auto* lanes = reinterpret_cast<Lane*>(
        lanes_.allocate((haystack.size() + padding_lanes<Lane>)*sizeof(Lane)));
    present_ = fill_masks(needle, haystack, lanes, *kernels_);
}

template <class Lane>
std::uint64_t RatioPair::lcs() const noexcept {
    const Lane* masks = haystack_masks<Lane>();
    const std::size_t h = std::max(la_, lb_), n = std::min(la_, lb_);
    std::uint64_t s = ~std::uint64_t{0};
    std::size_t p = 0;
    // Once no bit of S is both unmatched and matchable by a unit of the haystack, every
    // further step leaves S as it is: the LCS is complete.
    while (p < h) {
        const std::size_t stop = std::min(h, p + 32);
        for (; p < stop; ++p) {
            const std::uint64_t u = s & masks[p];
            s = (s + u) | (s - u);
        }
        if ((s & present_) == 0) break;
    }
    const std::uint64_t valid = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    return count_ones(~s & valid);
}

double RatioPair::ratio(double score_cutoff) const {
    if (lane_bytes_ == 0) return ratio_with_cutoff(a_, b_, score_cutoff);
    std::uint64_t common;
    switch (lane_bytes_) {
        case 2:
            common = lcs<std::uint16_t>();
            break;
        case 4:
            common = lcs<std::uint32_t>();
            break;
        default:
            common = lcs<std::uint64_t>();
    }
    const std::size_t total = la_ + lb_;
    const double r = indel_ratio(total - 2 * common, total);
    return score_cutoff <= r ? r : 0.0;
}

template <class Unit>
ScoreAlignment RatioPair::align(double score_cutoff) const {
    const simd::partial::Entries& kernels = *kernels_;
    const bool needle_is_a = la_ <= lb_;
    return align_with(la_, lb_, score_cutoff, [&](bool a_is_needle, double cutoff) {
        const std::size_t n = a_is_needle ? la_ : lb_, h = a_is_needle ? lb_ : la_;
        switch (a_is_needle == needle_is_a ? lane_bytes_ : 0) {
            case 2:
                return search_shared(haystack_masks<std::uint16_t>(), n, h, cutoff, kernels);
            case 4:
                return search_shared(haystack_masks<std::uint32_t>(), n, h, cutoff, kernels);
            case 8:
                return search_shared(haystack_masks<std::uint64_t>(), n, h, cutoff, kernels);
            default:
                // No masks, or the second try on equal lengths: both texts are decoded then.
                const std::span<const Unit> needle = units<Unit>(a_is_needle),
                                            haystack = units<Unit>(!a_is_needle);
                if (lane_bytes_ == 0) return search_comb(needle, haystack, cutoff, kernels);
                return search_new_masks(needle, haystack, cutoff, kernels);
        }
    });
}

ScoreAlignment RatioPair::partial_alignment(double score_cutoff) const {
    return ascii_ ? align<std::uint8_t>(score_cutoff) : align<std::uint32_t>(score_cutoff);
}

ScoreAlignment partial_ratio_alignment(TextSlice a, TextSlice b, double score_cutoff) {
    return RatioPair(a, b).partial_alignment(score_cutoff);
}

double partial_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    return partial_ratio_alignment(a, b, score_cutoff).score;
}

ScoreAlignment partial_ratio_alignment_with(TextSlice a, TextSlice b, double score_cutoff,
                                            const simd::partial::Entries& kernels) {
    return RatioPair(a, b, kernels).partial_alignment(score_cutoff);
}

ScoreAlignment partial_ratio_alignment_per_window(TextSlice a, TextSlice b, double score_cutoff) {
    auto run = [&](auto sa, auto sb) {
        return align_with(sa.size(), sb.size(), score_cutoff, [&](bool a_is_needle, double c) {
            return a_is_needle ? search_each_window(sa, sb, c) : search_each_window(sb, sa, c);
        });
    };
    if (is_ascii(a) && is_ascii(b))
        return run(std::span(a.bytes(), a.size), std::span(b.bytes(), b.size));
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return run(std::span<const std::uint32_t>(sa), std::span<const std::uint32_t>(sb));
}

}  // namespace quillon::fuzz
