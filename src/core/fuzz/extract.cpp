// Extraction over choices with the plain indel ratio. The query is prepared once per call, and
// a choice whose length alone keeps it below the cut-off or below the worst match kept so far
// is passed over before any kernel runs.
#include "extract.hpp"

#include <algorithm>

#include "../pool.hpp"
#include "query.hpp"

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

// Pieces of a parallel pass: many per thread, so that fast threads take over from slow ones.
std::size_t piece_size(std::size_t n) {
    constexpr std::size_t pieces_per_thread = 64;
    const std::size_t pieces = pieces_per_thread * pool::size();
    return std::max(pool::min_pairs_per_piece, (n + pieces - 1) / pieces);
}

// The best `limit` matches of choices [begin, end) that reach the cut-off, scored in index
// order into out (room for `limit`, or for all of them when limit is larger); returns how many.
// Once `limit` are kept, a later choice must beat the worst of them strictly: on equal scores
// its larger index puts it after.
std::size_t best_of_run(const RatioQuery& query, std::span<const TextSlice> choices,
                        std::size_t begin, std::size_t end, double score_cutoff, std::size_t limit,
                        Scored* out) {
    RatioScratch scratch;
    std::size_t kept = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const Measured c = query.measure(choices[i]);
        const double bound = query.bound(c);
        if (bound < score_cutoff) continue;
        if (kept == limit && bound <= out[0].score) continue;
        const double s = query.score(c, scratch);
        if (!(s >= score_cutoff)) continue;
        if (kept < limit) {
            out[kept++] = {s, i};
            // The worst of them on top once full: a heap ordered by `before`.
            if (kept == limit) std::make_heap(out, out + kept, before);
        } else if (s > out[0].score) {
            std::pop_heap(out, out + kept, before);
            out[kept - 1] = {s, i};
            std::push_heap(out, out + kept, before);
        }
    }
    return kept;
}

}  // namespace

std::vector<Match> extract(TextSlice query, std::span<const TextSlice> choices, double score_cutoff,
                           std::uint64_t limit) {
    // No score exceeds 100 or reaches a NaN cut-off.
    if (choices.empty() || limit == 0 || !(score_cutoff <= 100.0)) return {};
    const RatioQuery prepared(query);
    const std::size_t n = choices.size();
    const std::size_t piece = n > parallel_threshold ? piece_size(n) : n;
    const std::size_t pieces = (n + piece - 1) / piece;
    // Each piece keeps at most `room` matches in its own slots.
    const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(limit, piece));
    std::vector<Scored> slots(pieces * room);
    std::vector<std::size_t> counts(pieces);
    auto run = [&](std::size_t k, std::size_t begin, std::size_t end) {
        counts[k] =
            best_of_run(prepared, choices, begin, end, score_cutoff, room, slots.data() + k * room);
    };
    if (pieces == 1) {
        run(0, 0, n);
    } else {
        pool::for_each_chunk(n, piece, run);
    }

    // The kept matches of every piece side by side; any of the best `limit` overall is among
    // the best `limit` of its piece.
    std::size_t kept = 0;
    for (std::size_t k = 0; k < pieces; ++k) {
        std::copy_n(slots.begin() + static_cast<std::ptrdiff_t>(k * room), counts[k],
                    slots.begin() + static_cast<std::ptrdiff_t>(kept));
        kept += counts[k];
    }
    auto last = slots.begin() + static_cast<std::ptrdiff_t>(kept);
    if (limit < kept) {
        // Linear expected time to find the best `limit`, then only those are sorted.
        const auto cut = slots.begin() + static_cast<std::ptrdiff_t>(limit);
        std::nth_element(slots.begin(), cut, last, before);
        last = cut;
    }
    std::sort(slots.begin(), last, before);
    std::vector<Match> matches;
    matches.reserve(static_cast<std::size_t>(last - slots.begin()));
    for (auto it = slots.begin(); it != last; ++it) {
        const TextSlice c = choices[it->index];
        matches.push_back({std::string(c.data, c.size), it->score, it->index});
    }
    return matches;
}

std::optional<Match> extract_one(TextSlice query, std::span<const TextSlice> choices,
                                 double score_cutoff) {
    if (choices.empty() || !(score_cutoff <= 100.0)) return std::nullopt;
    const RatioQuery prepared(query);
    RatioScratch scratch;
    std::optional<Scored> best;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        const Measured c = prepared.measure(choices[i]);
        const double bound = prepared.bound(c);
        // A later choice replaces the best only with a strictly higher score.
        if (bound < score_cutoff || (best && bound <= best->score)) continue;
        const double s = prepared.score(c, scratch);
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
    const RatioQuery prepared(query);
    std::vector<double> scores(candidates.size());
    pool::for_each_chunk(candidates.size(), piece_size(candidates.size()),
                         [&](std::size_t, std::size_t begin, std::size_t end) {
                             RatioScratch scratch;
                             for (std::size_t i = begin; i < end; ++i) {
                                 scores[i] =
                                     prepared.score(prepared.measure(candidates[i]), scratch);
                             }
                         });
    return scores;
}

}  // namespace quillon::fuzz
