// The Jaro-Winkler batch and cross-product drivers: the multi-lane Jaro kernels for short ASCII
// batches, jaro_winkler pair by pair otherwise, on the worker pool.
#include <algorithm>
#include <vector>

#include "jaro.hpp"
#include "jaro_packed.hpp"
#include "pool.hpp"
#include "simd/isa.hpp"

namespace quillon {

namespace {

constexpr std::size_t chunk_entries = 4096;

}  // namespace

std::vector<double> jaro_winkler_batch(TextSlice query, std::span<const TextSlice> candidates,
                                       double p) {
    if (const simd::packed::JaroKernel kernel = simd::kernels().jaro_lanes) {
        std::vector<double> out(candidates.size());
        if (jaro_winkler_batch_packed(query, candidates, p, out.data(), kernel)) return out;
    }
    const double pc = clamp_prefix_scale(p);
    auto short_ascii = [](TextSlice t) { return !t.empty() && t.size <= 64 && is_ascii(t); };
    const bool lanes = short_ascii(query) && std::ranges::all_of(candidates, short_ascii);
    const std::size_t n = candidates.size();
    if (!lanes) {
        return pool::map(
            n, [&](std::size_t i) { return jaro_winkler(query, candidates[i], pc); },
            pool::min_pairs_per_piece);
    }
    const simd::Kernels& kernels = simd::kernels();
    std::vector<double> out(n);
    pool::for_each_chunk(n, chunk_entries, [&](std::size_t, std::size_t begin, std::size_t end) {
        std::size_t pos = begin;
        const std::size_t width = kernels.width;
        for (; kernels.jaro_group != nullptr && pos + width <= end; pos += width) {
            kernels.jaro_group(query, candidates.data() + pos, out.data() + pos);
            for (std::size_t k = pos; k < pos + width; ++k) {
                const TextSlice c = candidates[k];
                out[k] = winkler_boost(
                    out[k], winkler_prefix(query.bytes(), query.size, c.bytes(), c.size), pc);
            }
        }
        // The tail, and every candidate without a group entry.
        for (; pos < end; ++pos) out[pos] = jaro_winkler(query, candidates[pos], pc);
    });
    return out;
}

void jaro_winkler_cross_product_into(std::span<const TextSlice> list_a,
                                     std::span<const TextSlice> list_b, double p,
                                     double* const* rows) {
    if (list_a.empty() || list_b.empty()) return;
    if (const simd::packed::JaroKernel kernel = simd::kernels().jaro_lanes) {
        return jaro_winkler_cross_packed(list_a, list_b, p, kernel, rows);
    }
    pool::for_each(
        list_a.size(),
        [&](std::size_t i) {
            for (std::size_t j = 0; j < list_b.size(); ++j)
                rows[i][j] = jaro_winkler(list_a[i], list_b[j], p);
        },
        pool::rows_per_piece(list_b.size()));
}

SimilarityMatrix jaro_winkler_cross_product(std::span<const TextSlice> list_a,
                                            std::span<const TextSlice> list_b, double p) {
    if (list_a.empty() || list_b.empty()) return {};
    SimilarityMatrix matrix(list_a.size(), std::vector<double>(list_b.size()));
    std::vector<double*> rows(matrix.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = matrix[i].data();
    jaro_winkler_cross_product_into(list_a, list_b, p, rows.data());
    return matrix;
}

}  // namespace quillon
