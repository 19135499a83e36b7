// Every multi-lane kernel entry. The instruction set is in the name, never in the signature:
// callers see plain structs and pointers, and only isa.cpp decides what may run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../text.hpp"

namespace quillon::simd {

// A query's position masks for Myers' single-word kernel, built once and shared read-only.
struct MyersPattern {
    std::uint64_t peq[256];  // bit k of peq[c]: byte k of the pattern is c
    std::uint64_t len;       // 1 to 64
    std::uint64_t mask;      // the low len bits
    std::uint64_t last;      // 1 << (len - 1)

    // Precondition: 1 to 64 ASCII bytes; otherwise throws InternalError
    // "MyersPattern: pattern must be non-empty ASCII ≤ 64 bytes (got N bytes, ascii=B)".
    static MyersPattern build(TextSlice pattern);
};

// The single-text kernel: distance of the pattern against one ASCII text.
std::uint32_t levenshtein_myers_single(const MyersPattern& pattern, TextSlice text) noexcept;

// Distances of the pattern against n ASCII texts, out[k] for texts[k]: groups of 4 and 8 go to
// the multi-lane kernels (8 lanes only with AVX-512, else two groups of 4), any other count
// to the single-text kernel text by text.
void levenshtein_myers_width(const MyersPattern& pattern, const TextSlice* texts, std::size_t n,
                             std::uint32_t* out) noexcept;

// Four texts: the AVX2 kernel when avx2_available(), else the portable four-lane loop.
void levenshtein_myers_4way_pat(const MyersPattern& pattern, const TextSlice* texts,
                                std::uint32_t* out) noexcept;

// The portable lane loops (the reference for every instruction set).
void levenshtein_myers_4way_portable(const MyersPattern& pattern, const TextSlice* texts,
                                     std::uint32_t* out) noexcept;
void levenshtein_myers_8way_portable(const MyersPattern& pattern, const TextSlice* texts,
                                     std::uint32_t* out) noexcept;

// Require avx2_available() / avx512_available() respectively.
void levenshtein_myers_4way_avx2(const MyersPattern& pattern, const TextSlice* texts,
                                 std::uint32_t* out) noexcept;
void levenshtein_myers_8way_avx512(const MyersPattern& pattern, const TextSlice* texts,
                                   std::uint32_t* out) noexcept;

// Jaro similarity of two ASCII texts of at most 64 bytes with bit masks instead of flag
// arrays; bit-identical to the scalar kernel. Throws InternalError "jaro_bitpar: inputs must be
// ASCII ≤ 64 bytes (got a=N bytes ascii=B, b=N bytes ascii=B)" on other input.
double jaro_bitpar(TextSlice a, TextSlice b);

// The query against 4 candidates: the AVX2 kernel when avx2_available(), else jaro_bitpar per
// candidate. Throws InternalError "jaro_4way: first argument must be ASCII ≤ 64 bytes (got N
// bytes, ascii=B)" for a query outside that; the candidates are not checked.
void jaro_4way(TextSlice query, const TextSlice* candidates, double* out);

// Jaro of the query against n candidates, out[k] for candidates[k]: groups of 4 and 8 go to
// the multi-lane kernels (8 only with AVX-512, else two groups of 4), other counts to
// jaro_bitpar one by one.
void jaro_width(TextSlice query, const TextSlice* candidates, std::size_t n, double* out);

// The multi-lane kernels. Preconditions (unchecked): query and every candidate non-empty,
// ASCII, at most 64 bytes. The portable ones are the reference for every instruction set.
void jaro_4way_portable(TextSlice query, const TextSlice* candidates, double* out) noexcept;
void jaro_8way_portable(TextSlice query, const TextSlice* candidates, double* out) noexcept;
void jaro_4way_avx2(TextSlice query, const TextSlice* candidates, double* out) noexcept;
void jaro_8way_avx512(TextSlice query, const TextSlice* candidates, double* out) noexcept;

}  // namespace quillon::simd
