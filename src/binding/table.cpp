// The function table: one row per exported function, in the order in which the module adds
// them (and so the order of __all__).
#include <iterator>

#include "calls/calls.hpp"
#include "frame.hpp"
#include "module.hpp"

namespace quillon::binding {

namespace {

constexpr Row function_table[] = {
    {"levenshtein_distance(a, b, /)\n--\n\n", levenshtein_distance},
    {"levenshtein_batch(query, candidates, /)\n--\n\n", levenshtein_batch},
    {"levenshtein_batch_into(query, candidates, out, /)\n--\n\n"
     "Zero-allocation batch: results are written into a caller-supplied writable\n"
     "buffer (numpy `uint32`, `array.array('I')`, `memoryview`, …) instead of\n"
     "boxing each distance as a Python int. `out` must be exactly\n"
     "`len(candidates)` elements and is validated before any compute.",
     levenshtein_batch_into},
    {"levenshtein_cdist(list_a, list_b, /)\n--\n\n", levenshtein_cdist},
    {"levenshtein_cdist_into(list_a, list_b, out, /)\n--\n\n"
     "Zero-allocation cross-product matrix: `out` must be a writable, contiguous\n"
     "`(len(list_a), len(list_b))` buffer of `uint32` (row-major).",
     levenshtein_cdist_into},
    {"damerau_levenshtein_distance(a, b, /)\n--\n\n", damerau_levenshtein_distance},
    {"damerau_levenshtein_batch(query, candidates, /)\n--\n\n", damerau_levenshtein_batch},
    {"damerau_levenshtein_batch_into(query, candidates, out, /)\n--\n\n"
     "Zero-allocation Damerau batch into a writable `uint32` buffer (see\n"
     "[`levenshtein_batch_into`]).",
     damerau_levenshtein_batch_into},
    {"damerau_levenshtein_cdist(list_a, list_b, /)\n--\n\n", damerau_levenshtein_cdist},
    {"damerau_levenshtein_cdist_into(list_a, list_b, out, /)\n--\n\n"
     "Zero-allocation Damerau cross-product matrix into a writable, contiguous\n"
     "`(len(list_a), len(list_b))` buffer of `uint32` (row-major).",
     damerau_levenshtein_cdist_into},
    {"damerau_ratio(a, b, /)\n--\n\n", damerau_ratio},
    {"needleman_wunsch_score(a, b, match_score, mismatch_score, gap_penalty, /)\n--\n\n",
     needleman_wunsch_score},
    {"needleman_wunsch_batch_fn(query, candidates, match_score, mismatch_score, gap_penalty, /)"
     "\n--\n\n",
     needleman_wunsch_batch_fn},
    {"needleman_wunsch_affine(a, b, match_score, mismatch_score, gap_open, gap_extend, /)\n--\n\n",
     needleman_wunsch_affine},
    {"needleman_wunsch_affine_batch(query, candidates, match_score, mismatch_score, gap_open, "
     "gap_extend, /)\n--\n\n",
     needleman_wunsch_affine_batch},
    {"jaro_similarity(a, b, /)\n--\n\n", jaro_similarity},
    {"jaro_winkler_similarity(a, b, p=0.1, /)\n--\n\n", jaro_winkler_similarity},
    {"jaro_winkler_batch_fn(query, candidates, p=0.1, /)\n--\n\n", jaro_winkler_batch_fn},
    {"jaro_winkler_batch_into(query, candidates, out, p=0.1, /)\n--\n\n"
     "Zero-allocation Jaro-Winkler batch into a writable `float64` buffer (see\n"
     "[`levenshtein_batch_into`]).",
     jaro_winkler_batch_into},
    {"jaro_winkler_cdist(list_a, list_b, p=0.1, /)\n--\n\n", jaro_winkler_cdist},
    {"jaro_winkler_cdist_into(list_a, list_b, out, p=0.1, /)\n--\n\n"
     "Zero-allocation Jaro-Winkler cross-product matrix into a writable,\n"
     "contiguous `(len(list_a), len(list_b))` buffer of `float64` (row-major).",
     jaro_winkler_cdist_into},
    {"fuzz_ratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_ratio},
    {"fuzz_partial_ratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_partial_ratio},
    {"fuzz_partial_ratio_alignment(a, b, score_cutoff=0.0, /)\n--\n\n"
     "partial_ratio_alignment: returns the alignment in the tuple shape common to fuzzy-matching "
     "libraries:\n"
     "(score, src_start, src_end, dest_start, dest_end). `src_start`/`src_end`\n"
     "are relative to the FIRST argument, `dest_start`/`dest_end` to the second.",
     fuzz_partial_ratio_alignment},
    {"fuzz_token_sort_ratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_token_sort_ratio},
    {"fuzz_token_set_ratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_token_set_ratio},
    {"fuzz_token_ratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_token_ratio},
    {"fuzz_wratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_wratio},
    {"fuzz_ratio_batch(query, candidates, /)\n--\n\n", fuzz_ratio_batch},
    {"fuzz_extract(query, choices, score_cutoff=0.0, limit=5, /)\n--\n\n", fuzz_extract},
    {"fuzz_extract_one(query, choices, score_cutoff=0.0, /)\n--\n\n", fuzz_extract_one},
    {"fuzz_partial_token_sort_ratio(a, b, score_cutoff=0.0, /)\n--\n\n",
     fuzz_partial_token_sort_ratio},
    {"fuzz_partial_token_set_ratio(a, b, score_cutoff=0.0, /)\n--\n\n",
     fuzz_partial_token_set_ratio},
    {"fuzz_partial_token_ratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_partial_token_ratio},
    {"fuzz_qratio(a, b, score_cutoff=0.0, /)\n--\n\n", fuzz_qratio},
    {"levenshtein_myers(a, b, /)\n--\n\n", levenshtein_myers},
    {"needleman_wunsch_striped(a, b, match_score, mismatch_score, gap_penalty, /)\n--\n\n",
     needleman_wunsch_striped},
    {"jaro_optimized(a, b, /)\n--\n\n", jaro_optimized},
    {"set_cpu_only(cpu_only, /)\n--\n\n", set_cpu_only},
    {"set_gpu_threshold(threshold=None)\n--\n\n", set_gpu_threshold},
    {"is_gpu_available()\n--\n\n", is_gpu_available},
    {"warmup()\n--\n\n", warmup},
    {"gpu_info()\n--\n\n", gpu_info},
    {"hardware_info()\n--\n\n", hardware_info},
};

// Appends name to the module's __all__ (created on first use) and sets the attribute.
void add_exported(PyObject* module, const char* name, PyObject* value) {
    PyRef all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw PythonError{};
        PyErr_Clear();
        all = PyRef(check(PyList_New(0)));
        if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) throw PythonError{};
    }
    if (!PyList_Check(all.get())) throw_error(PyExc_TypeError, "`__all__` must be a list");
    PyRef key(check(PyUnicode_FromString(name)));
    if (PyList_Append(all.get(), key.get()) < 0) throw PythonError{};
    if (PyObject_SetAttr(module, key.get(), value) < 0) throw PythonError{};
}

}  // namespace

int exec_module(PyObject* module) noexcept {
    try {
        if (!PyModule_Check(module)) throw_not_instance(module, "module");
        PyMethodDef* defs = method_defs<function_table>();
        PyRef module_name(check(PyModule_GetNameObject(module)));
        for (std::size_t i = 0; i < std::size(function_table); ++i) {
            PyRef function(check(PyCMethod_New(&defs[i], module, module_name.get(), nullptr)));
            add_exported(module, defs[i].ml_name, function.get());
        }
        PyRef version(check(PyUnicode_FromString("0.4.1")));
        add_exported(module, "__version__", version.get());
        return 0;
    } catch (...) {
        raise_current_exception();
        return -1;
    }
}

}  // namespace quillon::binding
