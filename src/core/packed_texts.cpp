// Unit mapping and block packing for the narrow-lane kernels.
#include "packed_texts.hpp"

#include <algorithm>
#include <array>
#include <memory>

#include "fuzz/units.hpp"

namespace quillon {

namespace packed = simd::packed;

simd::packed::Query::Query(const std::uint8_t* units, std::size_t m) noexcept : length(m) {
    std::memset(low, 0, sizeof low);
    std::memset(high, 0, sizeof high);
    for (std::size_t j = 0; j < m; ++j) {
        low[units[j] & 15] |= std::uint64_t{1} << j;
        high[units[j] >> 4] |= std::uint64_t{1} << j;
    }
}

Units UnitTexts::add_other(TextSlice text) {
    Units u;
    if (is_ascii(text)) {
        u.data = text.bytes();
        u.size = static_cast<std::uint32_t>(text.size);
        u.fits = text.size <= packed::max_units;
        return u;
    }
    // At most four bytes per code point: longer texts cannot fit.
    if (text.size > 4 * packed::max_units) return u;
    const std::size_t start = storage_.size();
    if (!decode(text)) {
        storage_.resize(start);
        return u;
    }
    u.offset = static_cast<std::uint32_t>(start);
    u.size = static_cast<std::uint32_t>(storage_.size() - start);
    u.fits = true;
    return u;
}

// The unit of c, assigning the next free one; -1 when none is left.
int UnitTexts::unit(std::uint32_t c) {
    if (c < 0x10000) {  // ASCII never comes here: its entries hold its own units
        std::uint8_t& u = bmp_[c];
        if (u == 0) {
            if (next_ > 255) return -1;
            u = static_cast<std::uint8_t>(next_++);
        }
        return u;
    }
    for (std::size_t k = 0; k < astral_.size(); ++k) {
        if (astral_[k] == c) return astral_units_[k];
    }
    if (next_ > 255) return -1;
    astral_.push_back(c);
    astral_units_.push_back(static_cast<std::uint8_t>(next_));
    return next_++;
}

// Writes the units of a text of ASCII and two-byte sequences (code points below U+0800: Latin-1,
// Greek, Cyrillic...) to out, without a branch on the kind of each byte, which accented words
// would mispredict at every other letter. Returns the unit count, or none for any other text.
std::optional<std::size_t> UnitTexts::decode_two_byte(const std::uint8_t* p, std::size_t n,
                                                      std::uint8_t* out) {
    std::size_t count = 0;
    std::uint32_t bad = 0, after_lead = 0;
    // Locals, so that the byte stores to out need not reload them.
    const std::uint8_t* table = bmp_.data();
    // Masks and bit operations throughout: the compiler turns && and ?: into branches here.
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t b = p[i];
        const std::uint32_t next = i + 1 < n ? p[i + 1] : 0;
        const std::uint32_t continuation = (b & 0xC0) == 0x80;
        const std::uint32_t lead = b - 0xC2 <= 0xDF - 0xC2;
        // Anything else above 0x7F, a continuation without its lead or a lead without one.
        bad |= ((b >> 7) & ~lead & ~continuation & 1) | (continuation ^ after_lead);
        after_lead = lead;
        // A continuation byte reads the one entry past the code points, which is never 0, so
        // that the branch below is taken only for a code point without a unit yet.
        const std::uint32_t lead_mask = 0 - lead, continuation_mask = 0 - continuation;
        const std::uint32_t two_byte = ((b & 0x1Fu) << 6) | (next & 0x3Fu);
        std::uint32_t c = (two_byte & lead_mask) | (b & ~lead_mask);
        c = (c & ~continuation_mask) | (0x10000u & continuation_mask);
        std::uint8_t u = table[c];
        if (__builtin_expect(u == 0, 0) && lead && (next & 0xC0) == 0x80) {
            const int assigned = unit(c);
            if (assigned < 0) return std::nullopt;
            u = static_cast<std::uint8_t>(assigned);
        }
        out[count] = u;
        count += 1 - continuation;
    }
    if (bad || after_lead || count > packed::max_units) return std::nullopt;
    return count;
}

// Appends the units of a text; false when a code point gets no unit, or past max_units units.
bool UnitTexts::decode(TextSlice text) {
    if (bmp_.empty()) {
        bmp_.assign(0x10001, 0);
        for (std::uint32_t c = 0; c < 0x80; ++c) bmp_[c] = static_cast<std::uint8_t>(c);
        bmp_[0x10000] = 1;  // decode_two_byte's entry for continuation bytes
    }
    // No more units than bytes: written in place, the storage trimmed once at the end.
    const std::size_t start = storage_.size();
    storage_.resize(start + text.size);
    std::uint8_t* out = storage_.data() + start;
    if (const auto count = decode_two_byte(text.bytes(), text.size, out)) {
        storage_.resize(start + *count);
        return true;
    }
    const std::uint8_t* p = text.bytes();
    const std::uint8_t* end = p + text.size;
    std::size_t count = 0;
    for (; p < end; ++count) {
        if (count == packed::max_units) return false;
        // Ill-formed bytes become U+FFFD as in decode_utf8, so the pair route agrees.
        const std::uint32_t c = fuzz::next_scalar(p, end);
        const int u = c < 0x80 ? static_cast<int>(c) : unit(c);
        if (u < 0) return false;
        out[count] = static_cast<std::uint8_t>(u);
    }
    storage_.resize(start + count);
    return true;
}

PackedList::PackedList(const UnitTexts& texts, std::span<const Units> units) {
    std::array<std::size_t, packed::max_units + 2> start{};
    for (const Units& u : units) {
        if (u.fits) ++start[u.size + 1];
    }
    for (std::size_t s = 1; s < start.size(); ++s) start[s] += start[s - 1];
    order_.resize(start.back());
    for (std::size_t j = 0; j < units.size(); ++j) {
        if (units[j].fits) {
            order_[start[units[j].size]++] = static_cast<std::uint32_t>(j);
        } else {
            others_.push_back(static_cast<std::uint32_t>(j));
        }
    }
    const std::size_t blocks = (order_.size() + packed::lanes - 1) / packed::lanes;
    std::vector<std::size_t> offsets(blocks);
    views_.resize(blocks);
    auto builder = std::make_unique<BlockBuilder>();
    for (std::size_t k = 0; k < blocks; ++k) {
        builder->clear();
        for (const std::uint32_t j : indices(k)) builder->add(texts.data(units[j]), units[j].size);
        offsets[k] = storage_.size();
        storage_.insert(storage_.end(), builder->units,
                        builder->units + builder->steps * packed::lanes);
        storage_.insert(storage_.end(), builder->length, builder->length + packed::lanes);
        views_[k].steps = builder->steps;
    }
    // The storage has stopped moving.
    for (std::size_t k = 0; k < blocks; ++k) {
        views_[k].units = storage_.data() + offsets[k];
        views_[k].length = views_[k].units + views_[k].steps * packed::lanes;
    }
}

std::span<const std::uint32_t> PackedList::indices(std::size_t k) const noexcept {
    const std::size_t first = k * packed::lanes;
    return {order_.data() + first, std::min(packed::lanes, order_.size() - first)};
}

}  // namespace quillon
