// Helpers shared by the kernel families, defined inside the instruction-set namespace. Included
// by the .inl files; once per translation unit, which opens exactly one QUILLON_ISA.
#pragma once

#include <cstdint>

#include "kernels.hpp"

namespace quillon::simd::QUILLON_ISA {

// TextSlice::bytes() without calling it: at -O0 that inline member would be emitted here, built
// for this instruction set, as a weak symbol the linker may also hand to baseline callers.
inline const std::uint8_t* bytes_of(TextSlice text) noexcept {
    return reinterpret_cast<const std::uint8_t*>(text.data);
}

}  // namespace quillon::simd::QUILLON_ISA
