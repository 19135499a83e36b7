// Damerau-Levenshtein after Lowrance and Wagner: a transposition looks back to the last row
// where the current character of b occurred in a, so the whole matrix stays allocated.
#include "damerau.hpp"

#include <algorithm>
#include <memory>
#include <new>
#include <unordered_map>

#include "error.hpp"
#include "memory.hpp"
#include "pool.hpp"

namespace quillon {

namespace {

// Last row (1-based) at which a unit occurred in a; 0 when not yet.
struct ByteRows {
    std::size_t rows[256] = {};
    std::size_t get(std::uint8_t u) const noexcept { return rows[u]; }
    void set(std::uint8_t u, std::size_t i) noexcept { rows[u] = i; }
};

struct ScalarRows {
    std::unordered_map<std::uint32_t, std::size_t> rows;
    explicit ScalarRows(std::size_t capacity) { rows.reserve(capacity); }
    std::size_t get(std::uint32_t u) const {
        const auto it = rows.find(u);
        return it == rows.end() ? 0 : it->second;
    }
    void set(std::uint32_t u, std::size_t i) { rows[u] = i; }
};

template <class Unit, class LastRow>
std::uint32_t distance(std::span<const Unit> a, std::span<const Unit> b, LastRow& last_row) {
    const std::size_t la = a.size(), lb = b.size();
    if (la == 0) return static_cast<std::uint32_t>(lb);
    if (lb == 0) return static_cast<std::uint32_t>(la);
    if (std::ranges::equal(a, b)) return 0;
    const auto inf = static_cast<std::uint32_t>(la + lb);
    const std::size_t width = lb + 2;
    // Every cell is written before it is read (borders first, then row by row), so the
    // matrix needs no clearing. The claim comes first: a refusal allocates nothing.
    const std::size_t cells = memory::cells(la + 2, width);
    const memory::Claim claim(cells, sizeof(std::uint32_t));
    const std::unique_ptr<std::uint32_t[]> m(new std::uint32_t[cells]);
    auto row = [&](std::size_t i) { return m.get() + i * width; };
    row(0)[0] = inf;
    for (std::size_t i = 0; i <= la; ++i) {
        row(i + 1)[0] = inf;
        row(i + 1)[1] = static_cast<std::uint32_t>(i);
    }
    for (std::size_t j = 0; j <= lb; ++j) {
        row(0)[j + 1] = inf;
        row(1)[j + 1] = static_cast<std::uint32_t>(j);
    }
    for (std::size_t i = 1; i <= la; ++i) {
        const Unit ai = a[i - 1];
        const std::uint32_t* above = row(i);
        std::uint32_t* here = row(i + 1);
        std::size_t db = 0;  // last column of this row where a[i-1] matched
        for (std::size_t j = 1; j <= lb; ++j) {
            const std::size_t k = last_row.get(b[j - 1]), l = db;
            std::uint32_t cost = 1;
            if (ai == b[j - 1]) {
                cost = 0;
                db = j;
            }
            std::uint32_t t = inf;
            if (l != 0 && k != 0) {
                t = row(k)[l] + static_cast<std::uint32_t>((i - k - 1) + 1 + (j - l - 1));
            }
            here[j + 1] = std::min({above[j] + cost, here[j] + 1, above[j + 1] + 1, t});
        }
        last_row.set(ai, i);
    }
    return row(la + 1)[lb + 1];
}

std::span<const std::uint8_t> bytes_of(TextSlice t) noexcept { return {t.bytes(), t.size}; }

}  // namespace

std::uint32_t damerau_bytes(TextSlice a, TextSlice b) {
    QUILLON_CHECK(is_ascii(a) && is_ascii(b), "damerau_bytes requires ASCII inputs");
    ByteRows last_row;
    return distance(bytes_of(a), bytes_of(b), last_row);
}

namespace {

std::uint32_t scalar_distance(const Scalars& a, const Scalars& b) {
    ScalarRows last_row(a.size());
    return distance(std::span<const std::uint32_t>(a), std::span<const std::uint32_t>(b), last_row);
}

double ratio_of(std::size_t total, std::uint32_t d) noexcept {
    if (total == 0) return 100.0;
    const double t = static_cast<double>(total);
    return (t - d) / t * 100.0;
}

}  // namespace

std::uint32_t damerau_levenshtein_distance(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return damerau_bytes(a, b);
    return scalar_distance(decode_utf8(a), decode_utf8(b));
}

double damerau_ratio(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return ratio_of(a.size + b.size, damerau_bytes(a, b));
    // Decoded once: the character lengths are the lengths of the scalar sequences.
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return ratio_of(sa.size() + sb.size(), scalar_distance(sa, sb));
}

std::vector<std::uint32_t> damerau_levenshtein_batch(TextSlice query,
                                                     std::span<const TextSlice> candidates) {
    return pool::map(candidates.size(), [&](std::size_t i) {
        return damerau_levenshtein_distance(query, candidates[i]);
    });
}

std::vector<std::vector<std::uint32_t>> damerau_levenshtein_cdist(
    std::span<const TextSlice> list_a, std::span<const TextSlice> list_b) {
    if (list_a.empty() || list_b.empty()) return {};
    return pool::map(
        list_a.size(),
        [&](std::size_t i) {
            std::vector<std::uint32_t> row(list_b.size());
            for (std::size_t j = 0; j < row.size(); ++j) {
                row[j] = damerau_levenshtein_distance(list_a[i], list_b[j]);
            }
            return row;
        },
        pool::rows_per_piece(list_b.size()));
}

}  // namespace quillon
