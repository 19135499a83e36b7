// The multi-lane Myers and Jaro families on AVX-512 Foundation, eight texts per call. Built
// with -mavx512f -mavx2 -mfma -mf16c, each checked by avx512_available(); no standard-library
// template is instantiated here.
#include "kernels.hpp"

#define QUILLON_ISA avx512
#include "lanes_avx512.hpp"
// Each family is a template over the lanes type above, so it comes after it.
#include "jaro.inl"
#include "myers.inl"

namespace quillon::simd {

void levenshtein_myers_8way_avx512(const MyersPattern& pattern, const TextSlice* texts,
                                   std::uint32_t* out) noexcept {
    avx512::myers_group<avx512::Avx512x8>(pattern, texts, out);
}

void jaro_8way_avx512(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    avx512::jaro_group<avx512::Avx512x8>(query, candidates, out);
}

}  // namespace quillon::simd
