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
    // Defined with the single-text kernel in levenshtein.cpp.
    static MyersPattern build(TextSlice pattern);
};

// A group entry takes exactly as many texts as its name says and writes one result per text,
// in order. Myers texts are ASCII of any length; Jaro query and candidates are 1 to 64 ASCII
// bytes. Preconditions are unchecked.
using MyersGroup = void (*)(const MyersPattern& pattern, const TextSlice* texts,
                            std::uint32_t* out) noexcept;
using JaroGroup = void (*)(TextSlice query, const TextSlice* candidates, double* out) noexcept;

// The portable lane loops: the reference for every instruction set.
void levenshtein_myers_4way_portable(const MyersPattern& pattern, const TextSlice* texts,
                                     std::uint32_t* out) noexcept;
void levenshtein_myers_8way_portable(const MyersPattern& pattern, const TextSlice* texts,
                                     std::uint32_t* out) noexcept;
void jaro_4way_portable(TextSlice query, const TextSlice* candidates, double* out) noexcept;
void jaro_8way_portable(TextSlice query, const TextSlice* candidates, double* out) noexcept;

// Require avx2_available(); the 8-way ones run two groups of four, for an eight-text width on
// a processor without AVX-512.
void levenshtein_myers_4way_avx2(const MyersPattern& pattern, const TextSlice* texts,
                                 std::uint32_t* out) noexcept;
void levenshtein_myers_8way_avx2(const MyersPattern& pattern, const TextSlice* texts,
                                 std::uint32_t* out) noexcept;
void jaro_4way_avx2(TextSlice query, const TextSlice* candidates, double* out) noexcept;
void jaro_8way_avx2(TextSlice query, const TextSlice* candidates, double* out) noexcept;

// The Latin-1 values of up to 16 bytes of UTF-8 in registers, under decode_latin1_16's
// contract (text.hpp): the portable one is that function, this one gathers the kept bytes with
// one byte shuffle. Requires avx2_available().
using Latin1Decoder = bool (*)(Bytes16 x, std::size_t n, Bytes16& out, std::size_t& count) noexcept;
bool decode_latin1_16_avx2(Bytes16 x, std::size_t n, Bytes16& out, std::size_t& count) noexcept;

// Require avx512_available().
void levenshtein_myers_8way_avx512(const MyersPattern& pattern, const TextSlice* texts,
                                   std::uint32_t* out) noexcept;
void jaro_8way_avx512(TextSlice query, const TextSlice* candidates, double* out) noexcept;

}  // namespace quillon::simd
