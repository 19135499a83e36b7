// The Jaro-Winkler batch and cross-product through the narrow-lane kernels.
#include "jaro_packed.hpp"

#include <cstring>

#include "packed_texts.hpp"
#include "pool.hpp"

namespace quillon {

namespace packed = simd::packed;

namespace {

constexpr std::size_t chunk_entries = 4096;

// Lane widths by the longest candidate of a block: 8, 16, 32 and 64 bits.
std::size_t width_class(std::size_t longest) noexcept {
    return longest <= 8 ? 0 : longest <= 16 ? 1 : longest <= 32 ? 2 : 3;
}

// A block's table of position masks, rows * lanes lanes of 1 << width_class bytes.
class MaskTable {
  public:
    void reset(std::size_t rows, std::size_t width) {
        width_ = width;
        words_.assign(rows * packed::lanes * (std::size_t{1} << width) / 8, 0);
    }
    // Sets the masks of candidate `lane`, whose units have the given rows.
    void add(std::size_t lane, const std::uint8_t* data, std::size_t size,
             const std::uint16_t* row_of) noexcept {
        switch (width_) {
            case 0:
                return fill<std::uint8_t>(lane, data, size, row_of);
            case 1:
                return fill<std::uint16_t>(lane, data, size, row_of);
            case 2:
                return fill<std::uint32_t>(lane, data, size, row_of);
            default:
                return fill<std::uint64_t>(lane, data, size, row_of);
        }
    }
    void clear() noexcept { std::memset(words_.data(), 0, words_.size() * sizeof words_[0]); }
    packed::JaroBlock view(const std::uint8_t* length) const noexcept {
        return {words_.data(), length, std::size_t{1} << width_};
    }

  private:
    template <class Unit>
    void fill(std::size_t lane, const std::uint8_t* data, std::size_t size,
              const std::uint16_t* row_of) noexcept {
        Unit* masks = reinterpret_cast<Unit*>(words_.data());
        for (std::size_t j = 0; j < size; ++j) {
            masks[std::size_t{row_of[data[j]]} * packed::lanes + lane] |=
                static_cast<Unit>(Unit{1} << j);
        }
    }

    std::vector<std::uint64_t> words_;
    std::size_t width_ = 0;
};

// Jaro-Winkler values by lengths, matches, half the transpositions and prefix, for the length
// pairs of one call: each entry computed once by jaro_winkler's own operations, so looking it
// up gives the same bits as computing it, without four divisions per pair.
class WinklerTable {
  public:
    static constexpr std::size_t sizes = packed::max_units + 1;
    static constexpr std::size_t prefixes = 5;
    struct Slot {
        std::uint32_t offset, stride;
    };

    // False, leaving the table unusable, when it would hold more than `budget` entries.
    bool build(const bool* la_present, const bool* lb_present, double pc, std::size_t budget) {
        std::size_t total = 0;
        for (std::size_t la = 1; la < sizes; ++la) {
            for (std::size_t lb = 0; lb < sizes && la_present[la]; ++lb) {
                const std::size_t m = la < lb ? la : lb;
                if (lb_present[lb]) total += (m + 1) * (m / 2 + 1) * prefixes;
            }
        }
        if (total > budget) return false;
        slots_.assign(sizes * sizes, Slot{0, 0});
        values_.resize(total);
        std::size_t offset = 0;
        for (std::size_t la = 1; la < sizes; ++la) {
            for (std::size_t lb = 0; lb < sizes && la_present[la]; ++lb) {
                if (!lb_present[lb]) continue;
                const std::size_t most = la < lb ? la : lb, stride = (most / 2 + 1) * prefixes;
                slots_[la * sizes + lb] = {static_cast<std::uint32_t>(offset),
                                           static_cast<std::uint32_t>(stride)};
                for (std::uint32_t m = 0; m <= most; ++m) {
                    for (std::uint32_t h = 0; h <= most / 2; ++h) {
                        const double j = m == 0 ? 0.0 : jaro_from_counts(m, 2 * h, la, lb);
                        for (std::size_t l = 0; l < prefixes; ++l) {
                            values_[offset + m * stride + h * prefixes + l] =
                                winkler_boost(j, l, pc);
                        }
                    }
                }
                offset += (most + 1) * stride;
            }
        }
        return true;
    }
    const Slot* slots(std::size_t la) const noexcept { return slots_.data() + la * sizes; }
    double at(const Slot* slots, const packed::JaroCounts& counts, std::size_t lane,
              std::size_t lb) const noexcept {
        const Slot s = slots[lb];
        return values_[s.offset + counts.matches[lane] * s.stride +
                       (counts.transpositions[lane] / 2u) * prefixes + counts.prefix[lane]];
    }

  private:
    std::vector<Slot> slots_;
    std::vector<double> values_;
};

// The Winkler-boosted similarity of one lane from its counts, by the formula.
double lane_similarity(const packed::JaroCounts& counts, std::size_t lane, std::size_t la,
                       std::size_t lb, double pc) noexcept {
    const std::uint32_t m = counts.matches[lane];
    const double j = m == 0 ? 0.0 : jaro_from_counts(m, counts.transpositions[lane], la, lb);
    return winkler_boost(j, counts.prefix[lane], pc);
}

// A table pays for itself when it has fewer entries than an eighth of the pairs.
std::size_t table_budget(std::size_t pairs) noexcept { return pairs / 8; }

}  // namespace

bool jaro_winkler_batch_packed(TextSlice query, std::span<const TextSlice> candidates, double p,
                               double* out, packed::JaroKernel kernel) {
    const Units fit = UnitTexts().add(query);
    if (!fit.fits || fit.size == 0) return false;
    const double pc = clamp_prefix_scale(p);
    const std::size_t la = fit.size;
    // The table for every candidate length, so that no pass over the whole list runs first.
    bool la_present[WinklerTable::sizes] = {}, lb_present[WinklerTable::sizes];
    la_present[la] = true;
    std::memset(lb_present, 1, sizeof lb_present);
    WinklerTable finish;
    const bool tabled = finish.build(la_present, lb_present, pc, table_budget(candidates.size()));
    const WinklerTable::Slot* slots = tabled ? finish.slots(la) : nullptr;
    // Each chunk maps its own texts, the query first, so that its units, and with them its rows,
    // come out the same in every chunk, and each text is read while it is still in cache.
    pool::for_each_chunk(
        candidates.size(), chunk_entries, [&](std::size_t, std::size_t begin, std::size_t end) {
            UnitTexts texts;
            const Units q = texts.add(query);
            // Rows for the query's units only, since no other row is ever read; row 0 takes
            // the rest.
            std::uint16_t row_of[256] = {};
            std::uint16_t query_rows[packed::max_units];
            std::size_t rows = 1;
            const std::uint8_t* qdata = texts.data(q);
            for (std::size_t i = 0; i < la; ++i) {
                if (row_of[qdata[i]] == 0) row_of[qdata[i]] = static_cast<std::uint16_t>(rows++);
                query_rows[i] = row_of[qdata[i]];
            }
            const packed::JaroQuery jq{query_rows, la};
            // One block filling per lane width, so that short candidates run in narrow lanes
            // whatever their neighbours' lengths.
            struct Pending {
                MaskTable table;
                std::uint32_t index[packed::lanes];
                std::uint8_t length[packed::lanes];
                std::size_t count = 0;
            };
            Pending pending[4];
            for (std::size_t width = 0; width < 4; ++width) pending[width].table.reset(rows, width);
            packed::JaroCounts counts;
            auto flush = [&](Pending& b) {
                std::memset(b.length + b.count, 0, packed::lanes - b.count);
                kernel(jq, b.table.view(b.length), counts);
                for (std::size_t k = 0; k < b.count; ++k) {
                    out[b.index[k]] = tabled ? finish.at(slots, counts, k, b.length[k])
                                             : lane_similarity(counts, k, la, b.length[k], pc);
                }
                b.table.clear();
                b.count = 0;
            };
            for (std::size_t i = begin; i < end; ++i) {
                const Units u = texts.add(candidates[i]);
                if (!u.fits) {
                    out[i] = jaro_winkler(query, candidates[i], pc);
                    continue;
                }
                Pending& b = pending[width_class(u.size)];
                b.table.add(b.count, texts.data(u), u.size, row_of);
                texts.forget(u);
                b.index[b.count] = static_cast<std::uint32_t>(i);
                b.length[b.count++] = static_cast<std::uint8_t>(u.size);
                if (b.count == packed::lanes) flush(b);
            }
            for (Pending& b : pending) {
                if (b.count > 0) flush(b);
            }
        });
    return true;
}

void jaro_winkler_cross_packed(std::span<const TextSlice> list_a, std::span<const TextSlice> list_b,
                               double p, packed::JaroKernel kernel, double* const* out_rows) {
    if (list_a.empty() || list_b.empty()) return;
    const double pc = clamp_prefix_scale(p);
    UnitTexts texts;
    std::vector<Units> a(list_a.size()), b(list_b.size());
    for (std::size_t i = 0; i < list_a.size(); ++i) a[i] = texts.add(list_a[i]);
    for (std::size_t j = 0; j < list_b.size(); ++j) b[j] = texts.add(list_b[j]);
    const PackedList packed_b(texts, b);
    // Rows for the units list_b's packed texts hold; row 0 stays empty for the query units
    // that none of them holds.
    std::uint16_t row_of[256] = {};
    std::size_t rows = 1;
    for (std::size_t k = 0; k < packed_b.blocks(); ++k) {
        const packed::BlockView block = packed_b.block(k);
        for (std::size_t lane = 0; lane < packed::lanes; ++lane) {
            for (std::size_t j = 0; j < block.length[lane]; ++j) {
                const std::uint8_t u = block.units[j * packed::lanes + lane];
                if (row_of[u] == 0) row_of[u] = static_cast<std::uint16_t>(rows++);
            }
        }
    }
    // Each block's table once, for every row of the product.
    std::vector<MaskTable> tables(packed_b.blocks());
    for (std::size_t k = 0; k < packed_b.blocks(); ++k) {
        const packed::BlockView block = packed_b.block(k);
        tables[k].reset(rows, width_class(block.steps));
        std::uint8_t column[packed::max_units];
        for (std::size_t lane = 0; lane < packed::lanes; ++lane) {
            const std::size_t size = block.length[lane];
            for (std::size_t j = 0; j < size; ++j)
                column[j] = block.units[j * packed::lanes + lane];
            tables[k].add(lane, column, size, row_of);
        }
    }
    bool la_present[WinklerTable::sizes] = {}, lb_present[WinklerTable::sizes] = {};
    for (const Units& u : a) la_present[u.fits ? u.size : 0] = true;
    for (std::size_t k = 0; k < packed_b.blocks(); ++k) {
        for (std::size_t lane = 0; lane < packed::lanes; ++lane)
            lb_present[packed_b.block(k).length[lane]] = true;
    }
    WinklerTable finish;
    const bool tabled =
        finish.build(la_present, lb_present, pc, table_budget(list_a.size() * list_b.size()));
    pool::for_each(
        list_a.size(),
        [&](std::size_t i) {
            double* row = out_rows[i];
            if (!a[i].fits || a[i].size == 0) {
                for (std::size_t j = 0; j < list_b.size(); ++j)
                    row[j] = jaro_winkler(list_a[i], list_b[j], pc);
                return;
            }
            std::uint16_t query_rows[packed::max_units];
            const std::uint8_t* qdata = texts.data(a[i]);
            for (std::size_t u = 0; u < a[i].size; ++u) query_rows[u] = row_of[qdata[u]];
            const packed::JaroQuery jq{query_rows, a[i].size};
            packed::JaroCounts counts;
            const WinklerTable::Slot* slots = tabled ? finish.slots(a[i].size) : nullptr;
            for (std::size_t k = 0; k < packed_b.blocks(); ++k) {
                const packed::BlockView block = packed_b.block(k);
                kernel(jq, tables[k].view(block.length), counts);
                const auto lanes = packed_b.indices(k);
                for (std::size_t lane = 0; lane < lanes.size(); ++lane) {
                    const std::size_t lb = block.length[lane];
                    row[lanes[lane]] = tabled ? finish.at(slots, counts, lane, lb)
                                              : lane_similarity(counts, lane, a[i].size, lb, pc);
                }
            }
            for (const std::uint32_t j : packed_b.others())
                row[j] = jaro_winkler(list_a[i], list_b[j], pc);
        },
        pool::rows_per_piece(list_b.size()));
}

}  // namespace quillon
