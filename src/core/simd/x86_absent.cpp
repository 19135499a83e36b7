// Builds for processors other than x86-64 compile no AVX2 or AVX-512 objects. Detection reports
// neither there, so no route selects these entries; they exist so that the kernel table and the
// test extension link unchanged, and each runs its family's portable kernel.
#if defined(__x86_64__) || defined(_M_X64)
#error "x86_absent.cpp stands in for the x86 kernels on other processors only"
#endif

#include "kernels.hpp"
#include "needleman.hpp"
#include "packed.hpp"
#include "packed_jaro.hpp"
#include "packed_lcs.hpp"
#include "partial.hpp"

namespace quillon::simd {

void levenshtein_myers_4way_avx2(const MyersPattern& pattern, const TextSlice* texts,
                                 std::uint32_t* out) noexcept {
    levenshtein_myers_4way_portable(pattern, texts, out);
}
void levenshtein_myers_8way_avx2(const MyersPattern& pattern, const TextSlice* texts,
                                 std::uint32_t* out) noexcept {
    levenshtein_myers_8way_portable(pattern, texts, out);
}
void levenshtein_myers_8way_avx512(const MyersPattern& pattern, const TextSlice* texts,
                                   std::uint32_t* out) noexcept {
    levenshtein_myers_8way_portable(pattern, texts, out);
}
void jaro_4way_avx2(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    jaro_4way_portable(query, candidates, out);
}
void jaro_8way_avx2(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    jaro_8way_portable(query, candidates, out);
}
void jaro_8way_avx512(TextSlice query, const TextSlice* candidates, double* out) noexcept {
    jaro_8way_portable(query, candidates, out);
}
bool decode_latin1_16_avx2(Bytes16 x, std::size_t n, Bytes16& out, std::size_t& count) noexcept {
    return decode_latin1_16(x, n, out, count);
}

namespace packed {

void myers_block_avx2(const Query& query, BlockView block, std::uint32_t* out) noexcept {
    myers_block_portable(query, block, out);
}
void myers_block_avx512(const Query& query, BlockView block, std::uint32_t* out) noexcept {
    myers_block_portable(query, block, out);
}
void jaro_block_avx2(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept {
    jaro_block_portable(query, block, out);
}
void jaro_block_avx512(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept {
    jaro_block_portable(query, block, out);
}
void lcs_block_avx2(const Query& query, LcsBlock block, std::uint8_t* out) noexcept {
    lcs_block_portable(query, block, out);
}
void lcs_block_avx512(const Query& query, LcsBlock block, std::uint8_t* out) noexcept {
    lcs_block_portable(query, block, out);
}

}  // namespace packed

namespace nw {

const Table table_avx2 = table_portable;
const Table table_avx512 = table_portable;

}  // namespace nw

namespace partial {

std::uint64_t byte_masks16_avx2(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                                std::size_t lb, std::uint16_t* out) noexcept {
    return byte_masks16_portable(a, la, b, lb, out);
}
std::uint64_t byte_masks16_avx512(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                                  std::size_t lb, std::uint16_t* out) noexcept {
    return byte_masks16_portable(a, la, b, lb, out);
}
void windows_avx2(const void* masks, std::size_t a, std::size_t b, std::size_t c,
                  std::uint8_t* out) noexcept {
    windows_portable(masks, a, b, c, out);
}
void windows_avx512(const void* masks, std::size_t a, std::size_t b, std::size_t c,
                    std::uint8_t* out) noexcept {
    windows_portable(masks, a, b, c, out);
}
void comb16_avx2(const std::uint16_t* a, std::size_t la, const std::uint16_t* b, std::size_t lb,
                 std::uint16_t* h, std::uint16_t* v) noexcept {
    comb16_portable(a, la, b, lb, h, v);
}
void comb16_avx512(const std::uint16_t* a, std::size_t la, const std::uint16_t* b, std::size_t lb,
                   std::uint16_t* h, std::uint16_t* v) noexcept {
    comb16_portable(a, la, b, lb, h, v);
}
void comb32_avx2(const std::uint32_t* a, std::size_t la, const std::uint32_t* b, std::size_t lb,
                 std::uint32_t* h, std::uint32_t* v) noexcept {
    comb32_portable(a, la, b, lb, h, v);
}
void comb32_avx512(const std::uint32_t* a, std::size_t la, const std::uint32_t* b, std::size_t lb,
                   std::uint32_t* h, std::uint32_t* v) noexcept {
    comb32_portable(a, la, b, lb, h, v);
}

}  // namespace partial

}  // namespace quillon::simd
