// Token scorers: splitting at White_Space, sorting, the set decomposition, and the six scorers
// built on the indel ratio and the partial ratio of the joined token strings.
#include "token.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common.hpp"
#include "partial.hpp"
#include "ratio.hpp"
#include "units.hpp"

namespace quillon::fuzz {

namespace {

std::string_view view(TextSlice t) noexcept { return {t.data, t.size}; }

// Byte order (a prefix first). Words are short and usually differ early, so an inline loop
// beats a call to memcmp here.
bool byte_less(TextSlice x, TextSlice y) noexcept {
    const std::size_t n = std::min(x.size, y.size);
    const std::uint8_t *p = x.bytes(), *q = y.bytes();
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != q[i]) return p[i] < q[i];
    }
    return x.size < y.size;
}

bool same(TextSlice x, TextSlice y) noexcept { return view(x) == view(y); }

// Byte length of the White_Space character from U+0080 up that starts at p (lead byte p[0] at
// least 0x80), or 0 if none starts there.
std::size_t non_ascii_whitespace_length(const std::uint8_t* p, std::size_t left) noexcept {
    const std::uint8_t b = p[0];
    if (b == 0xC2) {  // U+0085, U+00A0
        return left >= 2 && (p[1] == 0x85 || p[1] == 0xA0) ? 2 : 0;
    }
    if (left < 3 || b < 0xE1 || b > 0xE3) return 0;
    const std::uint8_t b1 = p[1], b2 = p[2];
    switch (b) {
        case 0xE1:  // U+1680
            return b1 == 0x9A && b2 == 0x80 ? 3 : 0;
        case 0xE2:  // U+2000..U+200A, U+2028, U+2029, U+202F; U+205F
            if (b1 == 0x80) {
                return b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF ? 3 : 0;
            }
            return b1 == 0x81 && b2 == 0x9F ? 3 : 0;
        default:  // 0xE3: U+3000
            return b1 == 0x80 && b2 == 0x80 ? 3 : 0;
    }
}

// Byte length of the White_Space character that starts at p, or 0 if none starts there. In
// well-formed UTF-8 a lead byte never appears inside another character, so the caller may step
// through the other bytes one at a time. ASCII is decided inline; U+001C..U+001F are not
// White_Space.
inline std::size_t whitespace_length(const std::uint8_t* p, std::size_t left) noexcept {
    const std::uint8_t b = p[0];
    if (b < 0x80) return b == 0x20 || static_cast<unsigned>(b - 0x09) < 5u ? 1 : 0;  // tab..CR
    return non_ascii_whitespace_length(p, left);
}

// Bytes at which White_Space may start: the six ASCII ones and the lead bytes of the longer
// ones (0xC2, 0xE1 to 0xE3), whose tails whitespace_length checks. No other byte needs a look.
constexpr auto may_start_space = [] {
    std::array<bool, 256> table{};
    for (const unsigned b : {0x09u, 0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x20u, 0xC2u, 0xE1u, 0xE2u, 0xE3u})
        table[b] = true;
    return table;
}();

// The first eight bytes of a token of `text` as a big-endian number, zero-padded: tokens whose
// keys differ are in key order. A token with eight bytes of the text from its start is read in
// one load.
inline std::uint64_t token_key(TextSlice token, TextSlice text) noexcept {
    const std::size_t m = std::min<std::size_t>(token.size, 8);
    std::uint64_t key = 0;
    if (token.data + 8 <= text.data + text.size) {
        std::memcpy(&key, token.data, 8);
        key = __builtin_bswap64(key);
        return m == 8 ? key : key & ~(~std::uint64_t{0} >> (8 * m));
    }
    for (std::size_t i = 0; i < m; ++i) key |= std::uint64_t{token.bytes()[i]} << (56 - 8 * i);
    return key;
}

// Sorts the n tokens of text in byte order. Most comparisons are then of two keys; equal keys
// (tokens alike in their first eight bytes, or one the other with NUL bytes appended) fall back
// to the bytes. Longer lists are first ordered by the first two bytes of their keys, by two
// stable counting passes, which leaves runs of a token or two for the words of a language:
// a comparison sort of the whole list mispredicts about once per comparison instead.
inline void sort_tokens(TextSlice* tokens, std::size_t n, TextSlice text) {
    // Trivial, so that the buffers are not initialised.
    struct Keyed {
        std::uint64_t key;
        const char* data;
        std::size_t size;
    };
    const auto less = [](const Keyed& x, const Keyed& y) {
        return x.key != y.key ? x.key < y.key
                              : byte_less(TextSlice(x.data, x.size), TextSlice(y.data, y.size));
    };
    const auto sort_run = [&](Keyed* first, std::size_t count) {
        if (count > 16) return std::sort(first, first + count, less);
        for (std::size_t i = 1; i < count; ++i) {
            const Keyed x = first[i];
            std::size_t j = i;
            for (; j > 0 && less(x, first[j - 1]); --j) first[j] = first[j - 1];
            first[j] = x;
        }
    };
    SmallBuffer<Keyed, 256> keyed(n);
    for (std::size_t i = 0; i < n; ++i) {
        keyed[i] = {token_key(tokens[i], text), tokens[i].data, tokens[i].size};
    }
    Keyed* sorted = keyed.data();
    SmallBuffer<Keyed, 256> spare;
    if (n >= 48) {
        // Counting passes on byte 6 of the key (the token's second byte), then byte 7.
        std::uint32_t second[256] = {}, first[256] = {};
        // Prefix sums over the range of byte values seen only (mostly the letters).
        std::uint64_t first_low = 255, first_high = 0, second_low = 255, second_high = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t f = keyed[i].key >> 56, s = (keyed[i].key >> 48) & 0xFF;
            ++first[f];
            ++second[s];
            first_low = std::min(first_low, f);
            first_high = std::max(first_high, f);
            second_low = std::min(second_low, s);
            second_high = std::max(second_high, s);
        }
        std::uint32_t at_first = 0, at_second = 0;
        for (std::size_t b = first_low; b <= first_high; ++b) {
            at_first += std::exchange(first[b], at_first);
        }
        for (std::size_t b = second_low; b <= second_high; ++b) {
            at_second += std::exchange(second[b], at_second);
        }
        Keyed* by_second = spare.allocate(n);
        for (std::size_t i = 0; i < n; ++i)
            by_second[second[(keyed[i].key >> 48) & 0xFF]++] = keyed[i];
        for (std::size_t i = 0; i < n; ++i) keyed[first[by_second[i].key >> 56]++] = by_second[i];
        for (std::size_t i = 0, end; i < n; i = end) {
            const std::uint64_t prefix = keyed[i].key >> 48;
            for (end = i + 1; end < n && keyed[end].key >> 48 == prefix;) ++end;
            if (end - i > 1) sort_run(sorted + i, end - i);
        }
    } else {
        sort_run(sorted, n);
    }
    for (std::size_t i = 0; i < n; ++i) tokens[i] = TextSlice(sorted[i].data, sorted[i].size);
}

// Bit k set when byte k of the 64 at p is ASCII White_Space (tab to CR, space); `ascii` false when
// one of them is not ASCII. Eight bytes per word, byte by byte without carries between them:
//   b + 0x72 stays below 0x80 exactly when b <= 13, (b | 0x80) - 9 stays at 0x80 or above exactly
//   when b >= 9, and b ^ 0x20 is zero exactly for a space.
// The high bit of each byte then says "separator"; a multiplication gathers the eight of a word.
inline std::uint64_t ascii_separators(const std::uint8_t* p, bool& ascii) noexcept {
    constexpr std::uint64_t high = 0x8080808080808080ULL, low = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    std::uint64_t separators = 0, any_high = 0;
    for (int k = 0; k < 8; ++k) {
        std::uint64_t w;
        std::memcpy(&w, p + 8 * k, 8);
        any_high |= w;
        const std::uint64_t le13 = ~(w + 0x72 * ones);
        const std::uint64_t ge9 = (w | high) - 9 * ones;
        const std::uint64_t x = w ^ (0x20 * ones);
        const std::uint64_t space = ~(((x & low) + low) | x);
        const std::uint64_t bits = ((le13 & ge9) | space) & high;
        // Bit 8j + 7 of `bits` lands on bit 56 + j: byte j's flag in the top byte.
        separators |= (((bits >> 7) * 0x0102040810204080ULL) >> 56) << (8 * k);
    }
    ascii = (any_high & high) == 0;
    return separators;
}

// Appends the tokens of text (the maximal runs of non-White_Space characters) to tokens, then
// sorts them. ASCII text goes 64 bytes at a time: its tokens are the runs of clear bits of the
// block's separator mask, so a block costs one unpredictable branch instead of one per token.
// A block with a longer character, and the last bytes, take the byte loop.
template <class List>
void split_sorted(TextSlice text, List& tokens) {
    const std::uint8_t* p = text.bytes();
    const std::size_t n = text.size;
    std::size_t i = 0, start = 0;
    bool open = false;  // a token started at `start` and runs on to i at least
    for (bool ascii = true; ascii && i + 64 <= n;) {
        const std::uint64_t separators = ascii_separators(p + i, ascii);
        if (!ascii) break;
        for (std::size_t at = 0; at < 64;) {
            if (!open) {
                const std::uint64_t starts = ~separators >> at;
                if (starts == 0) break;
                at += static_cast<std::size_t>(std::countr_zero(starts));
                start = i + at;
                open = true;
            }
            const std::uint64_t ends = separators >> at;
            if (ends == 0) break;
            at += static_cast<std::size_t>(std::countr_zero(ends));
            tokens.emplace_back(text.data + start, i + at - start);
            open = false;
        }
        i += 64;
    }
    for (;;) {
        if (!open) {
            for (std::size_t w; i < n && (w = whitespace_length(p + i, n - i)) > 0;) i += w;
            if (i == n) break;
            start = i++;
        }
        while (i < n && (!may_start_space[p[i]] || whitespace_length(p + i, n - i) == 0)) ++i;
        tokens.emplace_back(text.data + start, i - start);
        open = false;
    }
    sort_tokens(tokens.data(), tokens.size(), text);
}

// Appends each distinct token of a sorted run once.
template <class List>
void append_distinct(List& out, std::span<const TextSlice> run) {
    for (const TextSlice& t : run) {
        if (out.empty() || !same(out.back(), t)) out.push_back(t);
    }
}

// Merges two ascending token lists into the three distinct, ascending parts.
template <class List>
void decompose(std::span<const TextSlice> a, std::span<const TextSlice> b, List& intersection,
               List& diff_ab, List& diff_ba) {
    intersection.reserve(std::min(a.size(), b.size()));
    diff_ab.reserve(a.size());
    diff_ba.reserve(b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const TextSlice token = byte_less(a[i], b[j]) ? a[i] : b[j];
        const bool in_a = same(a[i], token), in_b = same(b[j], token);
        List& out = in_a && in_b ? intersection : in_a ? diff_ab : diff_ba;
        out.push_back(token);
        // Skip every copy of the token on the sides that hold it.
        while (i < a.size() && same(a[i], token)) ++i;
        while (j < b.size() && same(b[j], token)) ++j;
    }
    append_distinct(diff_ab, a.subspan(i));
    append_distinct(diff_ba, b.subspan(j));
}

// Scratch memory for the temporaries of one scorer call (token lists, joined strings): a pair of
// texts of about a thousand characters in short words never reaches the heap; longer ones spill.
class Arena {
  public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    std::pmr::memory_resource* get() noexcept { return &resource_; }

  private:
    alignas(std::max_align_t) std::byte buffer_[16384];
    std::pmr::monotonic_buffer_resource resource_{buffer_, sizeof buffer_};
};

using TokenList = std::pmr::vector<TextSlice>;
using Joined = std::pmr::string;

// The token string: tokens joined by single spaces; an empty list gives "".
Joined join(std::span<const TextSlice> tokens, std::pmr::memory_resource* memory) {
    std::size_t bytes = tokens.empty() ? 0 : tokens.size() - 1;
    for (const TextSlice& t : tokens) bytes += t.size;
    Joined joined(bytes, ' ', memory);
    char* out = joined.data();
    for (const TextSlice& t : tokens) {
        std::memcpy(out, t.data, t.size);
        out += t.size + 1;  // past the space that follows
    }
    return joined;
}

// Character length of the token string, without building it.
std::uint64_t joined_length(std::span<const TextSlice> tokens) noexcept {
    if (tokens.empty()) return 0;
    std::uint64_t length = tokens.size() - 1;
    for (const TextSlice& t : tokens) length += char_length(t);
    return length;
}

double partial_score(const Joined& a, const Joined& b, double score_cutoff) {
    return partial_ratio_alignment(TextSlice(a), TextSlice(b), score_cutoff).score;
}

// Both texts split and sorted, and their set decomposition, in one arena.
struct TokenPair {
    TokenList ta, tb, intersection, diff_ab, diff_ba;

    TokenPair(TextSlice a, TextSlice b, std::pmr::memory_resource* memory)
        : ta(memory), tb(memory), intersection(memory), diff_ab(memory), diff_ba(memory) {
        split_sorted(a, ta);
        split_sorted(b, tb);
    }
    void decompose() { fuzz::decompose(ta, tb, intersection, diff_ab, diff_ba); }
    // Some token is shared and one side has nothing else: one set is inside the other.
    bool one_set_contains_other() const noexcept {
        return !intersection.empty() && (diff_ab.empty() || diff_ba.empty());
    }
};

// Whether two ascending token lists have a token in common: each token of the shorter list is
// looked up in the longer one, which for a few words against a long text costs far less than
// the merge of both lists.
bool share_a_token(std::span<const TextSlice> a, std::span<const TextSlice> b) noexcept {
    if (a.size() > b.size()) std::swap(a, b);
    for (const TextSlice& token : a) {
        if (std::binary_search(b.begin(), b.end(), token, byte_less)) return true;
    }
    return false;
}

// Whether an ascending token list holds a token twice.
bool has_repeats(std::span<const TextSlice> tokens) noexcept {
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        if (same(tokens[i - 1], tokens[i])) return true;
    }
    return false;
}

// What the set comparison yields; the caller decides which of the scores count.
struct SetScores {
    double r0 = 0.0;                // difference score, filtered by the cut-off
    bool r0_within_bound = false;   // the cut-off distance admitted the distance
    bool has_intersection = false;  // r1 and r2 are defined
    double r1 = 0.0, r2 = 0.0;      // intersection against either combined string
};

// Scores "I D1" against "I D2" (I the intersection string, D the difference strings) with one
// indel distance: the shared prefix "I " contributes nothing, so the distance is that of D1 and
// D2, and the intersection scores are closed forms.
SetScores compare_sets(const TokenPair& t, double score_cutoff, std::pmr::memory_resource* memory) {
    const Joined ab = join(t.diff_ab, memory), ba = join(t.diff_ba, memory);
    const std::uint64_t lab = char_length(TextSlice(ab)), lba = char_length(TextSlice(ba));
    const std::uint64_t sect = joined_length(t.intersection);
    const std::uint64_t sep = sect > 0 ? 1 : 0;
    const std::uint64_t dist = indel_distance(TextSlice(ab), TextSlice(ba));
    const std::uint64_t len_ab = sect + sep + lab, len_ba = sect + sep + lba;
    const std::uint64_t total = len_ab + len_ba;

    SetScores s;
    const std::uint64_t cutoff_distance =
        ceil_to_u64((score_cutoff / -100.0 + 1.0) * static_cast<double>(total));
    if (cutoff_distance >= dist) {
        s.r0_within_bound = true;
        const double r0 =
            total == 0 ? 100.0
                       : 100.0 - (static_cast<double>(dist) * 100.0) / static_cast<double>(total);
        s.r0 = r0 >= score_cutoff ? r0 : 0.0;
    }
    if (sect > 0) {
        s.has_intersection = true;
        // sect > 0 keeps both denominators positive.
        const auto intersection_score = [&](std::uint64_t diff_length, std::uint64_t len) {
            const double r = 100.0 - (static_cast<double>(diff_length + 1) * 100.0) /
                                         static_cast<double>(sect + len);
            return score_cutoff <= r ? r : 0.0;
        };
        s.r1 = intersection_score(lab, len_ab);
        s.r2 = intersection_score(lba, len_ba);
    }
    return s;
}

}  // namespace

Tokens sorted_split(TextSlice text) {
    Tokens tokens;
    split_sorted(text, tokens);
    return tokens;
}

SetDecomposition set_decomposition(const Tokens& a, const Tokens& b) {
    // The merge needs ascending lists; sorted_split gives them, so copies are the exception.
    const auto ascending = [](const Tokens& tokens) {
        Tokens sorted = tokens;
        std::sort(sorted.begin(), sorted.end(), byte_less);
        return sorted;
    };
    const bool a_sorted = std::is_sorted(a.begin(), a.end(), byte_less);
    const bool b_sorted = std::is_sorted(b.begin(), b.end(), byte_less);
    const Tokens sorted_a = a_sorted ? Tokens() : ascending(a);
    const Tokens sorted_b = b_sorted ? Tokens() : ascending(b);
    SetDecomposition d;
    decompose(a_sorted ? a : sorted_a, b_sorted ? b : sorted_b, d.intersection, d.diff_ab,
              d.diff_ba);
    return d;
}

double token_sort_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (score_cutoff > 100.0) return 0.0;
    Arena arena;
    const TokenPair t(a, b, arena.get());
    const Joined sa = join(t.ta, arena.get()), sb = join(t.tb, arena.get());
    return ratio_with_cutoff(TextSlice(sa), TextSlice(sb), score_cutoff);
}

double partial_token_sort_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (score_cutoff > 100.0) return 0.0;
    Arena arena;
    const TokenPair t(a, b, arena.get());
    return partial_score(join(t.ta, arena.get()), join(t.tb, arena.get()), score_cutoff);
}

double token_set_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (score_cutoff > 100.0) return 0.0;
    Arena arena;
    TokenPair t(a, b, arena.get());
    if (t.ta.empty() || t.tb.empty()) return 0.0;
    t.decompose();
    if (t.one_set_contains_other()) return 100.0;
    const SetScores s = compare_sets(t, score_cutoff, arena.get());
    if (!s.has_intersection) return s.r0;
    return max_nan_loses(max_nan_loses(s.r0, s.r1), s.r2);
}

double token_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (score_cutoff > 100.0) return 0.0;
    Arena arena;
    TokenPair t(a, b, arena.get());
    t.decompose();
    if (t.one_set_contains_other()) return 100.0;
    const Joined sa = join(t.ta, arena.get()), sb = join(t.tb, arena.get());
    double best = ratio_with_cutoff(TextSlice(sa), TextSlice(sb), score_cutoff);
    // The caller's cut-off, not one raised by the sort score: the maximum comes out the same.
    const SetScores s = compare_sets(t, score_cutoff, arena.get());
    if (s.r0_within_bound) best = max_nan_loses(best, s.r0);
    if (s.has_intersection) best = max_nan_loses(max_nan_loses(best, s.r1), s.r2);
    return best;
}

double partial_token_set_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (score_cutoff > 100.0) return 0.0;
    Arena arena;
    TokenPair t(a, b, arena.get());
    if (t.ta.empty() || t.tb.empty()) return 0.0;
    if (share_a_token(t.ta, t.tb)) return 100.0;
    // With no shared token the difference lists are the distinct tokens of each side.
    append_distinct(t.diff_ab, std::span<const TextSlice>(t.ta));
    append_distinct(t.diff_ba, std::span<const TextSlice>(t.tb));
    return partial_score(join(t.diff_ab, arena.get()), join(t.diff_ba, arena.get()), score_cutoff);
}

double partial_token_ratio(TextSlice a, TextSlice b, double score_cutoff) {
    if (score_cutoff > 100.0) return 0.0;
    Arena arena;
    TokenPair t(a, b, arena.get());
    if (share_a_token(t.ta, t.tb)) return 100.0;
    const double p1 = partial_score(join(t.ta, arena.get()), join(t.tb, arena.get()), score_cutoff);
    // With no shared token the difference lists are the distinct tokens; when neither text
    // repeats one, their strings are the sorted strings just scored.
    if (!has_repeats(t.ta) && !has_repeats(t.tb)) return p1;
    append_distinct(t.diff_ab, std::span<const TextSlice>(t.ta));
    append_distinct(t.diff_ba, std::span<const TextSlice>(t.tb));
    const double p2 = partial_score(join(t.diff_ab, arena.get()), join(t.diff_ba, arena.get()),
                                    max_nan_loses(score_cutoff, p1));
    return max_nan_loses(p1, p2);
}

}  // namespace quillon::fuzz
