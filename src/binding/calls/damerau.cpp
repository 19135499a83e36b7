// Damerau-Levenshtein bodies.
#include "../../core/damerau.hpp"

#include "calls.hpp"
#include "forms.hpp"

namespace quillon::binding {

PyObject* damerau_levenshtein_distance(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(without_gil_unless_short(
                         a, b, [&] { return quillon::damerau_levenshtein_distance(a, b); }))
        .release();
}

PyObject* damerau_levenshtein_batch(Args& args) {
    return batch_form(args.str(0), args.object(1), quillon::damerau_levenshtein_batch);
}

PyObject* damerau_levenshtein_batch_into(Args& args) {
    return batch_into_form(args.str(0), args.object(1), args.object(2), Element::u32,
                           quillon::damerau_levenshtein_batch);
}

PyObject* damerau_levenshtein_cdist(Args& args) {
    return cdist_form(args.object(0), args.object(1), quillon::damerau_levenshtein_cdist);
}

PyObject* damerau_levenshtein_cdist_into(Args& args) {
    return cdist_into_form(args.object(0), args.object(1), args.object(2), Element::u32,
                           quillon::damerau_levenshtein_cdist);
}

PyObject* damerau_ratio(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(without_gil_unless_short(a, b, [&] { return quillon::damerau_ratio(a, b); }))
        .release();
}

}  // namespace quillon::binding
