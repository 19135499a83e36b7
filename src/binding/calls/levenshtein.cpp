// Levenshtein bodies.
#include "../../core/levenshtein.hpp"

#include "../../core/simd/myers.hpp"
#include "../buffers.hpp"
#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

namespace {

// The pairs (query, candidate) in candidate order. The batch kernel takes them without a pair
// vector: its Myers route needs one query, which this form has by construction.
std::vector<std::uint32_t> batch_distances(TextSlice query, const StrList& candidates) {
    return without_gil([&] { return levenshtein_query_batch(query, candidates.slices()); });
}

DistanceMatrix cdist_distances(const StrList& list_a, const StrList& list_b) {
    return without_gil([&] { return levenshtein_cdist_cpu(list_a.slices(), list_b.slices()); });
}

}  // namespace

PyObject* levenshtein_distance(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const std::uint32_t d = without_gil([&] { return levenshtein_distance_raw(a, b); });
    return to_python(d).release();
}

PyObject* levenshtein_batch(Args& args) {
    const TextSlice query = args.str(0);
    const StrList candidates = as_strs(args.object(1));
    return to_python_list(batch_distances(query, candidates)).release();
}

PyObject* levenshtein_batch_into(Args& args) {
    const TextSlice query = args.str(0);
    const StrList candidates = as_strs(args.object(1));
    OutArray out = OutArray::batch(args.object(2), Element::u32, candidates.size());
    out.write(batch_distances(query, candidates));
    return none().release();
}

PyObject* levenshtein_cdist(Args& args) {
    const auto [list_a, list_b] = as_strs_pair(args.object(0), args.object(1));
    return to_python_matrix(cdist_distances(list_a, list_b)).release();
}

PyObject* levenshtein_cdist_into(Args& args) {
    const auto [list_a, list_b] = as_strs_pair(args.object(0), args.object(1));
    OutArray out = OutArray::matrix(args.object(2), Element::u32, list_a.size(), list_b.size());
    out.write(cdist_distances(list_a, list_b));
    return none().release();
}

PyObject* levenshtein_myers(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const std::uint32_t d = without_gil([&] {
        return is_ascii(a) && is_ascii(b) ? simd::levenshtein_myers(a, b)
                                          : levenshtein_distance_raw(a, b);
    });
    return to_python(d).release();
}

}  // namespace quillon::binding
