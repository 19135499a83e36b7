// Damerau-Levenshtein after Lowrance and Wagner: a transposition looks back to the last row
// where the current character of b occurred in a, so the whole matrix stays allocated.
//
// The fast route strips the common prefix and suffix, then fills a matrix of 16-bit cells eight
// columns at a time, on the stack for small pairs and on the heap (under a memory claim) for
// larger ones; cell by cell without SSE2 or beyond 65 534 units. Characters become small codes:
// ASCII pairs use their bytes; short non-ASCII texts keep code points below 256 as they are and
// number the row text's other characters from 256; anything else is mapped densely per pair.
#include "damerau.hpp"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "error.hpp"
#include "fork.hpp"
#include "memory.hpp"
#include "pool.hpp"

namespace quillon {

namespace {

// ---- The full-matrix route ----

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

std::uint32_t scalar_distance(const Scalars& a, const Scalars& b) {
    ScalarRows last_row(a.size());
    return distance(std::span<const std::uint32_t>(a), std::span<const std::uint32_t>(b), last_row);
}

double ratio_of(std::size_t total, std::uint32_t d) noexcept {
    if (total == 0) return 100.0;
    const double t = static_cast<double>(total);
    return (t - d) / t * 100.0;
}

// ---- The fast route ----

// Matrices of up to this many cells live on the stack (16 KiB of 16-bit cells).
constexpr std::size_t stack_cells = 8192;

// Above this length sum a sentinel sum leaves 16 bits (cells take 32 bits), and above
// huge_sum it leaves 32 bits (the full-matrix route, whose additions wrap, takes the pair).
constexpr std::size_t narrow_sum = 32767;
constexpr std::size_t huge_sum = std::size_t{1} << 31;

// Equal characters at both ends change nothing: an optimal alignment can always match them to
// each other. Say a = c a' and b = c b' and an optimal trace does not join a[0] to b[0]. If one
// of them is unjoined, joining the two instead costs no more (the other one's line, if any,
// becomes an insertion or deletion and the first one's insertion or deletion goes). Otherwise
// a[0] - b[j] and a[i] - b[0] cross, which makes them a transposition: c = b[j] = a[i], costing
// 1 + (i - 1) + (j - 1) with everything between unjoined. Joining a[0] - b[0] and a[i] - b[j]
// (both matches) and leaving the same characters unjoined costs 2 less. The same holds at the
// end, by reversing both texts.
template <class Code>
void strip_common_ends(const Code*& a, std::size_t& la, const Code*& b, std::size_t& lb) noexcept {
    std::size_t p = 0;
    while (p < la && p < lb && a[p] == b[p]) ++p;
    a += p;
    b += p;
    la -= p;
    lb -= p;
    while (la != 0 && lb != 0 && a[la - 1] == b[lb - 1]) {
        --la;
        --lb;
    }
}

// The recurrence of the full-matrix route on m[(la + 2) * (lb + 2)], with last[] indexed by
// code (only the entries of codes in a and b are read; this sets them). Both texts are
// non-empty and la + lb fits the cell type twice over, so the sentinel borders replace the
// test for k = 0 or l = 0: such a transposition reads a border, costs more than inf and is
// never the least.
template <class Cell, class Code>
std::uint32_t fill(const Code* a, std::size_t la, const Code* b, std::size_t lb, Cell* m,
                   Cell* last) noexcept {
    const std::size_t w = lb + 2;
    const auto inf = static_cast<Cell>(la + lb);
    for (std::size_t j = 0; j < lb; ++j) last[b[j]] = 0;
    for (std::size_t i = 0; i < la; ++i) last[a[i]] = 0;
    for (std::size_t j = 0; j < w; ++j) m[j] = inf;
    m[w] = inf;
    for (std::size_t j = 0; j <= lb; ++j) m[w + 1 + j] = static_cast<Cell>(j);
    for (std::size_t i = 1; i <= la; ++i) {
        const Code ai = a[i - 1];
        const Cell* above = m + i * w;
        Cell* here = m + (i + 1) * w;
        here[0] = inf;
        here[1] = static_cast<Cell>(i);
        // The insertion chain min(x, left + 1) runs on left - j, so that each step is one min.
        auto left_less_j = static_cast<std::int64_t>(i);
        std::size_t db = 0;  // last column of this row where ai matched
        for (std::size_t j = 1; j <= lb; ++j) {
            const Code bj = b[j - 1];
            const std::size_t k = last[bj], l = db;
            const bool same = ai == bj;
            db = same ? j : db;
            // (i - k - 1) + 1 + (j - l - 1), where k < i and l < j.
            const std::uint32_t t = m[k * w + l] + static_cast<std::uint32_t>(i - k + j - l - 1);
            const std::uint32_t x = std::min(std::min(above[j] + static_cast<std::uint32_t>(!same),
                                                      above[j + 1] + std::uint32_t{1}),
                                             t);
            const auto jj = static_cast<std::int64_t>(j);
            left_less_j = std::min(left_less_j, static_cast<std::int64_t>(x) - jj);
            here[j + 1] = static_cast<Cell>(left_less_j + jj);
        }
        last[ai] = static_cast<Cell>(i);
    }
    return m[(la + 1) * w + lb + 1];
}

template <class Cell, class Code>
std::uint32_t fill_on_heap(const Code* a, std::size_t la, const Code* b, std::size_t lb,
                           std::size_t alphabet) {
    const std::size_t cells = memory::cells(la + 2, lb + 2);
    const memory::Claim claim(cells, sizeof(Cell));
    const std::unique_ptr<Cell[]> m(new Cell[cells]);
    const std::unique_ptr<Cell[]> last(new Cell[alphabet]);
    return fill(a, la, b, lb, m.get(), last.get());
}

#if defined(__SSE2__)
// ---- One pair, eight columns of a row at a time ----
//
// Only transpositions with one empty gap can be least (see the sixteen-lane kernel below), so
// at cell (i, j), 1-based, with D(i, j) the distance of the prefixes:
//   t1 = T(j - 1) when b[j] = a[i-1], where T(l) = min(T(l - 1) + 1, D(i-2, l-1) + 1 if
//        b[l] = a[i], else none), T(0) = none: a[i-1] a[i] against b[l] .. b[j], from cell
//        (i - 2, l - 1), the latest such l being the least;
//   t2 = the running value down column j when b[j-1] = a[i]: D(k-1, j-2) + (i - k), k the
//        last row before i with a[k] = b[j], grown by one per row.
// T and the insertion chain D(i, j) = min(x_j, D(i, j - 1) + 1) run along the row; the rest is
// the same in every column. Within a vector each chain is a prefix scan of y = min(x, y + 1) in
// three shifted steps (by 1, 2 and 4 lanes), then the value carried from the vector before
// enters at +1..+8. Example over four lanes: x = 5 9 9 1 gives 5 6 9 1 after the first step
// and 5 6 7 1 after the second.
//
// Cells are signed 16-bit with the sign bit flipped (x - 32768), so that the signed minimum
// orders them as unsigned and the saturating add keeps 0x7FFF, the flipped 65535, as "none":
// every distance is at most the longer length, below 65535.
using Cells = __m128i;
constexpr std::size_t vector_cells = 8;
// The longest text the 16-bit cells take; longer pairs take 32-bit matrix cells.
constexpr std::size_t vector_max = 65534;
// A column code that equals no code of a: column -1, columns past b's end, and a[i-2] at i = 1.
constexpr std::uint16_t vector_pad = 0xFFFF;

std::uint16_t flipped(std::size_t x) noexcept { return static_cast<std::uint16_t>(x ^ 0x8000); }
Cells splat16(std::uint16_t x) noexcept { return _mm_set1_epi16(static_cast<short>(x)); }
Cells last_cell(Cells x) noexcept { return _mm_shuffle_epi32(_mm_shufflehi_epi16(x, 0xFF), 0xFF); }

// y_k = min(x_k, y_(k-1) + 1) within the vector; lanes below 0 hold none.
Cells chain(Cells x, Cells none) noexcept {
    x = _mm_min_epi16(x,
                      _mm_adds_epi16(_mm_or_si128(_mm_slli_si128(x, 2), _mm_srli_si128(none, 14)),
                                     _mm_set1_epi16(1)));
    x = _mm_min_epi16(x,
                      _mm_adds_epi16(_mm_or_si128(_mm_slli_si128(x, 4), _mm_srli_si128(none, 12)),
                                     _mm_set1_epi16(2)));
    return _mm_min_epi16(x,
                         _mm_adds_epi16(_mm_or_si128(_mm_slli_si128(x, 8), _mm_srli_si128(none, 8)),
                                        _mm_set1_epi16(4)));
}

Cells load(const std::uint16_t* p) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const Cells*>(p));
}
void store(std::uint16_t* p, Cells x) noexcept { _mm_storeu_si128(reinterpret_cast<Cells*>(p), x); }

// The one kept matrix, per process: a forked child starts without it (a thread of the parent
// may have held the mutex).
struct KeptMatrix {
    std::mutex mutex;
    std::unique_ptr<std::uint16_t[]> cells;
    std::size_t size = 0;
};

// Cells of the vector route's matrix. The largest matrix of at most kept_bytes is kept for the
// next call, so that repeated calls on long pairs write to pages already in place: at 5 000
// units a fresh matrix (50 MB) costs nearly as much in page faults as the whole fill. A new matrix
// is claimed first, so a pair whose matrix cannot be had still gets std::bad_alloc.
class MatrixCells {
  public:
    static constexpr std::size_t kept_bytes = std::size_t{64} << 20;

    explicit MatrixCells(std::size_t count) : size_(count) {
        KeptMatrix& kept = per_process<KeptMatrix>();
        {
            const std::lock_guard lock(kept.mutex);
            if (kept.cells && kept.size >= count) {
                cells_ = std::move(kept.cells);
                size_ = kept.size;
                kept.size = 0;
                return;
            }
        }
        claim_.emplace(count, sizeof(std::uint16_t));
        cells_.reset(new std::uint16_t[count]);  // written before read
    }
    MatrixCells(const MatrixCells&) = delete;
    MatrixCells& operator=(const MatrixCells&) = delete;

    ~MatrixCells() {
        if (size_ > kept_bytes / sizeof(std::uint16_t)) return;
        KeptMatrix& kept = per_process<KeptMatrix>();
        const std::lock_guard lock(kept.mutex);
        if (!kept.cells || kept.size < size_) {
            kept.cells = std::move(cells_);
            kept.size = size_;
        }
    }

    std::uint16_t* get() const noexcept { return cells_.get(); }

  private:
    std::optional<memory::Claim> claim_;
    std::unique_ptr<std::uint16_t[]> cells_;
    std::size_t size_;
};

// Row r of the matrix m holds D(r - 1, j) at entry j + 1, with row 0 and entry 0 the "none"
// borders, as in the full-matrix route; rows are `width` entries apart. codes and t2 hold
// width - 1 entries. Both texts non-empty, la <= lb <= vector_max, every code below vector_pad.
template <class Code>
std::uint32_t vector_rows(const Code* a, std::size_t la, const Code* b, std::size_t lb,
                          std::size_t width, std::uint16_t* m, std::uint16_t* codes,
                          std::uint16_t* t2) noexcept {
    // Column codes from entry 1 (entry j is b[j-1]) and the running t2 per column.
    const std::size_t columns = width - 1;
    constexpr std::uint16_t none = 0x7FFF;
    std::fill_n(codes, columns, vector_pad);
    for (std::size_t j = 0; j < lb; ++j) codes[j + 1] = static_cast<std::uint16_t>(b[j]);
    std::fill_n(t2, columns, none);
    std::fill_n(m, width, none);
    m[width] = none;
    // Past lb the entries only feed columns past lb, which nothing reads.
    for (std::size_t j = 0; j + 1 < width; ++j) m[width + 1 + j] = flipped(j);

    const Cells nones = splat16(none), one = _mm_set1_epi16(1);
    const Cells ramp = _mm_setr_epi16(1, 2, 3, 4, 5, 6, 7, 8);
    for (std::size_t i = 1; i <= la; ++i) {
        const std::uint16_t* two_up = m + (i - 1) * width;  // D(i - 2, .)
        const std::uint16_t* up = two_up + width;           // D(i - 1, .)
        std::uint16_t* here = m + (i + 1) * width;          // D(i, .)
        here[0] = none;
        here[1] = flipped(i);
        const Cells ai = splat16(static_cast<std::uint16_t>(a[i - 1]));
        const Cells ai2 = splat16(i >= 2 ? static_cast<std::uint16_t>(a[i - 2]) : vector_pad);
        Cells left = splat16(flipped(i)), t_left = nones;  // D(i, j0 - 1) and T(j0 - 1)
        for (std::size_t j = 1; j <= lb; j += vector_cells) {
            const Cells bj = load(codes + j);
            const Cells same = _mm_cmpeq_epi16(bj, ai);                    // b[j] = a[i]
            const Cells t1_on = _mm_cmpeq_epi16(bj, ai2);                  // b[j] = a[i-1]
            const Cells t2_on = _mm_cmpeq_epi16(load(codes + j - 1), ai);  // b[j-1] = a[i]
            // none where same is false, the least value (no effect on max) where it is true.
            const Cells unless_same = _mm_xor_si128(same, nones);
            // same is -1 where true: a match costs one less.
            const Cells sub = _mm_add_epi16(_mm_adds_epi16(load(up + j), one), same);
            const Cells del = _mm_adds_epi16(load(up + j + 1), one);
            Cells t =
                chain(_mm_max_epi16(_mm_adds_epi16(load(two_up + j), one), unless_same), nones);
            t = _mm_min_epi16(t, _mm_adds_epi16(t_left, ramp));
            // T(j - 1) per lane: the scan moved up one lane, T(j0 - 1) entering lane 0.
            const Cells t1 =
                _mm_max_epi16(_mm_or_si128(_mm_slli_si128(t, 2), _mm_srli_si128(t_left, 14)),
                              _mm_xor_si128(t1_on, nones));
            t_left = last_cell(t);
            std::uint16_t* const t2_here = t2 + j;
            const Cells t2_old = load(t2_here);
            store(t2_here,
                  _mm_min_epi16(_mm_adds_epi16(t2_old, one),
                                _mm_max_epi16(_mm_adds_epi16(load(up + j - 1), one), unless_same)));
            const Cells t2_use = _mm_max_epi16(t2_old, _mm_xor_si128(t2_on, nones));
            Cells x =
                chain(_mm_min_epi16(_mm_min_epi16(sub, del), _mm_min_epi16(t1, t2_use)), nones);
            x = _mm_min_epi16(x, _mm_adds_epi16(left, ramp));
            left = last_cell(x);
            store(here + j + 1, x);
        }
    }
    return m[(la + 1) * width + lb + 1] ^ 0x8000u;
}

// vector_rows with the row width padded to whole vectors (at most lb + 9 entries), on the stack
// when the matrix fits stack_cells, else in MatrixCells.
template <class Code>
std::uint32_t vector_distance(const Code* a, std::size_t la, const Code* b, std::size_t lb) {
    // Entry j of a row is read up to 8 * vectors + 1 (D(i - 1, j) of the last vector).
    const std::size_t width = (lb + vector_cells - 1) / vector_cells * vector_cells + 2;
    const std::size_t cells = memory::cells(la + 2, width);
    // With la >= 1, a matrix of stack_cells has rows of at most stack_cells / 3 entries.
    constexpr std::size_t stack_width = stack_cells / 3;
    if (cells <= stack_cells) {
        std::uint16_t m[stack_cells], codes[stack_width], t2[stack_width];  // written before read
        return vector_rows(a, la, b, lb, width, m, codes, t2);
    }
    const MatrixCells matrix(cells);
    const std::unique_ptr<std::uint16_t[]> codes(new std::uint16_t[width - 1]);
    const std::unique_ptr<std::uint16_t[]> t2(new std::uint16_t[width - 1]);
    return vector_rows(a, la, b, lb, width, matrix.get(), codes.get(), t2.get());
}
#endif

// Distance of two code sequences whose codes are below `alphabet` and whose length sum is
// below huge_sum.
template <class Code>
std::uint32_t code_distance(const Code* a, std::size_t la, const Code* b, std::size_t lb,
                            std::size_t alphabet) {
    strip_common_ends(a, la, b, lb);
    if (la == 0) return static_cast<std::uint32_t>(lb);
    if (lb == 0) return static_cast<std::uint32_t>(la);
#if defined(__SSE2__)
    // The distance is symmetric; the longer text along the rows keeps the vectors full.
    if (la > lb) {
        std::swap(a, b);
        std::swap(la, lb);
    }
    if (lb <= vector_max && alphabet <= vector_pad) return vector_distance(a, la, b, lb);
#endif
    constexpr std::size_t stack_alphabet = 512;
    if ((la + 2) * (lb + 2) <= stack_cells && alphabet <= stack_alphabet) {
        std::uint16_t m[stack_cells];  // written before read, see fill
        std::uint16_t last[stack_alphabet];
        return fill(a, la, b, lb, m, last);
    }
    if (la + lb <= narrow_sum) return fill_on_heap<std::uint16_t>(a, la, b, lb, alphabet);
    return fill_on_heap<std::uint32_t>(a, la, b, lb, alphabet);
}

std::uint32_t byte_distance(TextSlice a, TextSlice b) {
    if (a.size + b.size >= huge_sum) return damerau_bytes(a, b);
    return code_distance(a.bytes(), a.size, b.bytes(), b.size, 256);
}

// Any pair of decoded texts: codes are ranks among the distinct scalars of both.
std::uint32_t dense_distance(const Scalars& a, const Scalars& b) {
    if (a.size() + b.size() >= huge_sum) return scalar_distance(a, b);
    Scalars alphabet(a);
    alphabet.insert(alphabet.end(), b.begin(), b.end());
    std::ranges::sort(alphabet);
    alphabet.erase(std::unique(alphabet.begin(), alphabet.end()), alphabet.end());
    auto codes = [&](const Scalars& text) {
        Scalars out(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            out[i] = static_cast<std::uint32_t>(std::ranges::lower_bound(alphabet, text[i]) -
                                                alphabet.begin());
        }
        return out;
    };
    const Scalars ca = codes(a), cb = codes(b);
    return code_distance(ca.data(), ca.size(), cb.data(), cb.size(), alphabet.size());
}

// Calls sink(scalar) for each scalar of well-formed UTF-8; false at the first ill-formed
// sequence (decode_utf8 then substitutes U+FFFD for it) or when sink returns false.
template <class Sink>
bool for_each_scalar(TextSlice text, Sink&& sink) {
    const std::uint8_t* p = text.bytes();
    const std::uint8_t* const end = p + text.size;
    while (p < end) {
        std::uint32_t c = *p;
        if (c < 0x80) {
            ++p;
        } else {
            std::ptrdiff_t n = 0;
            std::uint32_t least = 0;  // shorter forms are overlong
            if (c >= 0xC2 && c <= 0xDF) {
                n = 1, c &= 0x1F, least = 0x80;
            } else if ((c & 0xF0) == 0xE0) {
                n = 2, c &= 0x0F, least = 0x800;
            } else if (c >= 0xF0 && c <= 0xF4) {
                n = 3, c &= 0x07, least = 0x10000;
            } else {
                return false;
            }
            if (end - p <= n) return false;
            for (std::ptrdiff_t k = 1; k <= n; ++k) {
                if ((p[k] & 0xC0) != 0x80) return false;
                c = (c << 6) | (p[k] & 0x3Fu);
            }
            if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
            p += n + 1;
        }
        if (!sink(c)) return false;
    }
    return true;
}

// Short texts decoded on the stack. Code points below 256 are their own codes; the row text's
// other characters are numbered from 256 in order of appearance, and a column text's
// characters that the row text lacks all take `absent`: they equal nothing in the row text,
// and that is all the recurrence asks of them.
using Code = std::uint16_t;
constexpr std::size_t short_units = 128;
constexpr std::size_t wide_cap = 64;
constexpr Code absent = 256 + wide_cap;
constexpr std::size_t code_alphabet = absent + 1;

struct RowText {
    Code units[short_units];
    std::uint32_t wide[wide_cap];
    std::size_t size = 0, wide_size = 0;

    // False when the text is ill-formed, longer than short_units or has more than wide_cap
    // distinct characters from 256 up.
    bool build(TextSlice text) noexcept {
        size = wide_size = 0;
        return for_each_scalar(text, [&](std::uint32_t c) {
            if (size == short_units) return false;
            if (c >= 256) {
                const std::size_t w = find_wide(c);
                if (w == wide_size) {
                    if (wide_size == wide_cap) return false;
                    wide[wide_size++] = c;
                }
                c = static_cast<std::uint32_t>(256 + w);
            }
            units[size++] = static_cast<Code>(c);
            return true;
        });
    }

    std::size_t find_wide(std::uint32_t c) const noexcept {
        std::size_t w = 0;
        while (w < wide_size && wide[w] != c) ++w;
        return w;
    }
};

struct ColumnText {
    Code units[short_units];
    std::size_t size = 0;

    bool build(TextSlice text, const RowText& row) noexcept {
        size = 0;
        return for_each_scalar(text, [&](std::uint32_t c) {
            if (size == short_units) return false;
            if (c >= 256) {
                const std::size_t w = row.find_wide(c);
                c = w == row.wide_size ? absent : static_cast<std::uint32_t>(256 + w);
            }
            units[size++] = static_cast<Code>(c);
            return true;
        });
    }
};

std::uint32_t short_distance(const RowText& a, const ColumnText& b) {
    return code_distance(a.units, a.size, b.units, b.size, code_alphabet);
}

// One text against many: its ASCII test and its short decoding made once.
struct Row {
    TextSlice text;
    bool ascii;
    bool short_ok;
    RowText decoded;

    explicit Row(TextSlice t) : text(t), ascii(is_ascii(t)) { short_ok = decoded.build(t); }

    std::uint32_t distance_to(TextSlice b, bool b_ascii) const {
        if (ascii && b_ascii) return byte_distance(text, b);
        ColumnText column;
        if (short_ok && column.build(b, decoded)) return short_distance(decoded, column);
        return dense_distance(decode_utf8(text), decode_utf8(b));
    }
};

// ---- Sixteen pairs at once: one row text against sixteen column texts, one per 8-bit lane ----
//
// With unit costs a transposition whose two gaps are both non-empty never beats the plain
// edits: c X d -> d Y c costs 1 + |X| + |Y|, while substituting across costs at most
// 2 + max(|X|, |Y|). So at cell (i, j) only two transpositions count, each with one gap empty:
//   t1, when a[i-1] = b[j]:  D(i-2, l-1) + (j - l), l the last column before j with b[l] = a[i];
//   t2, when b[j-1] = a[i]:  D(k-1, j-2) + (i - k), k the last row before i with a[k] = b[j]
// (1-based, D(i, j) the distance of the prefixes). Each is kept as a running value, t1 along
// the row and t2 down each column, growing by one per step and reset to the value at the
// newest match; the newest match is also the least, since one step changes D by at most one.
// The recurrence then needs only the last two rows: no matrix, no look-up by character, and
// every step is the same for all lanes.
using Lanes = std::uint8_t __attribute__((vector_size(16)));
constexpr std::size_t lane_count = 16;
// Distances stay at most lane_max and running values at most 2 * lane_max, below lane_none;
// values grown from lane_none stay below 0xFF, which marks a transposition that does not apply.
constexpr std::size_t lane_max = 60;
constexpr std::uint8_t lane_none = 0x80;
// Columns past a text's end: any code would do, since a cell reads only columns up to its own.
constexpr std::uint8_t lane_pad = 0xFF;

Lanes splat(std::size_t x) noexcept { return Lanes{} + static_cast<std::uint8_t>(x); }
Lanes lanes_min(Lanes x, Lanes y) noexcept { return x < y ? x : y; }
Lanes lanes_max(Lanes x, Lanes y) noexcept { return x > y ? x : y; }

// out[lane] = distance of the row codes a[0, la) to the lane's column text, whose codes are
// bt[0, lengths[lane]) in that lane. la and every length are at most lane_max, and width is
// the longest length.
void lanes_distance(const std::uint8_t* a, std::size_t la, const Lanes* bt, std::size_t width,
                    const std::uint8_t* lengths, std::uint32_t* out) noexcept {
    // Entry c + 1 of a row holds column c; entry 0 stands for column -1, which only the reset
    // of t2 at column 1 reads (where t2 never applies).
    Lanes rows[3][lane_max + 2];
    Lanes next_t1_off[lane_max + 1];  // ~(b[j] == a[i-1]) per column: t1 does not apply
    Lanes t2[lane_max + 1];
    const Lanes one = splat(1), none = splat(lane_none), off = splat(0xFF);
    Lanes* r2 = rows[0];  // row i - 2
    Lanes* r1 = rows[1];  // row i - 1
    Lanes* cur = rows[2];
    r1[0] = none;
    for (std::size_t c = 0; c <= width; ++c) {
        r2[c] = none;
        r1[c + 1] = splat(c);
        next_t1_off[c] = off;
        t2[c] = none;
    }
    r2[width + 1] = none;
    for (std::size_t i = 1; i <= la; ++i) {
        const Lanes ai = splat(a[i - 1]);
        cur[0] = none;
        cur[1] = splat(i);
        Lanes left = cur[1], t1 = none, t2_off = off;
        for (std::size_t j = 1; j <= width; ++j) {
            const Lanes same = reinterpret_cast<Lanes>(bt[j - 1] == ai);
            const Lanes differ = ~same;
            const Lanes sub = r1[j] + one + same;  // same is 0xFF: adds one less
            const Lanes del = r1[j + 1] + one;
            const Lanes tr = lanes_min(lanes_max(t1, next_t1_off[j]), lanes_max(t2[j], t2_off));
            const Lanes v = lanes_min(lanes_min(lanes_min(sub, del), tr), left + one);
            cur[j + 1] = v;
            left = v;
            t1 = lanes_min(t1 + one, lanes_max(r2[j] + one, differ));
            t2[j] = lanes_min(t2[j] + one, lanes_max(r1[j - 1] + one, differ));
            next_t1_off[j] = differ;
            t2_off = differ;
        }
        Lanes* const done = r2;
        r2 = r1;
        r1 = cur;
        cur = done;
    }
    for (std::size_t k = 0; k < lane_count; ++k) out[k] = r1[lengths[k] + 1][k];
}

// Code points to 8-bit codes in order of first appearance, at most 256 of them: an
// open-addressing table four times that size.
class LaneAlphabet {
  public:
    LaneAlphabet() noexcept {
        for (std::uint32_t& key : keys_) key = empty;
    }

    // The code of c, or -1 when c would be the 257th character.
    int code(std::uint32_t c) noexcept {
        std::size_t h = (c * 0x9E3779B1u) >> 22;
        while (keys_[h] != c) {
            if (keys_[h] == empty) {
                if (size_ == 256) return -1;
                keys_[h] = c;
                codes_[h] = static_cast<std::uint8_t>(size_++);
                break;
            }
            h = (h + 1) % slots;
        }
        return codes_[h];
    }

  private:
    static constexpr std::size_t slots = 1024;
    static constexpr std::uint32_t empty = 0xFFFFFFFF;  // no scalar value
    std::uint32_t keys_[slots];
    std::uint8_t codes_[slots] = {};
    std::size_t size_ = 0;
};

// Texts as 8-bit lane codes: ASCII bytes as they are when every text is ASCII, otherwise
// LaneAlphabet codes shared by both lists. Texts that do not fit a lane (or a list with more
// than 256 characters) take the one-pair routes.
struct CodedText {
    const std::uint8_t* data;
    std::size_t size;
    bool ascii;
    bool in_lanes;
};

class LaneTexts {
  public:
    std::vector<CodedText> a, b;

    LaneTexts(std::span<const TextSlice> list_a, std::span<const TextSlice> list_b) {
        bool all_ascii = true;
        for (auto [list, out] : {std::pair(list_a, &a), std::pair(list_b, &b)}) {
            out->reserve(list.size());
            for (const TextSlice t : list) {
                const bool ascii = is_ascii(t);
                all_ascii = all_ascii && ascii;
                out->push_back({t.bytes(), t.size, ascii, t.size <= lane_max});
            }
        }
        if (!all_ascii) code_all();
    }

  private:
    std::vector<std::uint8_t> codes_;

    void code_all() {
        LaneAlphabet alphabet;
        std::vector<std::size_t> starts;
        starts.reserve(a.size() + b.size());
        bool full = false;
        for (std::vector<CodedText>* list : {&a, &b}) {
            for (CodedText& text : *list) {
                const std::size_t start = codes_.size();
                auto push = [&](std::uint32_t c) {
                    const int code = codes_.size() - start < lane_max ? alphabet.code(c) : -2;
                    full = full || code == -1;
                    if (code < 0) return false;
                    codes_.push_back(static_cast<std::uint8_t>(code));
                    return true;
                };
                const TextSlice slice(reinterpret_cast<const char*>(text.data), text.size);
                text.in_lanes = !full && for_each_scalar(slice, push);
                if (!text.in_lanes) codes_.resize(start);
                starts.push_back(start);
                text.size = codes_.size() - start;
            }
        }
        std::size_t k = 0;
        for (std::vector<CodedText>* list : {&a, &b}) {
            for (CodedText& text : *list) {
                text.in_lanes = text.in_lanes && !full;
                text.data = codes_.data() + starts[k++];
            }
        }
    }
};

// Up to sixteen column texts of about one length, so that little of a group is padding.
struct LaneGroup {
    std::size_t count = 0, width = 0;
    std::uint8_t lengths[lane_count] = {};
    std::size_t columns[lane_count] = {};

    void transpose(const std::vector<CodedText>& texts, Lanes* bt) const noexcept {
        for (std::size_t j = 0; j < width; ++j) bt[j] = splat(lane_pad);
        for (std::size_t k = 0; k < count; ++k) {
            const CodedText& t = texts[columns[k]];
            for (std::size_t j = 0; j < t.size; ++j) bt[j][k] = t.data[j];
        }
    }
};

// Groups of the texts that fit lanes, by length (a counting sort), and the others.
struct LanePlan {
    std::vector<LaneGroup> groups;
    std::vector<std::size_t> others;

    explicit LanePlan(const std::vector<CodedText>& texts) {
        std::size_t starts[lane_max + 2] = {};
        for (const CodedText& t : texts) {
            if (t.in_lanes) ++starts[t.size + 1];
        }
        for (std::size_t n = 1; n <= lane_max + 1; ++n) starts[n] += starts[n - 1];
        std::vector<std::size_t> order(starts[lane_max + 1]);
        for (std::size_t j = 0; j < texts.size(); ++j) {
            if (texts[j].in_lanes) {
                order[starts[texts[j].size]++] = j;
            } else {
                others.push_back(j);
            }
        }
        groups.resize((order.size() + lane_count - 1) / lane_count);
        for (std::size_t n = 0; n < order.size(); ++n) {
            LaneGroup& g = groups[n / lane_count];
            const std::size_t size = texts[order[n]].size;
            g.lengths[g.count] = static_cast<std::uint8_t>(size);
            g.columns[g.count++] = order[n];
            g.width = std::max(g.width, size);
        }
    }
};

}  // namespace

std::uint32_t damerau_bytes(TextSlice a, TextSlice b) {
    QUILLON_CHECK(is_ascii(a) && is_ascii(b), "damerau_bytes requires ASCII inputs");
    ByteRows last_row;
    return distance(bytes_of(a), bytes_of(b), last_row);
}

std::uint32_t damerau_full_matrix(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return damerau_bytes(a, b);
    return scalar_distance(decode_utf8(a), decode_utf8(b));
}

std::uint32_t damerau_levenshtein_distance(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return byte_distance(a, b);
    RowText row;
    ColumnText column;
    if (row.build(a) && column.build(b, row)) return short_distance(row, column);
    return dense_distance(decode_utf8(a), decode_utf8(b));
}

double damerau_ratio(TextSlice a, TextSlice b) {
    if (is_ascii(a) && is_ascii(b)) return ratio_of(a.size + b.size, byte_distance(a, b));
    // The character lengths are the lengths of the decoded sequences.
    RowText row;
    ColumnText column;
    if (row.build(a) && column.build(b, row)) {
        return ratio_of(row.size + column.size, short_distance(row, column));
    }
    const Scalars sa = decode_utf8(a), sb = decode_utf8(b);
    return ratio_of(sa.size() + sb.size(), dense_distance(sa, sb));
}

namespace {

// One piece of a batch, on one thread: its candidates coded with the query, grouped by length
// and scored in lanes (the others one by one), results written to out.
void batch_piece(TextSlice query, std::span<const TextSlice> candidates, std::uint32_t* out) {
    const LaneTexts texts(std::span(&query, 1), candidates);
    const CodedText& q = texts.a[0];
    const LanePlan plan(texts.b);
    if (q.in_lanes) {
        for (const LaneGroup& group : plan.groups) {
            Lanes bt[lane_max];
            group.transpose(texts.b, bt);
            std::uint32_t r[lane_count];
            lanes_distance(q.data, q.size, bt, group.width, group.lengths, r);
            for (std::size_t k = 0; k < group.count; ++k) out[group.columns[k]] = r[k];
        }
    }
    if (!q.in_lanes || !plan.others.empty()) {
        const Row row(query);
        for (std::size_t j = 0; j < candidates.size(); ++j) {
            if (!q.in_lanes || !texts.b[j].in_lanes) {
                out[j] = row.distance_to(candidates[j], texts.b[j].ascii);
            }
        }
    }
}

}  // namespace

std::vector<std::uint32_t> damerau_levenshtein_batch(TextSlice query,
                                                     std::span<const TextSlice> candidates) {
    std::vector<std::uint32_t> out(candidates.size());
    // Pieces code and group their own candidates, so that no pass over the whole list runs on
    // one thread; several per thread, so that a short list of long texts is shared out too.
    const std::size_t piece =
        std::clamp<std::size_t>(candidates.size() / (8 * pool::size()), 16, 4096);
    pool::for_each_chunk(
        candidates.size(), piece, [&](std::size_t, std::size_t begin, std::size_t end) {
            batch_piece(query, candidates.subspan(begin, end - begin), out.data() + begin);
        });
    return out;
}

std::vector<std::vector<std::uint32_t>> damerau_levenshtein_cdist(
    std::span<const TextSlice> list_a, std::span<const TextSlice> list_b) {
    if (list_a.empty() || list_b.empty()) return {};
    const LaneTexts texts(list_a, list_b);
    const LanePlan plan(texts.b);
    // Every row reads the same transposed columns.
    std::vector<std::size_t> offsets(plan.groups.size());
    std::size_t total = 0;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        offsets[g] = total;
        total += plan.groups[g].width;
    }
    std::vector<Lanes> bt(total);
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        plan.groups[g].transpose(texts.b, bt.data() + offsets[g]);
    }
    return pool::map(
        list_a.size(),
        [&](std::size_t i) {
            const CodedText& ra = texts.a[i];
            std::vector<std::uint32_t> out(list_b.size());
            if (!ra.in_lanes) {
                const Row row(list_a[i]);
                for (std::size_t j = 0; j < out.size(); ++j) {
                    out[j] = row.distance_to(list_b[j], texts.b[j].ascii);
                }
                return out;
            }
            for (std::size_t g = 0; g < plan.groups.size(); ++g) {
                const LaneGroup& group = plan.groups[g];
                std::uint32_t r[lane_count];
                lanes_distance(ra.data, ra.size, bt.data() + offsets[g], group.width, group.lengths,
                               r);
                for (std::size_t k = 0; k < group.count; ++k) out[group.columns[k]] = r[k];
            }
            if (!plan.others.empty()) {
                const Row row(list_a[i]);
                for (const std::size_t j : plan.others) {
                    out[j] = row.distance_to(list_b[j], texts.b[j].ascii);
                }
            }
            return out;
        },
        pool::rows_per_piece(list_b.size()));
}

}  // namespace quillon
