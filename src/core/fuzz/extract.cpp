// Extraction over choices with the plain indel ratio. The query is prepared once per call; a
// choice whose length alone keeps it below the cut-off, below the worst match kept so far, or
// below what another piece has already found is passed over before any kernel runs; the rest
// are scored 64 at a time in narrow lanes when the query has at most 64 characters.
#include "extract.hpp"

#include <algorithm>
#include <atomic>
#include <limits>

#include "../pool.hpp"
#include "../simd/isa.hpp"
#include "query.hpp"

namespace quillon::fuzz {

namespace {

constexpr std::size_t parallel_threshold = 1000;
// Lists long enough that tabulating the length bounds (256 divisions) pays for itself.
constexpr std::size_t tabulate_threshold = 1024;

struct Scored {
    double score;
    std::size_t index;
};

// Best first; equal scores in index order. A total order, so the best k under it do not depend
// on the order in which candidates are offered (the lanes score a block after the candidates
// that did not fit them), and selecting the first k then sorting them gives exactly the first
// k of a stable sort by score.
bool before(const Scored& p, const Scored& q) noexcept {
    return p.score > q.score || (p.score == q.score && p.index < q.index);
}

// Pieces of a parallel pass: many per thread, so that fast threads take over from slow ones.
std::size_t piece_size(std::size_t n) {
    constexpr std::size_t pieces_per_thread = 64;
    const std::size_t pieces = pieces_per_thread * pool::size();
    return std::max(pool::min_pairs_per_piece, (n + pieces - 1) / pieces);
}

// A score that some piece has proved: the best choice of extract_one, or the worst of `limit`
// kept matches of extract. Any choice whose bound lies strictly below it cannot be in the
// result, whichever piece it belongs to; equal bounds still count (a smaller index wins ties).
class SharedFloor {
  public:
    double get() const noexcept { return value_.load(std::memory_order_relaxed); }
    void raise(double score) noexcept {
        double seen = get();
        while (seen < score &&
               !value_.compare_exchange_weak(seen, score, std::memory_order_relaxed)) {
        }
    }

  private:
    std::atomic<double> value_{-std::numeric_limits<double>::infinity()};
};

enum class Verdict { score, pass, stop };

constexpr std::size_t prefetch_distance = 16;

// Offers the choices [begin, end) that decide(index, measured) lets through to
// sink(index, score), until it answers stop. Scores come in index order, except that a choice
// the lanes cannot take is scored at once, before the lanes taken ahead of it.
template <class Decide, class Sink>
void score_run(const RatioQuery& query, simd::packed::LcsKernel kernel,
               std::span<const TextSlice> choices, std::size_t begin, std::size_t end,
               Decide&& decide, Sink&& sink) {
    RatioScratch scratch;
    if (kernel == nullptr || query.lanes() == nullptr) {
        for (std::size_t i = begin; i < end; ++i) {
            const Measured c = query.measure(choices[i]);
            const Verdict v = decide(i, c);
            if (v == Verdict::stop) break;
            if (v == Verdict::score) sink(i, query.score(c, scratch));
        }
        return;
    }
    RatioBlock block(query, kernel);
    for (std::size_t i = begin; i < end; ++i) {
        // The texts lie wherever their objects were allocated: a miss each, unless fetched
        // while the choices before them are scored.
        if (i + prefetch_distance < end) __builtin_prefetch(choices[i + prefetch_distance].data);
        const Measured c = query.measure(choices[i]);
        const Verdict v = decide(i, c);
        if (v == Verdict::stop) break;
        if (v == Verdict::pass) continue;
        if (!block.add(c, i)) {
            sink(i, query.score(c, scratch));
        } else if (block.full()) {
            block.flush(sink);
        }
    }
    block.flush(sink);
}

}  // namespace

std::vector<Match> extract(TextSlice query, std::span<const TextSlice> choices, double score_cutoff,
                           std::uint64_t limit, simd::packed::LcsKernel kernel) {
    // No score exceeds 100 or reaches a NaN cut-off.
    if (choices.empty() || limit == 0 || !(score_cutoff <= 100.0)) return {};
    RatioQuery prepared(query);
    const std::size_t n = choices.size();
    if (n >= tabulate_threshold) prepared.tabulate_bounds();
    const std::size_t piece = n > parallel_threshold ? piece_size(n) : n;
    const std::size_t pieces = (n + piece - 1) / piece;
    // Each piece keeps its best `room` matches in its own slots, a heap with the worst on top
    // once full; any of the best `limit` overall is among the best `limit` of its piece.
    const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(limit, piece));
    std::vector<Scored> slots(pieces * room);
    std::vector<std::size_t> counts(pieces);
    SharedFloor floor;
    auto run = [&](std::size_t k, std::size_t begin, std::size_t end) {
        Scored* out = slots.data() + k * room;
        std::size_t kept = 0;
        auto decide = [&](std::size_t i, const Measured& c) {
            const double bound = prepared.bound(c);
            if (bound < score_cutoff || bound < floor.get()) return Verdict::pass;
            if (kept == room && !before({bound, i}, out[0])) return Verdict::pass;
            return Verdict::score;
        };
        auto offer = [&](std::size_t i, double s) {
            if (!(s >= score_cutoff)) return;
            if (kept < room) {
                out[kept++] = {s, i};
                if (kept < room) return;
                std::make_heap(out, out + kept, before);
            } else if (before({s, i}, out[0])) {
                std::pop_heap(out, out + kept, before);
                out[kept - 1] = {s, i};
                std::push_heap(out, out + kept, before);
            } else {
                return;
            }
            // `limit` matches at least this good exist.
            if (room == limit) floor.raise(out[0].score);
        };
        score_run(prepared, kernel, choices, begin, end, decide, offer);
        counts[k] = kept;
    };
    if (pieces == 1) {
        run(0, 0, n);
    } else {
        pool::for_each_chunk(n, piece, run);
    }

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
                                 double score_cutoff, simd::packed::LcsKernel kernel) {
    if (choices.empty() || !(score_cutoff <= 100.0)) return std::nullopt;
    RatioQuery prepared(query);
    const std::size_t n = choices.size();
    if (n >= tabulate_threshold) prepared.tabulate_bounds();
    const std::size_t piece = n > parallel_threshold ? piece_size(n) : n;
    const std::size_t pieces = (n + piece - 1) / piece;
    std::vector<Scored> bests(pieces, Scored{0.0, n});  // index n: none in this piece
    SharedFloor floor;
    // The first index known to score 100: nothing after it can win.
    std::atomic<std::size_t> perfect{n};
    auto run = [&](std::size_t k, std::size_t begin, std::size_t end) {
        Scored& best = bests[k];
        auto decide = [&](std::size_t i, const Measured& c) {
            if (i > perfect.load(std::memory_order_relaxed)) return Verdict::stop;
            const double bound = prepared.bound(c);
            if (bound < score_cutoff || bound < floor.get()) return Verdict::pass;
            if (best.index != n && !before({bound, i}, best)) return Verdict::pass;
            return Verdict::score;
        };
        auto offer = [&](std::size_t i, double s) {
            if (!(s >= score_cutoff) || (best.index != n && !before({s, i}, best))) return;
            best = {s, i};
            floor.raise(s);
            if (s == 100.0) {
                std::size_t seen = perfect.load(std::memory_order_relaxed);
                while (i < seen &&
                       !perfect.compare_exchange_weak(seen, i, std::memory_order_relaxed)) {
                }
            }
        };
        score_run(prepared, kernel, choices, begin, end, decide, offer);
    };
    if (pieces == 1) {
        run(0, 0, n);
    } else {
        pool::for_each_chunk(n, piece, run);
    }
    const Scored* best = nullptr;
    for (const Scored& b : bests) {
        if (b.index != n && (best == nullptr || before(b, *best))) best = &b;
    }
    if (best == nullptr) return std::nullopt;
    const TextSlice c = choices[best->index];
    return Match{std::string(c.data, c.size), best->score, best->index};
}

std::vector<double> ratio_batch(TextSlice query, std::span<const TextSlice> candidates,
                                simd::packed::LcsKernel kernel) {
    const RatioQuery prepared(query);
    std::vector<double> scores(candidates.size());
    pool::for_each_chunk(candidates.size(), piece_size(candidates.size()),
                         [&](std::size_t, std::size_t begin, std::size_t end) {
                             score_run(
                                 prepared, kernel, candidates, begin, end,
                                 [](std::size_t, const Measured&) { return Verdict::score; },
                                 [&](std::size_t i, double s) { scores[i] = s; });
                         });
    return scores;
}

std::vector<Match> extract(TextSlice query, std::span<const TextSlice> choices, double score_cutoff,
                           std::uint64_t limit) {
    return extract(query, choices, score_cutoff, limit, simd::kernels().lcs_lanes);
}

std::optional<Match> extract_one(TextSlice query, std::span<const TextSlice> choices,
                                 double score_cutoff) {
    return extract_one(query, choices, score_cutoff, simd::kernels().lcs_lanes);
}

std::vector<double> ratio_batch(TextSlice query, std::span<const TextSlice> candidates) {
    return ratio_batch(query, candidates, simd::kernels().lcs_lanes);
}

}  // namespace quillon::fuzz
