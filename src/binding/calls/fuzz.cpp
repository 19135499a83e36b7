// Fuzzy ratio bodies.
#include <cstring>
#include <memory>

#include "../../core/fuzz/extract.hpp"
#include "../../core/fuzz/partial.hpp"
#include "../../core/fuzz/ratio.hpp"
#include "../../core/fuzz/token.hpp"
#include "../../core/fuzz/wratio.hpp"
#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

namespace {

// a, b, score_cutoff=0.0 -> float: the shape shared by the pairwise ratio scorers. The plain
// ratios score a short pair in about the time a release of the lock takes, and keep it then.
template <bool cheap = false, class Scorer>
PyObject* pair_scorer(Args& args, Scorer scorer) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double score_cutoff = args.float_or(2, 0.0);
    const auto score_pair = [&] { return scorer(a, b, score_cutoff); };
    const double score =
        cheap ? without_gil_unless_short(a, b, score_pair) : without_gil(score_pair);
    return to_python(score).release();
}

}  // namespace

PyObject* fuzz_ratio(Args& args) { return pair_scorer<true>(args, fuzz::ratio_with_cutoff); }

PyObject* fuzz_token_sort_ratio(Args& args) { return pair_scorer(args, fuzz::token_sort_ratio); }

PyObject* fuzz_token_set_ratio(Args& args) { return pair_scorer(args, fuzz::token_set_ratio); }

PyObject* fuzz_token_ratio(Args& args) { return pair_scorer(args, fuzz::token_ratio); }

PyObject* fuzz_wratio(Args& args) { return pair_scorer(args, fuzz::wratio); }

PyObject* fuzz_partial_token_sort_ratio(Args& args) {
    return pair_scorer(args, fuzz::partial_token_sort_ratio);
}

PyObject* fuzz_partial_token_set_ratio(Args& args) {
    return pair_scorer(args, fuzz::partial_token_set_ratio);
}

PyObject* fuzz_partial_token_ratio(Args& args) {
    return pair_scorer(args, fuzz::partial_token_ratio);
}

PyObject* fuzz_qratio(Args& args) { return pair_scorer<true>(args, fuzz::qratio); }

PyObject* fuzz_partial_ratio(Args& args) { return pair_scorer(args, fuzz::partial_ratio); }

PyObject* fuzz_partial_ratio_alignment(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double score_cutoff = args.float_or(2, 0.0);
    const fuzz::ScoreAlignment r =
        without_gil([&] { return fuzz::partial_ratio_alignment(a, b, score_cutoff); });
    return check(Py_BuildValue("(dnnnn)", r.score, static_cast<Py_ssize_t>(r.src_start),
                               static_cast<Py_ssize_t>(r.src_end),
                               static_cast<Py_ssize_t>(r.dest_start),
                               static_cast<Py_ssize_t>(r.dest_end)));
}

namespace {

// One float object per distinct score of a result list. A ratio is a function of two small
// lengths, so a long list holds a few hundred distinct values; floats are immutable, so
// sharing them changes nothing but identity, and a list of 100 000 scores then costs 100 000
// references instead of as many allocations, made while the lock is held.
class FloatCache {
  public:
    // A new reference to a float of the value.
    PyRef get(double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        // Open addressing over the value's bits, a short probe; past it (more distinct values
        // than the table takes well) a fresh float.
        std::size_t i = static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ULL) >> (64 - bits_));
        for (int probe = 0; probe < 8; ++probe, i = (i + 1) & (capacity - 1)) {
            Slot& slot = slots_[i];
            if (!slot.object) {
                slot.object = to_python(value);
                slot.bits = bits;
            } else if (slot.bits != bits) {
                continue;
            }
            return PyRef::borrow(slot.object.get());
        }
        return to_python(value);
    }

  private:
    static constexpr int bits_ = 10;  // 16 KiB of slots: they stay in the first-level cache
    static constexpr std::size_t capacity = std::size_t{1} << bits_;
    struct Slot {
        std::uint64_t bits;
        PyRef object;
    };
    Slot slots_[capacity];
};

}  // namespace

PyObject* fuzz_ratio_batch(Args& args) {
    const TextSlice query = args.str(0);
    const StrList candidates = as_strs(args.object(1));
    const std::vector<double> scores =
        without_gil_interruptible([&] { return fuzz::ratio_batch(query, candidates.slices()); });
    // Short lists do without the cache, which costs about as much to set up as 50 floats.
    if (scores.size() < 64) return to_python_list(scores).release();
    PyRef list(check(PyList_New(static_cast<Py_ssize_t>(scores.size()))));
    auto cache = std::make_unique<FloatCache>();
    for (std::size_t i = 0; i < scores.size(); ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), cache->get(scores[i]).release());
    }
    return list.release();
}

namespace {

// (choice, score, index)
PyRef match_tuple(const fuzz::Match& match) {
    PyRef text = to_python(TextSlice(match.choice));
    PyRef score = to_python(match.score);
    PyRef index(check(PyLong_FromSize_t(match.index)));
    return PyRef(check(PyTuple_Pack(3, text.get(), score.get(), index.get())));
}

}  // namespace

PyObject* fuzz_extract(Args& args) {
    const TextSlice query = args.str(0);
    const double score_cutoff = args.float_or(2, 0.0);
    const std::uint64_t limit = args.count_or(3, 5);
    const StrList choices = as_strs(args.object(1));
    const std::vector<fuzz::Match> matches = without_gil_interruptible(
        [&] { return fuzz::extract(query, choices.slices(), score_cutoff, limit); });
    PyRef list(check(PyList_New(static_cast<Py_ssize_t>(matches.size()))));
    for (std::size_t i = 0; i < matches.size(); ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), match_tuple(matches[i]).release());
    }
    return list.release();
}

PyObject* fuzz_extract_one(Args& args) {
    const TextSlice query = args.str(0);
    const double score_cutoff = args.float_or(2, 0.0);
    const StrList choices = as_strs(args.object(1));
    const std::optional<fuzz::Match> match = without_gil_interruptible(
        [&] { return fuzz::extract_one(query, choices.slices(), score_cutoff); });
    return match ? match_tuple(*match).release() : none().release();
}

}  // namespace quillon::binding
