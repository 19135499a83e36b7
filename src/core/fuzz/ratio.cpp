// Indel distance and the normalised ratio.
#include "ratio.hpp"

#include <algorithm>
#include <vector>

#include "../bitpar.hpp"
#include "common.hpp"

namespace quillon::fuzz {

namespace {

template <class Unit>
std::uint32_t indel_bitpar(std::span<const Unit> a, std::span<const Unit> b) {
    return static_cast<std::uint32_t>(bitpar::indel(a.data(), a.size(), b.data(), b.size()));
}

template <class Unit>
std::uint32_t indel_rows(std::span<const Unit> a, std::span<const Unit> b) {
    if (a.empty()) return static_cast<std::uint32_t>(b.size());
    if (b.empty()) return static_cast<std::uint32_t>(a.size());
    if (std::ranges::equal(a, b)) return 0;
    std::vector<std::uint32_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<std::uint32_t>(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::uint32_t diag = row[0];
        row[0] = static_cast<std::uint32_t>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::uint32_t up = row[j];
            const std::uint32_t cost = a[i - 1] == b[j - 1] ? 0 : 2;
            row[j] = std::min({row[j - 1] + 1, up + 1, diag + cost});
            diag = up;
        }
    }
    return row[b.size()];
}

double score_of(std::uint64_t distance, std::uint64_t total, double score_cutoff) {
    if (total == 0) return score_cutoff <= 100.0 ? 100.0 : 0.0;
    const double r = indel_ratio(distance, total);
    return score_cutoff <= r ? r : 0.0;
}

}  // namespace

std::uint32_t indel_distance_slice(std::span<const std::uint8_t> a,
                                   std::span<const std::uint8_t> b) {
    return indel_bitpar(a, b);
}

std::uint32_t indel_distance_slice(std::span<const std::uint32_t> a,
                                   std::span<const std::uint32_t> b) {
    return indel_bitpar(a, b);
}

std::uint32_t indel_distance_rows(std::span<const std::uint8_t> a,
                                  std::span<const std::uint8_t> b) {
    return indel_rows(a, b);
}

std::uint32_t indel_distance_rows(std::span<const std::uint32_t> a,
                                  std::span<const std::uint32_t> b) {
    return indel_rows(a, b);
}

std::uint32_t indel_distance(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) {
        return indel_distance_slice(std::span(a.bytes(), a.size), std::span(b.bytes(), b.size));
    }
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return indel_distance_slice(std::span<const std::uint32_t>(sa),
                                std::span<const std::uint32_t>(sb));
}

double ratio_with_cutoff(TextSlice a, TextSlice b, double score_cutoff) {
    if (is_ascii(a) && is_ascii(b)) {
        const std::uint32_t d =
            indel_distance_slice(std::span(a.bytes(), a.size), std::span(b.bytes(), b.size));
        return score_of(d, a.size + b.size, score_cutoff);
    }
    // Decode once: the character lengths are the lengths of the scalar sequences.
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    const std::uint32_t d = indel_distance_slice(std::span<const std::uint32_t>(sa),
                                                 std::span<const std::uint32_t>(sb));
    return score_of(d, sa.size() + sb.size(), score_cutoff);
}

double qratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (a.empty() || b.empty()) return 0.0;
    return ratio_with_cutoff(a, b, score_cutoff);
}

}  // namespace quillon::fuzz
