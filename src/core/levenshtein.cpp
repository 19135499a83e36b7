// Levenshtein distance over scalar values, and the dispatch between byte and scalar routes.
#include "levenshtein.hpp"

#include <algorithm>
#include <limits>
#include <vector>

#include "bitpar.hpp"
#include "pool.hpp"
#include "simd/isa.hpp"
#include "simd/kernels.hpp"
#include "simd/myers.hpp"

namespace quillon {

namespace {

constexpr std::uint32_t u32_max = std::numeric_limits<std::uint32_t>::max();

std::uint32_t inc(std::uint32_t v) noexcept { return v == u32_max ? v : v + 1; }

constexpr std::size_t chunk_entries = 4096;

bool fits_one_word(TextSlice query) {
    return !query.empty() && query.size <= 64 && is_ascii(query);
}

// Distances of one pattern against count consecutive texts, text(k) giving the k-th: groups
// of `width` through levenshtein_myers_width, the tail one by one.
template <class TextAt>
void myers_run(const simd::MyersPattern& pattern, std::size_t width, std::size_t count, TextAt text,
               std::uint32_t* out) {
    TextSlice group[8];
    std::size_t pos = 0;
    for (; pos + width <= count; pos += width) {
        for (std::size_t k = 0; k < width; ++k) group[k] = text(pos + k);
        simd::levenshtein_myers_width(pattern, group, width, out + pos);
    }
    for (; pos < count; ++pos) out[pos] = simd::levenshtein_myers_single(pattern, text(pos));
}

}  // namespace

std::uint32_t levenshtein_distance_raw(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return simd::levenshtein_myers(a, b);
    return levenshtein_scalars(decode_utf8(a), decode_utf8(b));
}

std::uint32_t levenshtein_scalars(const Scalars& a, const Scalars& b) {
    // Saturating every cell at 2^32 - 1 gives min(distance, 2^32 - 1), so capping the exact
    // bit-parallel result is the same thing.
    return bitpar::saturate_u32(bitpar::levenshtein(a.data(), a.size(), b.data(), b.size()));
}

namespace {

// The batch over n pairs given by first(i) and second(i): Myers lanes when every first text
// is the same short ASCII query and every second text is ASCII, else the general distance.
template <class First, class Second>
std::vector<std::uint32_t> batch(std::size_t n, First first, Second second) {
    bool myers = n >= 1 && fits_one_word(first(0));
    for (std::size_t i = 0; myers && i < n; ++i)
        myers = first(i) == first(0) && is_ascii(second(i));
    if (!myers) {
        return pool::map(
            n, [&](std::size_t i) { return levenshtein_distance_raw(first(i), second(i)); },
            pool::min_pairs_per_piece);
    }
    const simd::MyersPattern pattern = simd::MyersPattern::build(first(0));
    const std::size_t width = simd::jaro_simd_width();
    std::vector<std::uint32_t> out(n, 0);
    pool::for_each_chunk(n, chunk_entries, [&](std::size_t, std::size_t begin, std::size_t end) {
        myers_run(
            pattern, width, end - begin, [&](std::size_t k) { return second(begin + k); },
            out.data() + begin);
    });
    return out;
}

}  // namespace

std::vector<std::uint32_t> levenshtein_batch_auto(std::span<const TextPair> pairs) {
    return batch(
        pairs.size(), [&](std::size_t i) { return pairs[i].a; },
        [&](std::size_t i) { return pairs[i].b; });
}

std::vector<std::uint32_t> levenshtein_query_batch(TextSlice query,
                                                   std::span<const TextSlice> candidates) {
    return batch(
        candidates.size(), [&](std::size_t) { return query; },
        [&](std::size_t i) { return candidates[i]; });
}

BatchOutcome LevenshteinKernel::compute(std::span<const TextPair> pairs) {
    return BatchOutcome{levenshtein_batch_auto(pairs), std::nullopt};
}

DistanceMatrix levenshtein_cdist_cpu(std::span<const TextSlice> list_a,
                                     std::span<const TextSlice> list_b) {
    if (list_a.empty() || list_b.empty()) return {};
    // Each row chooses its own route; list_b's part of that choice is the same for every row.
    bool list_b_ascii = true;
    for (const TextSlice& b : list_b) list_b_ascii = list_b_ascii && is_ascii(b);
    return pool::map(
        list_a.size(),
        [&](std::size_t i) {
            const TextSlice a = list_a[i];
            const std::size_t m = list_b.size();
            std::vector<std::uint32_t> row(m, 0);
            if (list_b_ascii && fits_one_word(a)) {
                const simd::MyersPattern pattern = simd::MyersPattern::build(a);
                myers_run(
                    pattern, simd::jaro_simd_width(), m, [&](std::size_t k) { return list_b[k]; },
                    row.data());
            } else {
                for (std::size_t j = 0; j < m; ++j) row[j] = levenshtein_distance_raw(a, list_b[j]);
            }
            return row;
        },
        pool::rows_per_piece(list_b.size()));
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
