// Partial-ratio kernels: the distances of a short needle to every full window of a haystack, one
// lane per window, and the seaweed comb that gives a long needle's LCS against every window of
// the haystack at once. Entries per instruction set; the drivers live in core/fuzz/partial.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon::simd::partial {

// Zero masks the caller places after the last haystack mask: a sweep reads whole blocks of
// windows, the last one past the final start.
inline constexpr std::size_t mask_padding_bytes = 128;

// out[f] = the indel distance of a needle of n units (1 to 64) to the haystack window of n units
// at f, for f = 0 .. starts - 1. masks[p] is the needle's position mask of haystack unit p, in
// lanes of lane_bytes (2 for n <= 16, 4 for n <= 32, else 8), followed by mask_padding_bytes of
// zeros; out has room for starts + 64 bytes.
using WindowSweep = void (*)(const void* masks, std::size_t lane_bytes, std::size_t n,
                             std::size_t starts, std::uint8_t* out) noexcept;

// out[p] = the position mask of haystack byte p in a needle of n bytes (1 to 16): bit k set when
// needle[k] equals it, for p = 0 .. h - 1; returns the union of the masks. One compare per needle
// byte and register of haystack bytes, where a table costs a look-up and a store per byte.
using ByteMasks16 = std::uint64_t (*)(const std::uint8_t* needle, std::size_t n,
                                      const std::uint8_t* haystack, std::size_t h,
                                      std::uint16_t* out) noexcept;

// Seaweed combing of an m x h grid (m >= 1 needle units down, h >= 1 haystack units across),
// anti-diagonal by anti-diagonal. rows[i] holds the seaweed leaving row i to the right and
// columns[h - 1 - j] the one leaving column j at the bottom (columns and the haystack are stored
// reversed, so that both run forwards along an anti-diagonal). The caller labels them: rows[i] =
// m - 1 - i, columns[h - 1 - j] = m + j, all labels below 2^16 (2^32). In each cell the two
// seaweeds swap places when the units match or when they have crossed before (the one from the
// left has the larger label). Units are compared for equality only.
using Comb16 = void (*)(const std::uint16_t* needle, std::size_t m,
                        const std::uint16_t* haystack_reversed, std::size_t h, std::uint16_t* rows,
                        std::uint16_t* columns) noexcept;
using Comb32 = void (*)(const std::uint32_t* needle, std::size_t m,
                        const std::uint32_t* haystack_reversed, std::size_t h, std::uint32_t* rows,
                        std::uint32_t* columns) noexcept;

struct Entries {
    ByteMasks16 byte_masks16;
    WindowSweep windows;
    Comb16 comb16;
    Comb32 comb32;
};

std::uint64_t byte_masks16_portable(const std::uint8_t*, std::size_t, const std::uint8_t*,
                                    std::size_t, std::uint16_t*) noexcept;
void windows_portable(const void*, std::size_t, std::size_t, std::size_t, std::uint8_t*) noexcept;
void comb16_portable(const std::uint16_t*, std::size_t, const std::uint16_t*, std::size_t,
                     std::uint16_t*, std::uint16_t*) noexcept;
void comb32_portable(const std::uint32_t*, std::size_t, const std::uint32_t*, std::size_t,
                     std::uint32_t*, std::uint32_t*) noexcept;
// Require avx2_available().
std::uint64_t byte_masks16_avx2(const std::uint8_t*, std::size_t, const std::uint8_t*, std::size_t,
                                std::uint16_t*) noexcept;
void windows_avx2(const void*, std::size_t, std::size_t, std::size_t, std::uint8_t*) noexcept;
void comb16_avx2(const std::uint16_t*, std::size_t, const std::uint16_t*, std::size_t,
                 std::uint16_t*, std::uint16_t*) noexcept;
void comb32_avx2(const std::uint32_t*, std::size_t, const std::uint32_t*, std::size_t,
                 std::uint32_t*, std::uint32_t*) noexcept;
// Require avx512bw_available().
std::uint64_t byte_masks16_avx512(const std::uint8_t*, std::size_t, const std::uint8_t*,
                                  std::size_t, std::uint16_t*) noexcept;
void windows_avx512(const void*, std::size_t, std::size_t, std::size_t, std::uint8_t*) noexcept;
void comb16_avx512(const std::uint16_t*, std::size_t, const std::uint16_t*, std::size_t,
                   std::uint16_t*, std::uint16_t*) noexcept;
void comb32_avx512(const std::uint32_t*, std::size_t, const std::uint32_t*, std::size_t,
                   std::uint32_t*, std::uint32_t*) noexcept;

inline constexpr Entries portable_entries{byte_masks16_portable, windows_portable, comb16_portable,
                                          comb32_portable};
inline constexpr Entries avx2_entries{byte_masks16_avx2, windows_avx2, comb16_avx2, comb32_avx2};
inline constexpr Entries avx512_entries{byte_masks16_avx512, windows_avx512, comb16_avx512,
                                        comb32_avx512};

}  // namespace quillon::simd::partial
