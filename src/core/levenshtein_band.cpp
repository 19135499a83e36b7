// Banded Myers blocks for long texts. The pattern (the shorter text) runs down the bit rows in
// blocks of 64, the text along the columns. A pass with bound k evaluates only the diagonals
// d = j - i that a path of cost k can touch: the first i rows and j columns cost at least |d|,
// the rest at least |(n - m) - d|, so lo <= d <= hi with lo = -(k - delta)/2, hi = delta + (k -
// delta)/2. Blocks above the band stop (the next block takes +1 from above, as from the top
// row); blocks below it start with vertical deltas of +1 from the block above. Both stand-ins
// are upper bounds of the true cells (D[i][j] <= D[i'][j] + |i - i'|, and likewise along a
// row), so every cell is at least its true value, and a cell on a path of cost at most k is
// exact: that path never leaves the band.
#include "levenshtein_band.hpp"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "memory.hpp"
#include "simd/band.hpp"
#include "simd/isa.hpp"

namespace quillon {

namespace {

// Position masks with one row per distinct unit of the pattern and a row of zeros for the
// others: a long text of few distinct letters takes a few kilobytes, not 2 KiB per block.
// Units below 256 find their row by table, others by a small open-addressing map. Each row
// has simd::band_pad blocks of zeros at both ends for the lanes that run past the band.
template <class Unit>
class BandMasks {
  public:
    BandMasks(const Unit* pattern, std::size_t m)
        : blocks_((m + 63) / 64), stride_(blocks_ + 2 * simd::band_pad) {
        // Which units below 256 occur, by stores alone (a test of the table per unit
        // mispredicts), then their rows in unit order; row 0 holds the zeros.
        std::uint8_t seen[256] = {};
        std::size_t wide = 0;
        for (std::size_t k = 0; k < m; ++k) {
            const auto c = static_cast<std::uint32_t>(pattern[k]);
            if (sizeof(Unit) == 1 || c < 256) {
                seen[c] = 1;
            } else {
                ++wide;
            }
        }
        std::size_t rows = 1;
        for (std::size_t c = 0; c < 256; ++c) {
            offset_[c] = seen[c] ? rows * stride_ : 0;
            rows += seen[c];
        }
        if (wide > 0) {
            std::size_t capacity = 8;
            while (capacity < 2 * wide) capacity *= 2;
            keys_.assign(capacity, empty_key);
            offsets_.assign(capacity, 0);
            for (std::size_t k = 0; k < m; ++k) {
                const auto c = static_cast<std::uint32_t>(pattern[k]);
                if (c < 256) continue;
                std::size_t i = slot(c);
                if (keys_[i] == empty_key) {
                    keys_[i] = c;
                    offsets_[i] = rows++ * stride_;
                }
            }
        }
        // m distinct characters take m * m / 8 bytes; the zero fill commits them at once.
        const memory::Claim claim(memory::cells(rows, stride_), sizeof(std::uint64_t));
        masks_.assign(rows * stride_, 0);
        for (std::size_t k = 0; k < m; ++k) {
            std::uint64_t* r = data() + offset_of(static_cast<std::uint32_t>(pattern[k]));
            r[k / 64] |= std::uint64_t{1} << (k % 64);
        }
    }

    std::size_t blocks() const noexcept { return blocks_; }

    // Block b of the row at offset o is data()[o + b].
    std::uint64_t* data() noexcept { return masks_.data() + simd::band_pad; }
    const std::uint64_t* data() const noexcept { return masks_.data() + simd::band_pad; }

    std::uint64_t offset_of(std::uint32_t c) const noexcept {
        if (c < 256) return offset_[c];
        if (keys_.empty()) return 0;
        const std::size_t i = slot(c);
        return keys_[i] == c ? offsets_[i] : 0;
    }

  private:
    // No scalar value reaches this key: they end at U+10FFFF.
    static constexpr std::uint32_t empty_key = 0xFFFFFFFFu;

    // The slot that holds c, or the empty slot where it would go.
    std::size_t slot(std::uint32_t c) const noexcept {
        const std::size_t mask = keys_.size() - 1;
        std::size_t i = static_cast<std::size_t>(c * 0x9E3779B1u) & mask;
        while (keys_[i] != c && keys_[i] != empty_key) i = (i + 1) & mask;
        return i;
    }

    std::size_t blocks_, stride_;
    std::uint64_t offset_[256];
    std::vector<std::uint32_t> keys_;
    std::vector<std::uint64_t> offsets_;
    std::vector<std::uint64_t> masks_;
};

// One block of one column (Hyyrö's step). (hp, hn) carry the horizontal delta at the row above
// the block in and the one at its last row out; pv, mv are the block's vertical deltas.
inline void advance(std::uint64_t& pv, std::uint64_t& mv, std::uint64_t eq, std::uint64_t& hp,
                    std::uint64_t& hn) noexcept {
    const std::uint64_t xv = eq | mv;
    eq |= hn;
    const std::uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
    std::uint64_t ph = mv | ~(xh | pv);
    std::uint64_t mh = pv & xh;
    const std::uint64_t hp_out = ph >> 63, hn_out = mh >> 63;
    ph = (ph << 1) | hp;
    mh = (mh << 1) | hn;
    pv = mh | ~(xv | ph);
    mv = ph & xv;
    hp = hp_out;
    hn = hn_out;
}

// The same for the band's last block, whose bottom row is the one the score follows: bit
// `bit` of the horizontal deltas moves it.
inline void advance_last(std::uint64_t& pv, std::uint64_t& mv, std::uint64_t eq, std::uint64_t hp,
                         std::uint64_t hn, unsigned bit, std::uint64_t& score) noexcept {
    const std::uint64_t xv = eq | mv;
    eq |= hn;
    const std::uint64_t xh = (((eq & pv) + pv) ^ pv) | eq;
    std::uint64_t ph = mv | ~(xh | pv);
    std::uint64_t mh = pv & xh;
    score += (ph >> bit) & 1;
    score -= (mh >> bit) & 1;
    ph = (ph << 1) | hp;
    mh = (mh << 1) | hn;
    pv = mh | ~(xv | ph);
    mv = ph & xv;
}

// Columns [j, end) of a band whose blocks are f to f + W - 1 throughout, the blocks' state in
// registers: the processor overlaps the next column's first blocks with this column's last
// ones by itself.
template <std::size_t W>
std::uint64_t run_in_registers(const simd::BandPass& p, std::size_t f, std::size_t j,
                               std::size_t end, unsigned bit, std::uint64_t score) noexcept {
    std::uint64_t pv[W], mv[W];
    for (std::size_t b = 0; b < W; ++b) pv[b] = p.vp[f + b], mv[b] = p.vn[f + b];
    for (; j < end; ++j) {
        const std::uint64_t* eq = p.masks + p.cols[j - 1] + f;
        std::uint64_t hp = 1, hn = 0;
        for (std::size_t b = 0; b + 1 < W; ++b) advance(pv[b], mv[b], eq[b], hp, hn);
        advance_last(pv[W - 1], mv[W - 1], eq[W - 1], hp, hn, bit, score);
    }
    for (std::size_t b = 0; b < W; ++b) p.vp[f + b] = pv[b], p.vn[f + b] = mv[b];
    return score;
}

// The same for any number of blocks, two columns at a time as a wavefront: block b of column j
// beside block b - 1 of column j + 1, which already sees what column j left there.
std::uint64_t run_in_memory(const simd::BandPass& p, std::size_t f, std::size_t l, std::size_t j,
                            std::size_t end, unsigned bit, std::uint64_t score) noexcept {
    std::uint64_t *vp = p.vp, *vn = p.vn;
    for (; j + 1 < end; j += 2) {
        const std::uint64_t* eq0 = p.masks + p.cols[j - 1];
        const std::uint64_t* eq1 = p.masks + p.cols[j];
        std::uint64_t hp0 = 1, hn0 = 0, hp1 = 1, hn1 = 0;
        advance(vp[f], vn[f], eq0[f], hp0, hn0);
        for (std::size_t b = f + 1; b < l; ++b) {
            advance(vp[b], vn[b], eq0[b], hp0, hn0);
            advance(vp[b - 1], vn[b - 1], eq1[b - 1], hp1, hn1);
        }
        advance_last(vp[l], vn[l], eq0[l], hp0, hn0, bit, score);
        advance(vp[l - 1], vn[l - 1], eq1[l - 1], hp1, hn1);
        advance_last(vp[l], vn[l], eq1[l], hp1, hn1, bit, score);
    }
    if (j < end) {
        const std::uint64_t* eq = p.masks + p.cols[j - 1];
        std::uint64_t hp = 1, hn = 0;
        for (std::size_t b = f; b < l; ++b) advance(vp[b], vn[b], eq[b], hp, hn);
        advance_last(vp[l], vn[l], eq[l], hp, hn, bit, score);
    }
    return score;
}

// The pass in plain words, in runs of columns that share their first and last block.
std::uint64_t band_pass_portable(const simd::BandPass& p) noexcept {
    const std::size_t m = p.m, n = p.n, blocks = p.blocks, half = p.half, hi = p.hi;
    // Rows are 1-based: column j holds rows max(1, j - hi) to min(m, j + half).
    auto first_block = [&](std::size_t j) { return j > hi + 1 ? (j - hi - 1) / 64 : 0; };
    auto last_block = [&](std::size_t j) { return (std::min(m, j + half) - 1) / 64; };

    // Column 0 is the boundary D[i][0] = i: exact in every block the first column reaches.
    std::size_t last = last_block(1);
    for (std::size_t b = 0; b <= last; ++b) p.vp[b] = ~std::uint64_t{0}, p.vn[b] = 0;
    // The score follows the bottom row of the band's last block.
    std::uint64_t score = std::min(64 * (last + 1), m);

    for (std::size_t j = 1; j <= n;) {
        const std::size_t f = first_block(j), l = last_block(j);
        if (l > last) {
            // Rows of the new block were outside the band in the previous column: they start
            // from +1 below the block above.
            last = l;
            p.vp[l] = ~std::uint64_t{0}, p.vn[l] = 0;
            score += l + 1 == blocks ? m - 64 * l : 64;
        }
        // The run ends where the band's top leaves block f or its bottom enters block l + 1.
        std::size_t end = std::max(j + 1, hi + 1 + 64 * (f + 1));
        if (l + 1 < blocks)
            end = std::min(end, std::max(j + 1, 64 * (l + 1) + 1 - std::min(half, 64 * (l + 1))));
        end = std::min(end, n + 1);
        // 63 for a full block, row m for the pattern's last one.
        const unsigned bit = l + 1 == blocks ? static_cast<unsigned>((m - 1) % 64) : 63u;
        switch (l - f) {
            case 0:
                score = run_in_registers<1>(p, f, j, end, bit, score);
                break;
            case 1:
                score = run_in_registers<2>(p, f, j, end, bit, score);
                break;
            case 2:
                score = run_in_registers<3>(p, f, j, end, bit, score);
                break;
            case 3:
                score = run_in_registers<4>(p, f, j, end, bit, score);
                break;
            case 4:
                score = run_in_registers<5>(p, f, j, end, bit, score);
                break;
            default:
                score = run_in_memory(p, f, l, j, end, bit, score);
                break;
        }
        j = end;
    }
    return score;
}

// Bands of fewer blocks per column take the word loop whatever the processor.
constexpr std::size_t lanes_from_blocks = 6;

// The pattern's masks, each text unit's row, and the blocks' state, shared by the passes.
template <class Unit>
class Band {
  public:
    // m <= n, m >= 1.
    Band(const Unit* pattern, std::size_t m, const Unit* text, std::size_t n)
        : masks_(pattern, m),
          cols_claim_(n, sizeof(std::uint64_t)),
          cols_(n),
          state_(2 * (masks_.blocks() + 2 * simd::band_pad), 0) {
        for (std::size_t j = 0; j < n; ++j)
            cols_[j] = masks_.offset_of(static_cast<std::uint32_t>(text[j]));
        const std::size_t blocks = masks_.blocks();
        pass_ = {masks_.data(),
                 cols_.data(),
                 state_.data() + simd::band_pad,
                 state_.data() + blocks + 3 * simd::band_pad,
                 m,
                 n,
                 blocks,
                 0,
                 0};
    }

    // One pass with bound k >= n - m.
    std::uint64_t pass(std::size_t k) noexcept {
        const std::size_t delta = pass_.n - pass_.m;
        pass_.half = (k - delta) / 2;
        pass_.hi = delta + pass_.half;
        // A lane group spends width - 1 steps on its skew and, in a narrow band, handles the
        // band's edges in nearly every step: narrow bands stay on words.
        const std::size_t band_blocks = (pass_.half + pass_.hi) / 64 + 2;
        const simd::BandKernel lanes = simd::kernels().band_pass;
        if (band_blocks < lanes_from_blocks || lanes == nullptr) return band_pass_portable(pass_);
        return lanes(pass_);
    }

  private:
    BandMasks<Unit> masks_;
    // A word per text unit: eight times a long ASCII text, claimed like the masks.
    memory::Claim cols_claim_;
    std::vector<std::uint64_t> cols_, state_;
    simd::BandPass pass_;
};

template <class Unit>
std::uint64_t band(const Unit* a, std::size_t la, const Unit* b, std::size_t lb) {
    if (la > lb) std::swap(a, b), std::swap(la, lb);
    if (la == 0) return lb;
    Band<Unit> band(a, la, b, lb);
    // A narrow first pass: near texts finish in it, and any other pair learns an upper bound
    // of its distance, with which the second pass is exact.
    std::size_t k = lb - la + 128;
    for (;;) {
        const std::uint64_t d = band.pass(k);
        if (d <= k) return d;
        k = static_cast<std::size_t>(d);
    }
}

}  // namespace

std::uint64_t levenshtein_band(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                               std::size_t lb) {
    return band(a, la, b, lb);
}

std::uint64_t levenshtein_band(const std::uint32_t* a, std::size_t la, const std::uint32_t* b,
                               std::size_t lb) {
    return band(a, la, b, lb);
}

std::uint64_t levenshtein_band_pass(const std::uint8_t* a, std::size_t la, const std::uint8_t* b,
                                    std::size_t lb, std::size_t k) {
    if (la > lb) std::swap(a, b), std::swap(la, lb);
    if (la == 0) return lb;
    return Band<std::uint8_t>(a, la, b, lb).pass(std::max(k, lb - la));
}

}  // namespace quillon
