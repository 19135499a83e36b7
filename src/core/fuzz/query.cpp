// The indel ratio of a prepared query against candidates, by the bit-vector LCS with the
// query as the pattern (indel = la + lb - 2 LCS, and the LCS does not depend on which text is
// the pattern).
#include "query.hpp"

#include "../bitpar.hpp"
#include "../scores.hpp"
#include "common.hpp"

namespace quillon::fuzz {

struct RatioQuery::Blocks {
    std::unique_ptr<bitpar::PatternMasks<std::uint8_t>> bytes;     // an ASCII query
    std::unique_ptr<bitpar::PatternMasks<std::uint32_t>> scalars;  // any other
    std::size_t count;
};

namespace {

// One step of S' = (S + (S & M)) | (S - (S & M)); bits above the pattern stay ones.
inline std::uint64_t lcs_step(std::uint64_t s, std::uint64_t mask) noexcept {
    const std::uint64_t u = s & mask;
    return (s + u) | (s - u);
}

inline std::uint64_t low_bits(std::size_t n) noexcept {
    return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
}

// The block form: the addition carries from block to block.
inline void lcs_block_step(std::uint64_t* s, const std::uint64_t* eq, std::size_t blocks) noexcept {
    std::uint64_t carry = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::uint64_t u = s[b] & eq[b];
        const std::uint64_t sum1 = s[b] + u;
        const std::uint64_t sum = sum1 + carry;
        carry = (sum1 < u) | (sum < carry);
        s[b] = sum | (s[b] - u);
    }
}

// Zeros of the state within the pattern's m bits: the LCS.
inline std::uint64_t zeros(const std::uint64_t* s, std::size_t blocks, std::size_t m) noexcept {
    std::uint64_t count = 0;
    for (std::size_t b = 0; b + 1 < blocks; ++b) count += count_ones(~s[b]);
    const std::uint64_t last = ~s[blocks - 1] & low_bits(m - 64 * (blocks - 1));
    return count + count_ones(last);
}

}  // namespace

RatioQuery::Lanes::Lanes(const std::uint8_t* bytes, std::size_t m) noexcept
    : pattern(bytes, m), ascii(true) {
    std::memset(two_byte, absent, sizeof two_byte);
    for (std::uint8_t c = 0; c < 0x80; ++c) two_byte[c] = c;
}

// Units 128 upwards in order of first appearance: at most 64 characters, so they end below
// `absent`.
RatioQuery::Lanes::Lanes(const std::uint32_t* scalars, std::size_t m) noexcept
    : pattern(nullptr, 0), ascii(false) {
    std::memset(two_byte, absent, sizeof two_byte);
    for (std::uint8_t c = 0; c < 0x80; ++c) two_byte[c] = c;
    std::uint8_t units[64];
    std::uint8_t next = 128;
    for (std::size_t j = 0; j < m; ++j) {
        const std::uint32_t c = scalars[j];
        std::uint8_t u = unit(c);
        if (u == absent) {
            u = next++;
            if (c < 0x800) {
                two_byte[c] = u;
            } else {
                wide[wide_count] = c;
                wide_units[wide_count++] = u;
            }
        }
        units[j] = u;
    }
    pattern = simd::packed::Query(units, m);
}

RatioQuery::RatioQuery(TextSlice query) : ascii_(is_ascii(query)) {
    if (ascii_) {
        length_ = query.size;
        if (length_ == 0) return;
        if (length_ <= 64) {
            word_ = std::make_unique<WordMasks>(query.bytes(), length_);
            lanes_ = std::make_unique<Lanes>(query.bytes(), length_);
        } else {
            blocks_ = std::make_unique<Blocks>();
            blocks_->bytes =
                std::make_unique<bitpar::PatternMasks<std::uint8_t>>(query.bytes(), length_);
            blocks_->count = blocks_->bytes->blocks();
        }
        return;
    }
    const Scalars units = decode_utf8(query);
    length_ = units.size();
    if (length_ <= 64) {
        word_ = std::make_unique<WordMasks>(units.data(), length_);
        lanes_ = std::make_unique<Lanes>(units.data(), length_);
    } else {
        blocks_ = std::make_unique<Blocks>();
        blocks_->scalars =
            std::make_unique<bitpar::PatternMasks<std::uint32_t>>(units.data(), length_);
        blocks_->count = blocks_->scalars->blocks();
    }
}

RatioQuery::~RatioQuery() = default;

double RatioQuery::score(const Measured& candidate, RatioScratch& scratch) const {
    const std::size_t total = length_ + candidate.length;
    if (total == 0) return 100.0;
    // The distance is the whole total: (1 - 1) * 100.
    if (length_ == 0 || candidate.length == 0) return 0.0;
    const std::uint64_t lcs = word_ ? lcs_word(candidate) : lcs_blocks(candidate, scratch);
    return indel_ratio(total - 2 * lcs, total);
}

std::uint64_t RatioQuery::lcs_word(const Measured& candidate) const noexcept {
    const WordMasks& masks = *word_;
    const std::uint8_t *p = candidate.text.bytes(), *end = p + candidate.text.size;
    std::uint64_t s = ~std::uint64_t{0};
    if (ascii_ || candidate.ascii) {
        // Bytes are characters, or the query is ASCII: every byte of a longer character then
        // has a zero mask, and a zero mask leaves the state as it is.
        for (; p != end; ++p) s = lcs_step(s, masks[*p]);
    } else {
        while (p != end) s = lcs_step(s, masks[next_scalar(p, end)]);
    }
    return count_ones(~s & low_bits(length_));
}

std::uint64_t RatioQuery::lcs_blocks(const Measured& candidate, RatioScratch& scratch) const {
    const std::size_t blocks = blocks_->count;
    scratch.state.assign(blocks, ~std::uint64_t{0});
    std::uint64_t* s = scratch.state.data();
    const std::uint8_t *p = candidate.text.bytes(), *end = p + candidate.text.size;
    if (blocks_->bytes) {
        // An ASCII query: bytes of longer characters have rows of zeros, as above.
        for (; p != end; ++p) lcs_block_step(s, blocks_->bytes->row(*p), blocks);
    } else if (candidate.ascii) {
        for (; p != end; ++p) lcs_block_step(s, blocks_->scalars->row(*p), blocks);
    } else {
        while (p != end) lcs_block_step(s, blocks_->scalars->row(next_scalar(p, end)), blocks);
    }
    return zeros(s, blocks, length_);
}

}  // namespace quillon::fuzz
