// Needleman-Wunsch bodies. Scores are converted in parameter order, after the texts.
#include "../../core/needleman.hpp"

#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

namespace {

LinearScores linear_scores(const Args& args, std::size_t first) {
    const std::int64_t match = args.int64(first), mismatch = args.int64(first + 1);
    return {match, mismatch, args.int64(first + 2)};
}

AffineScores affine_scores(const Args& args, std::size_t first) {
    const std::int64_t match = args.int64(first), mismatch = args.int64(first + 1);
    const std::int64_t gap_open = args.int64(first + 2);
    return {match, mismatch, gap_open, args.int64(first + 3)};
}

}  // namespace

PyObject* needleman_wunsch_score(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const LinearScores scores = linear_scores(args, 2);
    return to_python(without_gil([&] { return needleman_wunsch(a, b, scores); })).release();
}

PyObject* needleman_wunsch_batch_fn(Args& args) {
    const TextSlice query = args.str(0);
    const LinearScores scores = linear_scores(args, 2);
    const StrList candidates = as_strs(args.object(1));
    const std::vector<std::int64_t> result = without_gil_interruptible(
        [&] { return needleman_wunsch_batch(query, candidates.slices(), scores); });
    return to_python_list(result).release();
}

PyObject* needleman_wunsch_affine(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const AffineScores scores = affine_scores(args, 2);
    return to_python(without_gil([&] { return quillon::needleman_wunsch_affine(a, b, scores); }))
        .release();
}

PyObject* needleman_wunsch_affine_batch(Args& args) {
    const TextSlice query = args.str(0);
    const AffineScores scores = affine_scores(args, 2);
    const StrList candidates = as_strs(args.object(1));
    const std::vector<std::int64_t> result = without_gil_interruptible(
        [&] { return quillon::needleman_wunsch_affine_batch(query, candidates.slices(), scores); });
    return to_python_list(result).release();
}

PyObject* needleman_wunsch_striped(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const LinearScores scores = linear_scores(args, 2);
    // The general route tests for ASCII itself and then runs the same byte lanes.
    return to_python(without_gil([&] { return needleman_wunsch(a, b, scores); })).release();
}

}  // namespace quillon::binding
