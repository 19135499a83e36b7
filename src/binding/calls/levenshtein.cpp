// Levenshtein bodies.
#include "../../core/levenshtein.hpp"

#include "../../core/simd/myers.hpp"
#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

PyObject* levenshtein_distance(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const std::uint32_t d = without_gil([&] { return levenshtein_distance_raw(a, b); });
    return to_python(d).release();
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
