// Jaro and Jaro-Winkler bodies.
#include "../../core/jaro.hpp"

#include "calls.hpp"
#include "forms.hpp"

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

// The batch and cross-product with p bound.
auto batch_with(double p) {
    return [p](TextSlice query, std::span<const TextSlice> candidates) {
        return jaro_winkler_batch(query, candidates, p);
    };
}

auto cdist_with(double p) {
    return [p](std::span<const TextSlice> list_a, std::span<const TextSlice> list_b) {
        return jaro_winkler_cross_product(list_a, list_b, p);
    };
}

}  // namespace

PyObject* jaro_similarity(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(without_gil_unless_short(a, b, [&] { return jaro(a, b); })).release();
}

PyObject* jaro_winkler_similarity(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double p = prefix_scale(args, 2);
    return to_python(without_gil_unless_short(a, b, [&] { return jaro_winkler(a, b, p); }))
        .release();
}

PyObject* jaro_winkler_batch_fn(Args& args) {
    const TextSlice query = args.str(0);
    return batch_form(query, args.object(1), batch_with(prefix_scale(args, 2)));
}

PyObject* jaro_winkler_batch_into(Args& args) {
    const TextSlice query = args.str(0);
    return batch_into_form(query, args.object(1), args.object(2), Element::f64,
                           batch_with(prefix_scale(args, 3)));
}

PyObject* jaro_winkler_cdist(Args& args) {
    return cdist_form(args.object(0), args.object(1), cdist_with(prefix_scale(args, 2)));
}

PyObject* jaro_winkler_cdist_into(Args& args) {
    const double p = prefix_scale(args, 3);
    return cdist_into_scratch_form<double>(
        args.object(0), args.object(1), args.object(2), Element::f64,
        [p](std::span<const TextSlice> list_a, std::span<const TextSlice> list_b,
            double* const* rows) { jaro_winkler_cross_product_into(list_a, list_b, p, rows); });
}

// The same value as jaro_similarity by the same (fastest) route; the flag-array kernel, which
// long pairs would run position by position, stays in the test extension as the oracle.
PyObject* jaro_optimized(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double similarity = without_gil([&] { return jaro(a, b); });
    return to_python(similarity).release();
}

}  // namespace quillon::binding
