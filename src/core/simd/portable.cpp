// The multi-lane Myers and Jaro families on plain 64-bit integers: the portable four- and
// eight-lane kernels and the reference for every instruction set. Baseline flags.
#include "kernels.hpp"

#define QUILLON_ISA portable
#include "lanes_portable.hpp"
// Each family is a template over the lanes type above, so it comes after it.
#include "jaro.inl"
#include "myers.inl"

namespace quillon::simd {

void levenshtein_myers_4way_portable(const MyersPattern& pattern, const TextSlice* texts,
                                     std::uint32_t* out) noexcept {
    portable::myers_group<portable::Scalar<4>>(pattern, texts, out);
}

void levenshtein_myers_8way_portable(const MyersPattern& pattern, const TextSlice* texts,
                                     std::uint32_t* out) noexcept {
    portable::myers_group<portable::Scalar<8>>(pattern, texts, out);
}

void jaro_4way_portable(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    portable::jaro_group<portable::Scalar<4>>(query, candidates, out);
}

void jaro_8way_portable(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    portable::jaro_group<portable::Scalar<8>>(query, candidates, out);
}

}  // namespace quillon::simd
