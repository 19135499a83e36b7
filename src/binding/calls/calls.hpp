// Bodies of the exported functions, one file per family. Each converts its arguments through
// Args in parameter order, runs one core operation without the lock, and builds the result.
#pragma once

#include "../args.hpp"

namespace quillon::binding {

// levenshtein.cpp
PyObject* levenshtein_distance(Args& args);
PyObject* levenshtein_batch(Args& args);
PyObject* levenshtein_batch_into(Args& args);
PyObject* levenshtein_cdist(Args& args);
PyObject* levenshtein_cdist_into(Args& args);
PyObject* levenshtein_myers(Args& args);

// damerau.cpp
PyObject* damerau_levenshtein_distance(Args& args);
PyObject* damerau_levenshtein_batch(Args& args);
PyObject* damerau_levenshtein_batch_into(Args& args);
PyObject* damerau_levenshtein_cdist(Args& args);
PyObject* damerau_levenshtein_cdist_into(Args& args);
PyObject* damerau_ratio(Args& args);

// needleman.cpp
PyObject* needleman_wunsch_score(Args& args);
PyObject* needleman_wunsch_batch_fn(Args& args);
PyObject* needleman_wunsch_affine(Args& args);
PyObject* needleman_wunsch_affine_batch(Args& args);
PyObject* needleman_wunsch_striped(Args& args);

// jaro.cpp
PyObject* jaro_similarity(Args& args);
PyObject* jaro_winkler_similarity(Args& args);
PyObject* jaro_winkler_batch_fn(Args& args);
PyObject* jaro_winkler_batch_into(Args& args);
PyObject* jaro_winkler_cdist(Args& args);
PyObject* jaro_winkler_cdist_into(Args& args);
PyObject* jaro_optimized(Args& args);

// fuzz.cpp
PyObject* fuzz_ratio(Args& args);
PyObject* fuzz_token_sort_ratio(Args& args);
PyObject* fuzz_token_set_ratio(Args& args);
PyObject* fuzz_token_ratio(Args& args);
PyObject* fuzz_wratio(Args& args);
PyObject* fuzz_partial_token_sort_ratio(Args& args);
PyObject* fuzz_partial_token_set_ratio(Args& args);
PyObject* fuzz_partial_token_ratio(Args& args);
PyObject* fuzz_qratio(Args& args);
PyObject* fuzz_partial_ratio(Args& args);
PyObject* fuzz_partial_ratio_alignment(Args& args);
PyObject* fuzz_ratio_batch(Args& args);
PyObject* fuzz_extract(Args& args);
PyObject* fuzz_extract_one(Args& args);

// hardware.cpp
PyObject* set_cpu_only(Args& args);
PyObject* set_gpu_threshold(Args& args);
PyObject* is_gpu_available();
PyObject* warmup();
PyObject* gpu_info();
PyObject* hardware_info();

}  // namespace quillon::binding
