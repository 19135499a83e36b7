// The multi-lane Myers and Jaro families on AVX2, four texts per group. Built with -mavx2 and
// nothing more, exactly what avx2_available() checks; no standard-library template is
// instantiated here.
#include "kernels.hpp"

#define QUILLON_ISA avx2
#include "lanes_avx2.hpp"
// Each family is a template over the lanes type above, so it comes after it.
#include "jaro.inl"
#include "myers.inl"

namespace quillon::simd {

void levenshtein_myers_4way_avx2(const MyersPattern& pattern, const TextSlice* texts,
                                 std::uint32_t* out) noexcept {
    avx2::myers_group<avx2::Avx2x4>(pattern, texts, out);
}

void levenshtein_myers_8way_avx2(const MyersPattern& pattern, const TextSlice* texts,
                                 std::uint32_t* out) noexcept {
    avx2::myers_group<avx2::Avx2x4>(pattern, texts, out);
    avx2::myers_group<avx2::Avx2x4>(pattern, texts + 4, out + 4);
}

void jaro_4way_avx2(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    avx2::jaro_group<avx2::Avx2x4>(query, candidates, out);
}

void jaro_8way_avx2(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    avx2::jaro_group<avx2::Avx2x4>(query, candidates, out);
    avx2::jaro_group<avx2::Avx2x4>(query, candidates + 4, out + 4);
}

}  // namespace quillon::simd
