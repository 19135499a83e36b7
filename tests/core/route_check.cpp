// The core's routes against each other, without Python: every fast route of a family must give
// what its plain route gives. Built by QUILLON_ROUTE_CHECK, run natively and, for a cross-built
// core, under an emulator. Usage: route_check [cases per family]; exit status 1 on a mismatch.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "core/damerau.hpp"
#include "core/fuzz/ratio.hpp"
#include "core/jaro.hpp"
#include "core/levenshtein.hpp"
#include "core/needleman.hpp"
#include "core/text.hpp"

namespace {

using namespace quillon;

// Letters of each alphabet as UTF-8: ASCII, accented Latin-1, and a mix up to astral planes.
const std::vector<std::vector<std::string>> alphabets = {
    {"a", "b", "c", "d"},
    {"a", "e", "\xc3\xa9", "\xc3\xa0", "\xc3\xb6", "\xc3\xb1"},
    {"a", "\xc3\xa9", "\xd0\x96", "\xe4\xb8\x80", "\xf0\x9f\x98\x80"},
};

std::mt19937_64 rng(20261207);

std::string text(const std::vector<std::string>& letters, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += letters[rng() % letters.size()];
    return s;
}

// A length that often sits at a word or lane boundary.
std::size_t length() {
    static const std::size_t edges[] = {0,  1,  7,  8,  15, 16,  17,  31,
                                        32, 33, 63, 64, 65, 127, 128, 129};
    return rng() % 3 == 0 ? edges[rng() % std::size(edges)] : rng() % 150;
}

int failures = 0;

template <class T>
void expect(const char* what, const std::string& a, const std::string& b, T got, T want) {
    if (got == want) return;
    if (++failures <= 10) {
        std::printf("%s differs for \"%s\" / \"%s\": %s against %s\n", what, a.c_str(), b.c_str(),
                    std::to_string(got).c_str(), std::to_string(want).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long cases = argc > 1 ? std::atol(argv[1]) : 300;
    const LinearScores linear{2, -1, -2};
    const AffineScores affine{2, -1, -3, -1};
    for (long k = 0; k < cases; ++k) {
        const auto& letters = alphabets[static_cast<std::size_t>(k) % alphabets.size()];
        const std::string a = text(letters, length());
        std::vector<std::string> others;
        for (int j = 0; j < 9; ++j) others.push_back(text(letters, length()));
        others.push_back(a);
        std::vector<TextSlice> slices(others.begin(), others.end());
        const TextSlice sa(a);

        const auto lev_batch = levenshtein_query_batch(sa, slices);
        const auto lev_rows = levenshtein_cross_product(std::span(&sa, 1), slices);
        const auto jw_batch = jaro_winkler_batch(sa, slices, 0.1);
        const auto nw_batch = needleman_wunsch_batch(sa, slices, linear);
        for (std::size_t j = 0; j < others.size(); ++j) {
            const std::string& b = others[j];
            const TextSlice sb(b);
            const Scalars ua = decode_utf8(sa), ub = decode_utf8(sb);
            const std::uint32_t lev = levenshtein_scalars(ua, ub);
            expect("levenshtein_utf8", a, b, levenshtein_utf8(sa, sb), lev);
            expect("levenshtein_myers", a, b, levenshtein_myers(sa, sb), lev);
            expect("levenshtein batch", a, b, lev_batch[j], lev);
            expect("levenshtein cross-product", a, b, lev_rows[0][j], lev);
            expect("damerau", a, b, damerau_levenshtein_distance(sa, sb),
                   damerau_full_matrix(sa, sb));
            const double jaro_plain = jaro_flag_arrays(sa, sb);
            expect("jaro", a, b, jaro(sa, sb), jaro_plain);
            expect("jaro-winkler batch", a, b, jw_batch[j], jaro_winkler(sa, sb, 0.1));
            expect("indel", a, b, fuzz::indel_distance(sa, sb),
                   fuzz::indel_distance_rows(std::span<const std::uint32_t>(ua),
                                             std::span<const std::uint32_t>(ub)));
            const std::int64_t nw = needleman_wunsch_rows(sa, sb, linear);
            expect("needleman_wunsch", a, b, needleman_wunsch(sa, sb, linear), nw);
            expect("needleman_wunsch batch", a, b, nw_batch[j], nw);
            expect("needleman_wunsch_affine", a, b, needleman_wunsch_affine(sa, sb, affine),
                   needleman_wunsch_affine_rows(sa, sb, affine));
            if (is_ascii(sa) && is_ascii(sb)) {
                expect("needleman_wunsch_striped", a, b,
                       simd::needleman_wunsch_striped(sa, sb, linear), nw);
            }
        }
    }
    std::printf("%ld cases, %d mismatches\n", cases, failures);
    return failures == 0 ? 0 : 1;
}
