// Fuzzy ratio bodies.
#include "../../core/fuzz/ratio.hpp"

#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

namespace {

// a, b, score_cutoff=0.0 -> float: the shape shared by the pairwise ratio scorers.
template <class Scorer>
PyObject* pair_scorer(Args& args, Scorer scorer) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double score_cutoff = args.float_or(2, 0.0);
    const double score = without_gil([&] { return scorer(a, b, score_cutoff); });
    return to_python(score).release();
}

}  // namespace

PyObject* fuzz_ratio(Args& args) { return pair_scorer(args, fuzz::ratio_with_cutoff); }

PyObject* fuzz_qratio(Args& args) { return pair_scorer(args, fuzz::qratio); }

}  // namespace quillon::binding
