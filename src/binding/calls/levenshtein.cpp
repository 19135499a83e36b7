// Levenshtein bodies.
#include "../../core/levenshtein.hpp"

#include "calls.hpp"
#include "forms.hpp"

namespace quillon::binding {

PyObject* levenshtein_distance(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const std::uint32_t d = without_gil_unless_short(a, b, [&] { return levenshtein_utf8(a, b); });
    return to_python(d).release();
}

PyObject* levenshtein_batch(Args& args) {
    return batch_form(args.str(0), args.object(1), levenshtein_query_batch);
}

PyObject* levenshtein_batch_into(Args& args) {
    return batch_into_form(args.str(0), args.object(1), args.object(2), Element::u32,
                           levenshtein_query_batch);
}

PyObject* levenshtein_cdist(Args& args) {
    return cdist_form(args.object(0), args.object(1), levenshtein_cross_product);
}

PyObject* levenshtein_cdist_into(Args& args) {
    return cdist_into_scratch_form<std::uint32_t>(args.object(0), args.object(1), args.object(2),
                                                  Element::u32, levenshtein_cross_product_into);
}

PyObject* levenshtein_myers(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const std::uint32_t d =
        without_gil_unless_short(a, b, [&] { return quillon::levenshtein_myers(a, b); });
    return to_python(d).release();
}

}  // namespace quillon::binding
