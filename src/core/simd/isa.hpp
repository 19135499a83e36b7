// The dispatch point of every multi-lane kernel: processor detection, the QUILLON_SIMD
// override, and the one table of kernel entries chosen from them. Each answer is computed once
// per process (once-cells); it depends only on the processor and the environment, so a forked
// child may keep it.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "band.hpp"
#include "kernels.hpp"
#include "needleman.hpp"
#include "packed.hpp"
#include "packed_jaro.hpp"
#include "packed_lcs.hpp"
#include "partial.hpp"

namespace quillon::simd {

// QUILLON_SIMD when it is exactly "portable", "neon", "avx2" or "avx512"; otherwise none.
std::optional<std::string_view> simd_isa_override() noexcept;

// CPUID/XGETBV: the processor and the operating system allow AVX2.
bool avx2_available() noexcept;

// CPUID/XGETBV: AVX-512 Foundation (with FMA, F16C and the opmask/ZMM state) may be used.
bool avx512_available() noexcept;

// avx512_available() and AVX-512 Byte and Word, which the narrow-lane kernels need.
bool avx512bw_available() noexcept;

// The most texts any group entry takes.
inline constexpr std::size_t max_width = 8;

// The kernel entries for this process. QUILLON_SIMD fixes the group width ("avx512" 8, "avx2"
// 4, "neon" 2, "portable" 1; unset, the widest this processor runs), and each entry is the
// best one for that width among those the processor can run: "avx512" without AVX-512 gets
// two AVX2 groups of four per group, without AVX2 the portable lane loops.
struct Kernels {
    // Texts per group of the 64-bit lane kernels: 1, 2, 4 or 8.
    std::size_t width;
    // Groups of `width` texts; null for widths 1 and 2, where callers run their one-text
    // kernel text by text.
    MyersGroup levenshtein_group;
    JaroGroup jaro_group;
    // Narrow-lane blocks (simd/packed.hpp, simd/packed_jaro.hpp): AVX-512BW, else AVX2, capped
    // by the override; null under "portable" and "neon" or without AVX2, where the plain lane
    // loops would lose to the one-text kernels.
    packed::Kernel levenshtein_lanes;
    packed::JaroKernel jaro_lanes;
    // The single-pair routes' decoder of short accented texts, by the same choice: a byte
    // shuffle with AVX2, else the portable decode_latin1_16 (never null).
    Latin1Decoder latin1_16;
    // The narrow-lane LCS blocks of the ratio drivers (simd/packed_lcs.hpp), chosen as the
    // narrow-lane entries above.
    packed::LcsKernel lcs_lanes;
    // The partial ratio's window sweep and seaweed comb, by the same choice (portable without
    // AVX2; never null).
    partial::Entries partial;
    // Needleman-Wunsch in 16- and 32-bit lanes, by the narrow lanes' choice but never null:
    // the plain lane loops still beat the saturating 64-bit rows.
    const nw::Table* needleman = nullptr;
    // Wide Levenshtein bands (simd/band.hpp), by the groups' instruction set: AVX-512 for
    // eight-text groups on AVX-512, AVX2 for AVX2 groups, else null (the driver's word loop).
    BandKernel band_pass = nullptr;
};

const Kernels& kernels() noexcept;

// kernels().width: one value for every multi-lane driver.
std::size_t jaro_simd_width() noexcept;

}  // namespace quillon::simd
