// The multi-lane Myers and Jaro families on AVX2, four texts per group. Built with -mavx2 and
// nothing more, exactly what avx2_available() checks; no standard-library template is
// instantiated here.
#include "kernels.hpp"

#define QUILLON_ISA avx2
#include "lanes_avx2.hpp"
// Each family is a template over the lanes type above, so it comes after it.
#include "jaro.inl"
#include "myers.inl"

namespace quillon::simd::avx2 {

// For each set of kept bytes among eight, the byte-shuffle control that gathers them to the
// front (0x80, which gives a zero byte, after them) and their count.
struct CompactTable {
    std::uint64_t control[256];
    std::uint8_t count[256];
};

constexpr CompactTable make_compact_table() noexcept {
    CompactTable table{};
    for (unsigned keep = 0; keep < 256; ++keep) {
        std::uint64_t control = 0x8080808080808080ULL;
        unsigned kept = 0;
        for (unsigned j = 0; j < 8; ++j) {
            if ((keep >> j & 1) == 0) continue;
            control = (control & ~(std::uint64_t{0xFF} << (8 * kept))) | std::uint64_t{j}
                                                                             << (8 * kept);
            ++kept;
        }
        table.control[keep] = control;
        table.count[keep] = static_cast<std::uint8_t>(kept);
    }
    return table;
}

constexpr CompactTable compact_table = make_compact_table();

}  // namespace quillon::simd::avx2

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

bool decode_latin1_16_avx2(Bytes16 x, std::size_t n, Bytes16& out, std::size_t& count) noexcept {
    // The masks of the portable decoder, one bit per byte from the byte compares.
    const __m128i v = _mm_set_epi64x(static_cast<long long>(x >> 64), static_cast<long long>(x));
    const auto bits = [](__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); };
    const __m128i lead_bytes =
        _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xFE))),
                       _mm_set1_epi8(static_cast<char>(0xC2)));
    const unsigned above = bits(v), lead = bits(lead_bytes);
    const unsigned continuation =
        bits(_mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8(static_cast<char>(0xC0))),
                            _mm_set1_epi8(static_cast<char>(0x80))));
    // The zeros above n are ASCII, so only a lead byte last of all needs a look beyond x.
    const unsigned bad =
        (above ^ (continuation | lead)) | (continuation ^ ((lead << 1) & 0xFFFF)) | (lead >> 15);
    // A lead byte C2 or C3 takes the value of its pair: 0x80 | (c & 1) << 6 | (next & 0x3F).
    const __m128i pair =
        _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi8(1)), 6),
                                  _mm_set1_epi8(static_cast<char>(0x80))),
                     _mm_and_si128(_mm_srli_si128(v, 1), _mm_set1_epi8(0x3F)));
    const __m128i value = _mm_blendv_epi8(v, pair, lead_bytes);
    // Each half's kept bytes to its front; indices of the high half count from 8 (0x80 + 8
    // still gives a zero byte).
    const unsigned keep = ~continuation & 0xFFFF;
    const auto& table = avx2::compact_table;
    const __m128i control =
        _mm_set_epi64x(static_cast<long long>(table.control[keep >> 8] + 0x0808080808080808ULL),
                       static_cast<long long>(table.control[keep & 0xFF]));
    const __m128i packed = _mm_shuffle_epi8(value, control);
    const std::size_t low_count = table.count[keep & 0xFF];
    // Both halves end in zero bytes, the zeros above n among them, so the gathered value has
    // nothing beyond its count.
    out = Bytes16{static_cast<std::uint64_t>(_mm_cvtsi128_si64(packed))} |
          Bytes16{static_cast<std::uint64_t>(_mm_extract_epi64(packed, 1))} << (8 * low_count);
    count = low_count + table.count[keep >> 8] - (16 - n);
    return bad == 0;
}

}  // namespace quillon::simd
