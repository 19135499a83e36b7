// Extraction over choices with the plain indel ratio.
#include "extract.hpp"

#include <algorithm>

#include "../pool.hpp"
#include "ratio.hpp"

namespace quillon::fuzz {

namespace {

constexpr std::size_t parallel_threshold = 1000;

struct Scored {
    double score;
    std::size_t index;
};

// Best first; equal scores in index order. A total order, so selecting the first k with it
// and then sorting them gives exactly the first k of a stable sort by score.
bool before(const Scored& p, const Scored& q) noexcept {
    return p.score > q.score || (p.score == q.score && p.index < q.index);
}

double score_of(TextSlice query, TextSlice choice) { return ratio_with_cutoff(query, choice, 0.0); }

}  // namespace

std::vector<Match> extract(TextSlice query, std::span<const TextSlice> choices, double score_cutoff,
                           std::uint64_t limit) {
    if (choices.empty() || limit == 0) return {};
    std::vector<Scored> kept;
    auto keep = [&](std::size_t i, double s) {
        if (s >= score_cutoff) kept.push_back({s, i});  // a NaN cut-off keeps nothing
    };
    if (choices.size() > parallel_threshold) {
        const std::vector<double> scores =
            pool::map(choices.size(), [&](std::size_t i) { return score_of(query, choices[i]); });
        for (std::size_t i = 0; i < scores.size(); ++i) keep(i, scores[i]);
    } else {
        for (std::size_t i = 0; i < choices.size(); ++i) keep(i, score_of(query, choices[i]));
    }
    if (limit < kept.size()) {
        // Linear expected time to find the best `limit`, then only those are sorted.
        const auto cut = kept.begin() + static_cast<std::ptrdiff_t>(limit);
        std::nth_element(kept.begin(), cut, kept.end(), before);
        kept.erase(cut, kept.end());
    }
    std::sort(kept.begin(), kept.end(), before);
    std::vector<Match> matches;
    matches.reserve(kept.size());
    for (const Scored& k : kept) {
        const TextSlice c = choices[k.index];
        matches.push_back({std::string(c.data, c.size), k.score, k.index});
    }
    return matches;
}

std::optional<Match> extract_one(TextSlice query, std::span<const TextSlice> choices,
                                 double score_cutoff) {
    std::optional<Scored> best;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const double s = score_of(query, choices[i]);
        if (s >= score_cutoff && (!best || s > best->score)) {
            best = Scored{s, i};
            if (s == 100.0) break;
        }
    }
    if (!best) return std::nullopt;
    const TextSlice c = choices[best->index];
    return Match{std::string(c.data, c.size), best->score, best->index};
}

std::vector<double> ratio_batch(TextSlice query, std::span<const TextSlice> candidates) {
    return pool::map(
        candidates.size(), [&](std::size_t i) { return score_of(query, candidates[i]); },
        pool::min_pairs_per_piece);
}

}  // namespace quillon::fuzz
