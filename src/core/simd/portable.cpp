// The multi-lane Myers family on plain 64-bit integers: the portable four- and eight-lane
// kernels and the reference for every instruction set. Baseline flags.
#include "kernels.hpp"

#define QUILLON_ISA portable
#include "lanes_portable.hpp"
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

}  // namespace quillon::simd
