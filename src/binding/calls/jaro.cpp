// Jaro and Jaro-Winkler bodies.
#include "../../core/jaro.hpp"

#include "../buffers.hpp"
#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

namespace {

// Converts p (0.1 when absent) and checks its range before any list is looked at.
double prefix_scale(const Args& args, std::size_t i) {
    const double p = args.float_or(i, 0.1);
    if (!(p >= 0.0 && p <= 0.25)) {  // NaN fails both comparisons
        throw_error(PyExc_ValueError, "Prefix scaling parameter 'p' must be between 0.0 and 0.25");
    }
    return p;
}

std::vector<double> batch_similarities(TextSlice query, const StrList& candidates, double p) {
    return without_gil([&] { return jaro_winkler_batch(query, candidates.slices(), p); });
}

SimilarityMatrix cdist_similarities(const StrList& list_a, const StrList& list_b, double p) {
    return without_gil([&] { return jaro_winkler_cdist_cpu(list_a.slices(), list_b.slices(), p); });
}

}  // namespace

PyObject* jaro_similarity(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(without_gil([&] { return jaro(a, b); })).release();
}

PyObject* jaro_winkler_similarity(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double p = prefix_scale(args, 2);
    return to_python(without_gil([&] { return jaro_winkler(a, b, p); })).release();
}

PyObject* jaro_winkler_batch_fn(Args& args) {
    const TextSlice query = args.str(0);
    const double p = prefix_scale(args, 2);
    const StrList candidates = as_strs(args.object(1));
    return to_python_list(batch_similarities(query, candidates, p)).release();
}

PyObject* jaro_winkler_batch_into(Args& args) {
    const TextSlice query = args.str(0);
    const double p = prefix_scale(args, 3);
    const StrList candidates = as_strs(args.object(1));
    OutArray out = OutArray::batch(args.object(2), Element::f64, candidates.size());
    out.write(batch_similarities(query, candidates, p));
    return none().release();
}

PyObject* jaro_winkler_cdist(Args& args) {
    const double p = prefix_scale(args, 2);
    const auto [list_a, list_b] = as_strs_pair(args.object(0), args.object(1));
    return to_python_matrix(cdist_similarities(list_a, list_b, p)).release();
}

PyObject* jaro_winkler_cdist_into(Args& args) {
    const double p = prefix_scale(args, 3);
    const auto [list_a, list_b] = as_strs_pair(args.object(0), args.object(1));
    OutArray out = OutArray::matrix(args.object(2), Element::f64, list_a.size(), list_b.size());
    out.write(cdist_similarities(list_a, list_b, p));
    return none().release();
}

PyObject* jaro_optimized(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double similarity = without_gil([&] {
        return is_ascii(a) && is_ascii(b) ? quillon::jaro_optimized(a, b) : jaro(a, b);
    });
    return to_python(similarity).release();
}

}  // namespace quillon::binding
