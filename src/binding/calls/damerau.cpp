// Damerau-Levenshtein bodies.
#include "../../core/damerau.hpp"

#include "../buffers.hpp"
#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

namespace {

std::vector<std::uint32_t> batch_distances(TextSlice query, const StrList& candidates) {
    return without_gil([&] { return quillon::damerau_levenshtein_batch(query, candidates.slices()); });
}

std::vector<std::vector<std::uint32_t>> cdist_distances(const StrList& list_a, const StrList& list_b) {
    return without_gil(
        [&] { return quillon::damerau_levenshtein_cdist(list_a.slices(), list_b.slices()); });
}

}  // namespace

PyObject* damerau_levenshtein_distance(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(without_gil([&] { return quillon::damerau_levenshtein_distance(a, b); }))
        .release();
}

PyObject* damerau_levenshtein_batch(Args& args) {
    const TextSlice query = args.str(0);
    const StrList candidates = as_strs(args.object(1));
    return to_python_list(batch_distances(query, candidates)).release();
}

PyObject* damerau_levenshtein_batch_into(Args& args) {
    const TextSlice query = args.str(0);
    const StrList candidates = as_strs(args.object(1));
    OutArray out = OutArray::batch(args.object(2), Element::u32, candidates.size());
    out.write(batch_distances(query, candidates));
    return none().release();
}

PyObject* damerau_levenshtein_cdist(Args& args) {
    const auto [list_a, list_b] = as_strs_pair(args.object(0), args.object(1));
    return to_python_matrix(cdist_distances(list_a, list_b)).release();
}

PyObject* damerau_levenshtein_cdist_into(Args& args) {
    const auto [list_a, list_b] = as_strs_pair(args.object(0), args.object(1));
    OutArray out = OutArray::matrix(args.object(2), Element::u32, list_a.size(), list_b.size());
    out.write(cdist_distances(list_a, list_b));
    return none().release();
}

PyObject* damerau_ratio(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(without_gil([&] { return quillon::damerau_ratio(a, b); })).release();
}

}  // namespace quillon::binding
