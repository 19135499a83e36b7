// The dispatch point of every multi-lane kernel: processor detection, the QUILLON_SIMD
// override and the lane width. Each answer is computed once per process (once-cells).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace quillon::simd {

// QUILLON_SIMD when it is exactly "portable", "neon", "avx2" or "avx512"; otherwise none.
std::optional<std::string_view> simd_isa_override() noexcept;

// CPUID/XGETBV: the processor and the operating system allow AVX2.
bool avx2_available() noexcept;

// CPUID/XGETBV: AVX-512 Foundation (with FMA, F16C and the opmask/ZMM state) may be used.
bool avx512_available() noexcept;

// Candidates per kernel call (1, 2, 4 or 8), one value for every multi-lane driver.
std::size_t jaro_simd_width() noexcept;

}  // namespace quillon::simd
