// Texts as byte units for the narrow-lane kernels (simd/packed.hpp), and their blocks. ASCII
// texts are their own units; the code points of other texts get the units 128..255 in order of
// first appearance within one call, so that Unicode lists run the byte kernels unchanged. A text
// that does not fit (more than 64 units, a code point without a unit) is left
// to the caller's pair route; which texts fit never changes a result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "simd/packed.hpp"
#include "text.hpp"

namespace quillon {

// One text's units: its own bytes (data set) or a stretch of the call's storage.
struct Units {
    const std::uint8_t* data = nullptr;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    bool fits = false;
};

// Every text of one call as units, sharing one alphabet.
class UnitTexts {
  public:
    Units add(TextSlice text) {
        // Short ASCII texts, nearly every word of a list, without a call.
        if (text.size <= simd::packed::max_units && short_ascii(text.bytes(), text.size)) {
            return {text.bytes(), 0, static_cast<std::uint32_t>(text.size), true};
        }
        return add_other(text);
    }

    const std::uint8_t* data(const Units& u) const noexcept {
        return u.data != nullptr ? u.data : storage_.data() + u.offset;
    }

    // Drops the storage of u, the last text added, once its units have been copied elsewhere.
    void forget(const Units& u) noexcept {
        if (u.data == nullptr) storage_.resize(u.offset);
    }

  private:
    static bool short_ascii(const std::uint8_t* p, std::size_t n) noexcept {
        std::uint64_t acc = 0, word;
        if (n >= 8) {
            // Whole words, the last one overlapping the one before it.
            for (std::size_t k = 0; k + 8 <= n; k += 8) {
                std::memcpy(&word, p + k, 8);
                acc |= word;
            }
            std::memcpy(&word, p + n - 8, 8);
            acc |= word;
        } else {
            for (std::size_t k = 0; k < n; ++k) acc |= p[k];
        }
        return (acc & 0x8080808080808080u) == 0;
    }
    Units add_other(TextSlice text);
    bool decode(TextSlice text);
    std::optional<std::size_t> decode_two_byte(const std::uint8_t* p, std::size_t n,
                                               std::uint8_t* out);
    int unit(std::uint32_t c);

    std::vector<std::uint8_t> storage_;
    // Units of code points below U+10000, 0 for none yet; ASCII's are its own. One entry more
    // serves decode_two_byte.
    std::vector<std::uint8_t> bmp_;
    std::vector<std::uint32_t> astral_;
    std::vector<std::uint8_t> astral_units_;
    int next_ = 128;
};

// A block being filled lane by lane; rows are written up to the longest lane only.
struct BlockBuilder {
    alignas(64) std::uint8_t units[simd::packed::max_units * simd::packed::lanes];
    alignas(64) std::uint8_t length[simd::packed::lanes];
    std::size_t count = 0, steps = 0;

    void clear() noexcept {
        std::memset(length, 0, sizeof length);
        count = steps = 0;
    }
    void add(const std::uint8_t* data, std::size_t size) noexcept {
        // A row is cleared when a lane first reaches it, so no lane reads memory never written.
        for (; steps < size; ++steps) {
            std::memset(units + steps * simd::packed::lanes, 0, simd::packed::lanes);
        }
        for (std::size_t i = 0; i < size; ++i) units[i * simd::packed::lanes + count] = data[i];
        length[count++] = static_cast<std::uint8_t>(size);
    }
    simd::packed::BlockView view() const noexcept { return {units, length, steps}; }
};

// The fitting texts of a list packed once, by length (a block runs as many steps as its longest
// lane), for kernels run against it many times. Lane p of block k holds text order[64 k + p];
// `others` lists the texts that do not fit, in order.
class PackedList {
  public:
    PackedList(const UnitTexts& texts, std::span<const Units> units);

    std::size_t blocks() const noexcept { return views_.size(); }
    simd::packed::BlockView block(std::size_t k) const noexcept { return views_[k]; }
    // The list indices of block k's lanes.
    std::span<const std::uint32_t> indices(std::size_t k) const noexcept;
    const std::vector<std::uint32_t>& others() const noexcept { return others_; }

  private:
    std::vector<std::uint32_t> order_, others_;
    std::vector<std::uint8_t> storage_;
    std::vector<simd::packed::BlockView> views_;
};

}  // namespace quillon
