// Levenshtein distance of one pair: Myers' bit-parallel kernels over bytes for ASCII pairs
// (Hyyrö's formulation), over scalar values for the others; the plain routes they are tested
// against; the single-text kernel of the lane drivers.
#include "levenshtein.hpp"

#include <cstring>
#include <string>
#include <utility>

#include "bitpar.hpp"
#include "error.hpp"
#include "levenshtein_band.hpp"
#include "simd/isa.hpp"

namespace quillon {

namespace {

// The pattern's table as the mask provider of bitpar::myers_word, so the single-text kernel
// runs the very same step.
struct PeqMasks {
    const std::uint64_t* peq;
    std::uint64_t operator[](std::uint8_t c) const noexcept { return peq[c]; }
};

// Texts of up to this many bytes decode into buffers on the stack.
constexpr std::size_t stack_bytes = 256;

#if defined(__SSE2__)
// The kernel table's decoder of short accented texts, looked up only when one is met.
simd::Latin1Decoder latin1_kernel() noexcept { return simd::kernels().latin1_16; }

// Distance of two byte texts of at most 16 bytes each, in registers: the common affixes go, the
// longer remainder is the pattern of one compare per text byte.
std::uint32_t distance16(Bytes16 a, std::size_t la, Bytes16 b, std::size_t lb) noexcept {
    if (la == 0 || lb == 0) return static_cast<std::uint32_t>(la + lb);
    const bitpar::Affixes16 affixes(a, la, b, lb);
    const std::size_t ma = la - affixes.prefix - affixes.suffix;
    const std::size_t mb = lb - affixes.prefix - affixes.suffix;
    // One text is empty once the affixes go (so the prefix never takes a whole 16 bytes below).
    if (ma == 0 || mb == 0) return static_cast<std::uint32_t>(ma + mb);
    a >>= 8 * affixes.prefix;
    b >>= 8 * affixes.prefix;
    // Selects rather than a branch: which text is longer is a coin toss for similar words.
    const bool swap = ma < mb;
    const Bytes16 pattern = swap ? b : a, text = swap ? a : b;
    const std::size_t m = swap ? mb : ma, n = swap ? ma : mb;
    std::uint8_t bytes[16];
    std::memcpy(bytes, &text, 16);
    return static_cast<std::uint32_t>(
        bitpar::myers_word(bitpar::ShortByteMasks(pattern, m), m, bytes, n));
}
#endif

// Distance of two unit sequences (bytes or scalar values) without common affixes. The longer
// text is the pattern when it fits one word, since the step count is the other text's length;
// else the shorter one if it fits; longer pairs take the band. Short pairs allocate nothing.
template <class Unit>
std::uint32_t distance(const Unit* a, std::size_t la, const Unit* b, std::size_t lb) {
    // Selects rather than a branch: which text is longer is a coin toss for similar words.
    const bool swap = la < lb;
    const Unit* longer = swap ? b : a;
    const Unit* shorter = swap ? a : b;
    const std::size_t l_longer = swap ? lb : la, l_shorter = swap ? la : lb;
    a = longer, b = shorter, la = l_longer, lb = l_shorter;
    if (lb == 0) return bitpar::saturate_u32(la);
    if (la <= 64) {
#if defined(__SSE2__)
        if constexpr (sizeof(Unit) == 1) {
            if (la <= 16) return distance16(load16(a, la), la, load16(b, lb), lb);
        }
#endif
        const bitpar::StackWordMasks<Unit> masks(a, la, b, lb);
        return bitpar::saturate_u32(bitpar::myers_word(masks, la, b, lb));
    }
    if (lb <= 64) {
        const bitpar::StackWordMasks<Unit> masks(b, lb, a, la);
        return bitpar::saturate_u32(bitpar::myers_word(masks, lb, a, la));
    }
    return bitpar::saturate_u32(levenshtein_band(b, lb, a, la));
}

// Drops the common affixes of two UTF-8 texts by bytes, each cut moved back to where neither
// text has a continuation byte (10xxxxxx) next to it. No sequence, well-formed or not, runs
// across such a cut, so every part decodes as it does in the whole text, and the values dropped
// are common to both: the distance stays, and only what differs is decoded.
void strip_utf8_affixes(TextSlice& a, TextSlice& b) noexcept {
    const std::uint8_t *pa = a.bytes(), *pb = b.bytes();
    std::size_t la = a.size, lb = b.size;
    bitpar::strip_affixes(pa, la, pb, lb);
    std::size_t prefix = static_cast<std::size_t>(pa - a.bytes());
    std::size_t suffix = a.size - prefix - la;
    auto continues = [](TextSlice t, std::size_t k) {
        return k < t.size && (t.bytes()[k] & 0xC0) == 0x80;
    };
    while (prefix > 0 && (continues(a, prefix) || continues(b, prefix))) --prefix;
    while (suffix > 0 && (continues(a, a.size - suffix) || continues(b, b.size - suffix))) {
        --suffix;
    }
    a = TextSlice(a.data + prefix, a.size - prefix - suffix);
    b = TextSlice(b.data + prefix, b.size - prefix - suffix);
}

}  // namespace

std::uint32_t levenshtein_utf8(TextSlice a, TextSlice b) {
#if defined(__SSE2__)
    if (ShortPair pair; pair.load(a, b, latin1_kernel)) {
        return distance16(pair.a, pair.la, pair.b, pair.lb);
    }
#endif
    strip_utf8_affixes(a, b);
    return with_units<stack_bytes>(
        a, b, [](const auto* ua, std::size_t la, const auto* ub, std::size_t lb) {
            // Bytes and Latin-1 values differ where the UTF-8 did; ill-formed bytes that
            // decode alike may still leave common affixes among scalar values.
            if constexpr (sizeof(*ua) > 1) bitpar::strip_affixes(ua, la, ub, lb);
            return distance(ua, la, ub, lb);
        });
}

std::uint32_t levenshtein_myers_word(TextSlice pattern, TextSlice text) noexcept {
    return bitpar::saturate_u32(
        bitpar::with_word_masks(pattern.bytes(), pattern.size, [&](const auto& masks) {
            return bitpar::myers_word(masks, pattern.size, text.bytes(), text.size);
        }));
}

std::uint32_t levenshtein_myers(TextSlice a, TextSlice b) {
    if (!is_ascii(a) || !is_ascii(b)) {
        // The slices are already well-formed UTF-8 when they come from Python; the lossy
        // decode only matters to direct callers with raw bytes.
        return levenshtein_scalars(decode_utf8(a), decode_utf8(b));
    }
    if (a.empty()) return bitpar::saturate_u32(b.size);
    if (b.empty()) return bitpar::saturate_u32(a.size);
    // The shorter text is the pattern; on equal lengths a is.
    TextSlice pattern = a, text = b;
    if (b.size < a.size) std::swap(pattern, text);
    if (pattern.size <= 64) return levenshtein_myers_word(pattern, text);
    // Longer patterns: strip the common affixes, then one word or Myers' blocks.
    const std::uint8_t *p = pattern.bytes(), *t = text.bytes();
    std::size_t m = pattern.size, n = text.size;
    bitpar::strip_affixes(p, m, t, n);
    if (m > n) std::swap(p, t), std::swap(m, n);
    if (m == 0) return bitpar::saturate_u32(n);
    const auto* pc = reinterpret_cast<const char*>(p);
    const auto* tc = reinterpret_cast<const char*>(t);
    if (m <= 64) return levenshtein_myers_word(TextSlice(pc, m), TextSlice(tc, n));
    const bitpar::PatternMasks<std::uint8_t> masks(p, m);
    return bitpar::saturate_u32(bitpar::myers_distance(masks, m, t, n));
}

std::uint32_t levenshtein_scalars(const Scalars& a, const Scalars& b) {
    // Saturating every cell at 2^32 - 1 gives min(distance, 2^32 - 1), so capping the exact
    // bit-parallel result is the same thing.
    return bitpar::saturate_u32(bitpar::levenshtein(a.data(), a.size(), b.data(), b.size()));
}

simd::MyersPattern simd::MyersPattern::build(TextSlice pattern) {
    const bool ascii = is_ascii(pattern);
    if (pattern.size == 0 || pattern.size > 64 || !ascii) {
        throw InternalError("MyersPattern: pattern must be non-empty ASCII ≤ 64 bytes (got " +
                            std::to_string(pattern.size) +
                            " bytes, ascii=" + (ascii ? "true" : "false") + ")");
    }
    MyersPattern built;
    std::memset(built.peq, 0, sizeof built.peq);
    const std::uint8_t* p = pattern.bytes();
    for (std::size_t k = 0; k < pattern.size; ++k) built.peq[p[k]] |= std::uint64_t{1} << k;
    built.len = pattern.size;
    // 64 bytes fill the word: every bit is a pattern position.
    built.mask = pattern.size == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << pattern.size) - 1;
    built.last = std::uint64_t{1} << (pattern.size - 1);
    return built;
}

std::uint32_t levenshtein_myers_single(const simd::MyersPattern& pattern, TextSlice text) noexcept {
    const std::uint64_t score =
        bitpar::myers_word(PeqMasks{pattern.peq}, pattern.len, text.bytes(), text.size);
    // Saturates like levenshtein_myers_word; only a text of 4 GiB or more could reach it.
    return bitpar::saturate_u32(score);
}

}  // namespace quillon
