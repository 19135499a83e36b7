// Levenshtein distance of one pair: the dispatch between byte and scalar routes, and the
// scalar routes.
#include "levenshtein.hpp"

#include <algorithm>
#include <limits>
#include <vector>

#include "bitpar.hpp"
#include "simd/myers.hpp"

namespace quillon {

namespace {

constexpr std::uint32_t u32_max = std::numeric_limits<std::uint32_t>::max();

std::uint32_t inc(std::uint32_t v) noexcept { return v == u32_max ? v : v + 1; }

}  // namespace

std::uint32_t levenshtein_utf8(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return simd::levenshtein_myers(a, b);
    return levenshtein_scalars(decode_utf8(a), decode_utf8(b));
}

std::uint32_t levenshtein_scalars(const Scalars& a, const Scalars& b) {
    // Saturating every cell at 2^32 - 1 gives min(distance, 2^32 - 1), so capping the exact
    // bit-parallel result is the same thing.
    return bitpar::saturate_u32(bitpar::levenshtein(a.data(), a.size(), b.data(), b.size()));
}

std::uint32_t levenshtein_rows_scalars(const Scalars& a, const Scalars& b) {
    if (a.empty()) return bitpar::saturate_u32(b.size());
    if (b.empty()) return bitpar::saturate_u32(a.size());
    if (a == b) return 0;
    std::vector<std::uint32_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = bitpar::saturate_u32(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::uint32_t diag = row[0];
        row[0] = bitpar::saturate_u32(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::uint32_t up = row[j];
            const std::uint32_t sub = a[i - 1] == b[j - 1] ? diag : inc(diag);
            row[j] = std::min({inc(row[j - 1]), inc(up), sub});
            diag = up;
        }
    }
    return row[b.size()];
}

}  // namespace quillon
