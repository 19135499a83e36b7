// The Levenshtein batch and cross-product through the narrow-lane kernels.
#include "levenshtein_packed.hpp"

#include <memory>

#include "levenshtein.hpp"
#include "packed_texts.hpp"
#include "pool.hpp"

namespace quillon {

namespace packed = simd::packed;

namespace {

constexpr std::size_t chunk_entries = 4096;

}  // namespace

bool levenshtein_batch_packed(TextSlice query, std::span<const TextSlice> candidates,
                              std::uint32_t* out, packed::Kernel kernel) {
    if (!UnitTexts().add(query).fits || query.empty()) return false;
    // Each chunk maps its own texts, the query first, so no pass over the whole list runs on
    // one thread and each text is read while it is still in cache.
    pool::for_each_chunk(candidates.size(), chunk_entries,
                         [&](std::size_t, std::size_t begin, std::size_t end) {
                             UnitTexts texts;
                             const Units q = texts.add(query);
                             const packed::Query pattern(texts.data(q), q.size);
                             auto block = std::make_unique<BlockBuilder>();
                             std::uint32_t index[packed::lanes], distance[packed::lanes];
                             block->clear();
                             auto flush = [&] {
                                 kernel(pattern, block->view(), distance);
                                 for (std::size_t k = 0; k < block->count; ++k)
                                     out[index[k]] = distance[k];
                                 block->clear();
                             };
                             for (std::size_t i = begin; i < end; ++i) {
                                 const Units u = texts.add(candidates[i]);
                                 if (!u.fits) {
                                     out[i] = levenshtein_utf8(query, candidates[i]);
                                     continue;
                                 }
                                 index[block->count] = static_cast<std::uint32_t>(i);
                                 block->add(texts.data(u), u.size);
                                 texts.forget(u);
                                 if (block->count == packed::lanes) flush();
                             }
                             if (block->count > 0) flush();
                         });
    return true;
}

void levenshtein_cross_packed(std::span<const TextSlice> list_a, std::span<const TextSlice> list_b,
                              packed::Kernel kernel, std::uint32_t* const* rows) {
    if (list_a.empty() || list_b.empty()) return;
    UnitTexts texts;
    std::vector<Units> a(list_a.size()), b(list_b.size());
    for (std::size_t i = 0; i < list_a.size(); ++i) a[i] = texts.add(list_a[i]);
    for (std::size_t j = 0; j < list_b.size(); ++j) b[j] = texts.add(list_b[j]);
    const PackedList packed_b(texts, b);
    pool::for_each(
        list_a.size(),
        [&](std::size_t i) {
            std::uint32_t* row = rows[i];
            if (!a[i].fits || a[i].size == 0) {
                for (std::size_t j = 0; j < list_b.size(); ++j)
                    row[j] = levenshtein_utf8(list_a[i], list_b[j]);
                return;
            }
            const packed::Query pattern(texts.data(a[i]), a[i].size);
            std::uint32_t distance[packed::lanes];
            for (std::size_t k = 0; k < packed_b.blocks(); ++k) {
                kernel(pattern, packed_b.block(k), distance);
                const auto lanes = packed_b.indices(k);
                for (std::size_t p = 0; p < lanes.size(); ++p) row[lanes[p]] = distance[p];
            }
            for (const std::uint32_t j : packed_b.others())
                row[j] = levenshtein_utf8(list_a[i], list_b[j]);
        },
        pool::rows_per_piece(list_b.size()));
}

}  // namespace quillon
