// The Levenshtein batch and cross-product drivers: the multi-lane Myers kernels for short ASCII
// queries against ASCII candidates, levenshtein_utf8 pair by pair otherwise, on the worker pool.
#include <vector>

#include "levenshtein.hpp"
#include "levenshtein_packed.hpp"
#include "pool.hpp"
#include "simd/isa.hpp"
#include "simd/kernels.hpp"

namespace quillon {

namespace {

constexpr std::size_t chunk_entries = 4096;

bool fits_one_word(TextSlice query) {
    return !query.empty() && query.size <= 64 && is_ascii(query);
}

// Distances of one pattern against count consecutive texts, text(k) giving the k-th: groups
// through the kernel table's group entry, the rest (all of them without one) one by one.
template <class TextAt>
void myers_run(const simd::MyersPattern& pattern, std::size_t count, TextAt text,
               std::uint32_t* out) {
    const simd::Kernels& kernels = simd::kernels();
    std::size_t pos = 0;
    if (kernels.levenshtein_group != nullptr) {
        const std::size_t width = kernels.width;
        TextSlice group[simd::max_width];
        for (; pos + width <= count; pos += width) {
            for (std::size_t k = 0; k < width; ++k) group[k] = text(pos + k);
            kernels.levenshtein_group(pattern, group, out + pos);
        }
    }
    for (; pos < count; ++pos) out[pos] = levenshtein_myers_single(pattern, text(pos));
}

// The batch over n pairs given by first(i) and second(i): Myers lanes when every first text
// is the same short ASCII query and every second text is ASCII, else the general distance.
template <class First, class Second>
std::vector<std::uint32_t> batch(std::size_t n, First first, Second second) {
    bool myers = n >= 1 && fits_one_word(first(0));
    for (std::size_t i = 0; myers && i < n; ++i)
        myers = first(i) == first(0) && is_ascii(second(i));
    if (!myers) {
        return pool::map(
            n, [&](std::size_t i) { return levenshtein_utf8(first(i), second(i)); },
            pool::min_pairs_per_piece);
    }
    const simd::MyersPattern pattern = simd::MyersPattern::build(first(0));
    std::vector<std::uint32_t> out(n, 0);
    pool::for_each_chunk(n, chunk_entries, [&](std::size_t, std::size_t begin, std::size_t end) {
        myers_run(
            pattern, end - begin, [&](std::size_t k) { return second(begin + k); },
            out.data() + begin);
    });
    return out;
}

// One row per text of list_a, each row on one worker: the narrow-lane or Myers routes where
// they fit, levenshtein_utf8 pair by pair otherwise.
void cross_product_rows(std::span<const TextSlice> list_a, std::span<const TextSlice> list_b,
                        std::uint32_t* const* rows) {
    if (const simd::packed::Kernel kernel = simd::kernels().levenshtein_lanes) {
        return levenshtein_cross_packed(list_a, list_b, kernel, rows);
    }
    // Each row chooses its own route; list_b's part of that choice is the same for every row.
    bool list_b_ascii = true;
    for (const TextSlice& b : list_b) list_b_ascii = list_b_ascii && is_ascii(b);
    pool::for_each(
        list_a.size(),
        [&](std::size_t i) {
            const TextSlice a = list_a[i];
            const std::size_t m = list_b.size();
            std::uint32_t* row = rows[i];
            if (list_b_ascii && fits_one_word(a)) {
                const simd::MyersPattern pattern = simd::MyersPattern::build(a);
                myers_run(pattern, m, [&](std::size_t k) { return list_b[k]; }, row);
            } else {
                for (std::size_t j = 0; j < m; ++j) row[j] = levenshtein_utf8(a, list_b[j]);
            }
        },
        pool::rows_per_piece(list_b.size()));
}

}  // namespace

std::vector<std::uint32_t> levenshtein_batch_auto(std::span<const TextPair> pairs) {
    return batch(
        pairs.size(), [&](std::size_t i) { return pairs[i].a; },
        [&](std::size_t i) { return pairs[i].b; });
}

std::vector<std::uint32_t> levenshtein_query_batch(TextSlice query,
                                                   std::span<const TextSlice> candidates) {
    if (const simd::packed::Kernel kernel = simd::kernels().levenshtein_lanes) {
        std::vector<std::uint32_t> out(candidates.size());
        if (levenshtein_batch_packed(query, candidates, out.data(), kernel)) return out;
    }
    return batch(
        candidates.size(), [&](std::size_t) { return query; },
        [&](std::size_t i) { return candidates[i]; });
}

void levenshtein_cross_product_into(std::span<const TextSlice> list_a,
                                    std::span<const TextSlice> list_b, std::uint32_t* const* rows) {
    if (list_a.empty() || list_b.empty()) return;
    // Rows whose text exceeds one word are band computations of microseconds or more per pair:
    // they are shared out pair by pair, so that a few long rows still keep every thread busy.
    std::vector<std::size_t> long_rows;
    for (std::size_t i = 0; i < list_a.size(); ++i) {
        if (list_a[i].size > 64) long_rows.push_back(i);
    }
    if (long_rows.empty()) return cross_product_rows(list_a, list_b, rows);
    const std::size_t m = list_b.size();
    pool::for_each(
        long_rows.size() * m,
        [&](std::size_t p) {
            const std::size_t i = long_rows[p / m], j = p % m;
            rows[i][j] = levenshtein_utf8(list_a[i], list_b[j]);
        },
        1);
    if (long_rows.size() == list_a.size()) return;
    std::vector<TextSlice> short_a;
    std::vector<std::uint32_t*> short_rows;
    for (std::size_t i = 0, next = 0; i < list_a.size(); ++i) {
        if (next < long_rows.size() && long_rows[next] == i) {
            ++next;
        } else {
            short_a.push_back(list_a[i]);
            short_rows.push_back(rows[i]);
        }
    }
    cross_product_rows(short_a, list_b, short_rows.data());
}

DistanceMatrix levenshtein_cross_product(std::span<const TextSlice> list_a,
                                         std::span<const TextSlice> list_b) {
    if (list_a.empty() || list_b.empty()) return {};
    DistanceMatrix matrix(list_a.size(), std::vector<std::uint32_t>(list_b.size()));
    std::vector<std::uint32_t*> rows(matrix.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = matrix[i].data();
    levenshtein_cross_product_into(list_a, list_b, rows.data());
    return matrix;
}

}  // namespace quillon
