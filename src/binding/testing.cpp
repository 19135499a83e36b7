// quillon._testing: internal kernels and the fault paths, reachable from the test suite.
// Built only with QUILLON_TESTING=ON and never shipped in a release wheel.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "../core/bitpar.hpp"
#include "../core/damerau.hpp"
#include "../core/error.hpp"
#include "../core/fuzz/common.hpp"
#include "../core/fuzz/extract.hpp"
#include "../core/fuzz/partial.hpp"
#include "../core/fuzz/ratio.hpp"
#include "../core/fuzz/token.hpp"
#include "../core/jaro.hpp"
#include "../core/jaro_packed.hpp"
#include "../core/levenshtein.hpp"
#include "../core/levenshtein_band.hpp"
#include "../core/levenshtein_packed.hpp"
#include "../core/memory.hpp"
#include "../core/needleman.hpp"
#include "../core/pool.hpp"
#include "../core/saturating.hpp"
#include "../core/simd/isa.hpp"
#include "../core/simd/kernels.hpp"
#include "frame.hpp"

namespace quillon::binding {

namespace {

// Raw bytes, so that the core can be given what a str never holds (ill-formed UTF-8).
TextSlice as_bytes(PyObject* obj) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (!PyBytes_Check(obj)) throw_not_instance(obj, "bytes");
    if (PyBytes_AsStringAndSize(obj, &data, &size) < 0) throw PythonError{};
    return TextSlice(data, static_cast<std::size_t>(size));
}

Scalars scalars_of(Args& args, std::size_t i) { return decode_utf8(args.str(i)); }

PyObject* is_ascii_body(Args& args) {
    return to_python(is_ascii(as_bytes(args.object(0)))).release();
}

PyObject* decode_utf8_body(Args& args) {
    const Scalars units = decode_utf8(as_bytes(args.object(0)));
    return to_python_list(units).release();
}

// A Latin-1 decoder by name on raw bytes: "words" (decode_latin1_into), "16" (decode_latin1_16)
// or "16_avx2", the last two on at most 16 bytes. None when the bytes are not Latin-1 in UTF-8.
PyObject* decode_latin1_body(Args& args) {
    const TextSlice name = args.str(0);
    const std::string_view kernel(name.data, name.size);
    const TextSlice data = as_bytes(args.object(1));
    std::vector<std::uint8_t> out(data.size + 16);
    std::size_t count = not_latin1;
    if (kernel == "words") {
        count = decode_latin1_into(data, out.data());
    } else if (kernel == "16" || kernel == "16_avx2") {
        if (data.size > 16) throw_error(PyExc_ValueError, "at most 16 bytes");
        if (kernel == "16_avx2" && !simd::avx2_available()) {
            throw_error(PyExc_ValueError, "this processor cannot run 16_avx2");
        }
        const simd::Latin1Decoder decode =
            kernel == "16" ? decode_latin1_16 : simd::decode_latin1_16_avx2;
        Bytes16 value = 0;
        if (decode(load16(data.bytes(), data.size), data.size, value, count)) {
            // The register routes compare whole values: nothing may follow the count.
            QUILLON_CHECK(count == 16 || value >> (8 * count) == 0, "bytes beyond the count");
            std::memcpy(out.data(), &value, 16);
        } else {
            count = not_latin1;
        }
    } else {
        throw_error(PyExc_ValueError, "unknown kernel");
    }
    if (count == not_latin1) return none().release();
    out.resize(count);
    return to_python_list(std::vector<std::uint32_t>(out.begin(), out.end())).release();
}

// The single-pair routes on raw bytes, ill-formed UTF-8 included: (levenshtein_utf8,
// levenshtein_myers, jaro, jaro_flag_arrays).
PyObject* pair_routes_body(Args& args) {
    const TextSlice a = as_bytes(args.object(0)), b = as_bytes(args.object(1));
    return check(Py_BuildValue("(IIdd)", levenshtein_utf8(a, b), levenshtein_myers(a, b),
                               jaro(a, b), jaro_flag_arrays(a, b)));
}

// The one-row dynamic programmes: the textbook references of the bit-parallel routes, over
// bytes (pattern along the rows) and over scalar values, with saturating cells.
std::uint32_t levenshtein_rows_bytes(TextSlice pattern, TextSlice text) {
    const std::uint8_t* p = pattern.bytes();
    const std::uint8_t* t = text.bytes();
    std::vector<std::uint64_t> row(text.size + 1);
    for (std::size_t j = 0; j <= text.size; ++j) row[j] = j;
    for (std::size_t i = 1; i <= pattern.size; ++i) {
        std::uint64_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= text.size; ++j) {
            const std::uint64_t up = row[j];
            row[j] = std::min({row[j - 1] + 1, up + 1, diag + (p[i - 1] != t[j - 1])});
            diag = up;
        }
    }
    return bitpar::saturate_u32(row[text.size]);
}

std::uint32_t levenshtein_rows_scalars(const Scalars& a, const Scalars& b) {
    auto inc = [](std::uint32_t v) { return v == 0xFFFFFFFFu ? v : v + 1; };
    if (a.empty()) return bitpar::saturate_u32(b.size());
    if (b.empty()) return bitpar::saturate_u32(a.size());
    if (a == b) return 0;
    std::vector<std::uint32_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = bitpar::saturate_u32(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::uint32_t diag = row[0];
        row[0] = bitpar::saturate_u32(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::uint32_t up = row[j];
            const std::uint32_t sub = a[i - 1] == b[j - 1] ? diag : inc(diag);
            row[j] = std::min({inc(row[j - 1]), inc(up), sub});
            diag = up;
        }
    }
    return row[b.size()];
}

PyObject* levenshtein_myers_body(Args& args) {
    const TextSlice a = as_bytes(args.object(0)), b = as_bytes(args.object(1));
    return to_python(levenshtein_myers(a, b)).release();
}

PyObject* levenshtein_myers_word_body(Args& args) {
    const TextSlice p = as_bytes(args.object(0)), t = as_bytes(args.object(1));
    if (p.size == 0 || p.size > 64) throw_error(PyExc_ValueError, "pattern must be 1 to 64 bytes");
    return to_python(levenshtein_myers_word(p, t)).release();
}

PyObject* levenshtein_rows_bytes_body(Args& args) {
    const TextSlice p = as_bytes(args.object(0)), t = as_bytes(args.object(1));
    return to_python(levenshtein_rows_bytes(p, t)).release();
}

PyObject* levenshtein_scalars_body(Args& args) {
    return to_python(levenshtein_scalars(scalars_of(args, 0), scalars_of(args, 1))).release();
}

PyObject* levenshtein_rows_scalars_body(Args& args) {
    return to_python(levenshtein_rows_scalars(scalars_of(args, 0), scalars_of(args, 1))).release();
}

// bytes -> the byte instance; str -> the scalar instance (ASCII included).
template <class ByteFn, class ScalarFn>
PyObject* indel_body(Args& args, ByteFn on_bytes, ScalarFn on_scalars) {
    if (PyBytes_Check(args.object(0))) {
        const TextSlice a = as_bytes(args.object(0)), b = as_bytes(args.object(1));
        return to_python(on_bytes(std::span(a.bytes(), a.size), std::span(b.bytes(), b.size)))
            .release();
    }
    const Scalars a = scalars_of(args, 0), b = scalars_of(args, 1);
    return to_python(
               on_scalars(std::span<const std::uint32_t>(a), std::span<const std::uint32_t>(b)))
        .release();
}

using ByteSpan = std::span<const std::uint8_t>;
using ScalarSpan = std::span<const std::uint32_t>;

PyObject* indel_distance_slice_body(Args& args) {
    return indel_body(
        args, [](ByteSpan a, ByteSpan b) { return fuzz::indel_distance_slice(a, b); },
        [](ScalarSpan a, ScalarSpan b) { return fuzz::indel_distance_slice(a, b); });
}

PyObject* indel_distance_rows_body(Args& args) {
    return indel_body(
        args, [](ByteSpan a, ByteSpan b) { return fuzz::indel_distance_rows(a, b); },
        [](ScalarSpan a, ScalarSpan b) { return fuzz::indel_distance_rows(a, b); });
}

PyObject* sorted_split_body(Args& args) {
    return to_python_list(fuzz::sorted_split(args.str(0))).release();
}

// Two lists of str taken as token lists as they are (in any order), not split again.
PyObject* set_decomposition_body(Args& args) {
    const StrList a = as_strs(args.object(0)), b = as_strs(args.object(1));
    const fuzz::SetDecomposition d = fuzz::set_decomposition(a.slices(), b.slices());
    PyRef intersection = to_python_list(d.intersection), diff_ab = to_python_list(d.diff_ab),
          diff_ba = to_python_list(d.diff_ba);
    return check(PyTuple_Pack(3, intersection.get(), diff_ab.get(), diff_ba.get()));
}

PyObject* raise_fault_body(Args& args) {
    const TextSlice message = args.str(0);
    throw InternalError(std::string(message.data, message.size));
}

PyObject* raise_memory_error_body() { throw std::bad_alloc(); }

PyObject* raise_unknown_body() { throw 42; }

PyObject* raise_fault_without_gil_body() {
    without_gil([] { QUILLON_CHECK(false, "fault with the lock released"); });
    return nullptr;
}

PyObject* isa_body() {
    const auto chosen = simd::simd_isa_override();
    PyRef override_text = chosen ? to_python(TextSlice(chosen->data(), chosen->size())) : none();
    return check(Py_BuildValue("{s:O,s:O,s:O,s:n}", "override", override_text.get(), "avx2",
                               simd::avx2_available() ? Py_True : Py_False, "avx512",
                               simd::avx512_available() ? Py_True : Py_False, "width",
                               static_cast<Py_ssize_t>(simd::jaro_simd_width())));
}

PyObject* memory_available_body() {
    return check(PyLong_FromUnsignedLongLong(memory::available()));
}

PyObject* pool_size_body() { return check(PyLong_FromSize_t(pool::size())); }

// A parallel map over n items whose item `failing` throws a fault on whichever thread runs it.
PyObject* pool_fault_body(Args& args) {
    const std::uint64_t n = args.count_or(0, 0), failing = args.count_or(1, 0);
    without_gil([&] {
        (void)pool::map(n, [&](std::size_t i) {
            QUILLON_CHECK(i != failing, "fault on item " + std::to_string(i));
            return i;
        });
    });
    return none().release();
}

// Items that take a while, so that a worker joins in; the first item that runs on a thread
// other than the caller's throws a fault there.
PyObject* pool_fault_on_worker_body() {
    const std::thread::id caller = std::this_thread::get_id();
    without_gil([&] {
        (void)pool::map(
            400,
            [&](std::size_t i) {
                QUILLON_CHECK(std::this_thread::get_id() == caller, "fault on a worker thread");
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                return i;
            },
            1);
    });
    return none().release();
}

PyObject* myers_pattern_body(Args& args) {
    const simd::MyersPattern pattern = simd::MyersPattern::build(as_bytes(args.object(0)));
    return check(Py_BuildValue("(KKK)", static_cast<unsigned long long>(pattern.len),
                               static_cast<unsigned long long>(pattern.mask),
                               static_cast<unsigned long long>(pattern.last)));
}

// A group of bytes objects, kept alive by the owners, sized for the named kernel.
std::vector<TextSlice> kernel_group(std::string_view kernel, PyObject* iterable,
                                    std::vector<PyRef>& owners) {
    std::vector<TextSlice> texts;
    PyRef iterator(check(PyObject_GetIter(iterable)));
    while (PyObject* item = PyIter_Next(iterator.get())) {
        owners.emplace_back(item);
        texts.push_back(as_bytes(item));
    }
    if (PyErr_Occurred()) throw PythonError{};
    const std::size_t lanes = kernel.starts_with("4way")   ? 4
                              : kernel.starts_with("8way") ? 8
                                                           : texts.size();
    if (texts.size() != lanes)
        throw_error(PyExc_ValueError, "wrong number of texts for the kernel");
    return texts;
}

std::string_view name_of(const TextSlice& name) { return {name.data, name.size}; }

// One multi-lane kernel by name on a pattern and a group of texts; None when this processor
// cannot run it.
PyObject* myers_kernel_body(Args& args) {
    const std::string_view kernel = name_of(args.str(0));
    const simd::MyersPattern pattern = simd::MyersPattern::build(as_bytes(args.object(1)));
    std::vector<PyRef> owners;
    const std::vector<TextSlice> texts = kernel_group(kernel, args.object(2), owners);
    std::vector<std::uint32_t> out(texts.size());
    if (kernel == "single") {
        for (std::size_t k = 0; k < texts.size(); ++k)
            out[k] = levenshtein_myers_single(pattern, texts[k]);
    } else if (kernel == "4way_portable") {
        simd::levenshtein_myers_4way_portable(pattern, texts.data(), out.data());
    } else if (kernel == "8way_portable") {
        simd::levenshtein_myers_8way_portable(pattern, texts.data(), out.data());
    } else if (kernel == "4way_avx2") {
        if (!simd::avx2_available()) return none().release();
        simd::levenshtein_myers_4way_avx2(pattern, texts.data(), out.data());
    } else if (kernel == "8way_avx2") {
        if (!simd::avx2_available()) return none().release();
        simd::levenshtein_myers_8way_avx2(pattern, texts.data(), out.data());
    } else if (kernel == "8way_avx512") {
        if (!simd::avx512_available()) return none().release();
        simd::levenshtein_myers_8way_avx512(pattern, texts.data(), out.data());
    } else {
        throw_error(PyExc_ValueError, "unknown kernel");
    }
    return to_python_list(out).release();
}

// jaro on the pairs that its bit-parallel kernel takes, two ASCII texts of at most 64 bytes: the
// one-text counterpart of the lane kernels; any other pair is a fault.
PyObject* jaro_bitpar_body(Args& args) {
    const TextSlice a = as_bytes(args.object(0)), b = as_bytes(args.object(1));
    const bool a_ascii = is_ascii(a), b_ascii = is_ascii(b);
    if (a.size > 64 || b.size > 64 || !a_ascii || !b_ascii) {
        auto text = [](bool value) { return value ? "true" : "false"; };
        throw InternalError(
            "jaro_bitpar: inputs must be ASCII ≤ 64 bytes (got a=" + std::to_string(a.size) +
            " bytes ascii=" + text(a_ascii) + ", b=" + std::to_string(b.size) +
            " bytes ascii=" + text(b_ascii) + ")");
    }
    return to_python(jaro(a, b)).release();
}

// A Jaro kernel by name on a query and a group of candidates; None when this processor cannot
// run it.
PyObject* jaro_kernel_body(Args& args) {
    const std::string_view kernel = name_of(args.str(0));
    const TextSlice query = as_bytes(args.object(1));
    std::vector<PyRef> owners;
    const std::vector<TextSlice> texts = kernel_group(kernel, args.object(2), owners);
    std::vector<double> out(texts.size());
    if (kernel == "4way_portable") {
        simd::jaro_4way_portable(query, texts.data(), out.data());
    } else if (kernel == "8way_portable") {
        simd::jaro_8way_portable(query, texts.data(), out.data());
    } else if (kernel == "4way_avx2") {
        if (!simd::avx2_available()) return none().release();
        simd::jaro_4way_avx2(query, texts.data(), out.data());
    } else if (kernel == "8way_avx2") {
        if (!simd::avx2_available()) return none().release();
        simd::jaro_8way_avx2(query, texts.data(), out.data());
    } else if (kernel == "8way_avx512") {
        if (!simd::avx512_available()) return none().release();
        simd::jaro_8way_avx512(query, texts.data(), out.data());
    } else {
        throw_error(PyExc_ValueError, "unknown kernel");
    }
    return to_python_list(out).release();
}

// levenshtein_batch_auto on arbitrary (a, b) pairs of str.
PyObject* levenshtein_pairs_body(Args& args) {
    std::vector<PyRef> owners;
    std::vector<TextPair> pairs;
    PyRef iterator(check(PyObject_GetIter(args.object(0))));
    while (PyObject* item = PyIter_Next(iterator.get())) {
        owners.emplace_back(item);
        PyObject *a = nullptr, *b = nullptr;
        if (!PyArg_ParseTuple(item, "UU", &a, &b)) throw PythonError{};
        pairs.push_back({as_str(a), as_str(b)});
    }
    if (PyErr_Occurred()) throw PythonError{};
    const std::vector<std::uint32_t> distances =
        without_gil([&] { return levenshtein_batch_auto(pairs); });
    return to_python_list(distances).release();
}

PyObject* sat_add_body(Args& args) {
    return to_python(sat::add(args.int64(0), args.int64(1))).release();
}

PyObject* sat_mul_body(Args& args) {
    return to_python(sat::mul(args.count_or(0, 0), args.int64(1))).release();
}

PyObject* damerau_bytes_body(Args& args) {
    return to_python(damerau_bytes(as_bytes(args.object(0)), as_bytes(args.object(1)))).release();
}

PyObject* damerau_full_matrix_body(Args& args) {
    return to_python(damerau_full_matrix(args.str(0), args.str(1))).release();
}

// A narrow-lane kernel chosen by name ("portable", "avx2", "avx512") for the drivers; null
// when this processor cannot run it.
template <class Kernel>
Kernel lanes_named(Args& args, Kernel portable, Kernel avx2, Kernel avx512) {
    const std::string_view name = name_of(args.str(0));
    if (name == "portable") return portable;
    if (name == "avx2") return simd::avx2_available() ? avx2 : nullptr;
    if (name == "avx512") return simd::avx512bw_available() ? avx512 : nullptr;
    throw_error(PyExc_ValueError, "unknown kernel");
}

simd::packed::Kernel packed_kernel_named(Args& args) {
    return lanes_named(args, simd::packed::myers_block_portable, simd::packed::myers_block_avx2,
                       simd::packed::myers_block_avx512);
}

// A cross-product driver's rows as a list of lists: fill(row pointers) runs without the lock.
template <class T, class Fill>
PyObject* cross_rows(const StrList& list_a, const StrList& list_b, Fill fill) {
    std::vector<std::vector<T>> matrix(list_b.size() == 0 ? 0 : list_a.size(),
                                       std::vector<T>(list_b.size()));
    std::vector<T*> rows;
    for (auto& row : matrix) rows.push_back(row.data());
    without_gil([&] { fill(rows.data()); });
    return to_python_matrix(matrix).release();
}

PyObject* packed_batch_body(Args& args) {
    const simd::packed::Kernel kernel = packed_kernel_named(args);
    const TextSlice query = args.str(1);
    const StrList candidates = as_strs(args.object(2));
    if (kernel == nullptr) return none().release();
    std::vector<std::uint32_t> out(candidates.size());
    const bool packed = without_gil(
        [&] { return levenshtein_batch_packed(query, candidates.slices(), out.data(), kernel); });
    return packed ? to_python_list(out).release() : none().release();
}

PyObject* packed_cross_body(Args& args) {
    const simd::packed::Kernel kernel = packed_kernel_named(args);
    const auto [list_a, list_b] = as_strs_pair(args.object(1), args.object(2));
    if (kernel == nullptr) return none().release();
    return cross_rows<std::uint32_t>(list_a, list_b, [&](std::uint32_t* const* rows) {
        levenshtein_cross_packed(list_a.slices(), list_b.slices(), kernel, rows);
    });
}

simd::packed::JaroKernel jaro_packed_kernel_named(Args& args) {
    return lanes_named(args, simd::packed::jaro_block_portable, simd::packed::jaro_block_avx2,
                       simd::packed::jaro_block_avx512);
}

PyObject* jaro_packed_batch_body(Args& args) {
    const simd::packed::JaroKernel kernel = jaro_packed_kernel_named(args);
    const TextSlice query = args.str(1);
    const StrList candidates = as_strs(args.object(2));
    const double p = args.float_or(3, 0.1);
    if (kernel == nullptr) return none().release();
    std::vector<double> out(candidates.size());
    const bool packed = without_gil([&] {
        return jaro_winkler_batch_packed(query, candidates.slices(), p, out.data(), kernel);
    });
    return packed ? to_python_list(out).release() : none().release();
}

PyObject* jaro_packed_cross_body(Args& args) {
    const simd::packed::JaroKernel kernel = jaro_packed_kernel_named(args);
    const auto [list_a, list_b] = as_strs_pair(args.object(1), args.object(2));
    const double p = args.float_or(3, 0.1);
    if (kernel == nullptr) return none().release();
    return cross_rows<double>(list_a, list_b, [&](double* const* rows) {
        jaro_winkler_cross_packed(list_a.slices(), list_b.slices(), p, kernel, rows);
    });
}

// The fuzzy-ratio routes that faster ones replaced, kept as their oracles: extraction scoring
// every choice with ratio_with_cutoff, and the weighted ratio composed of the public scorers.

// (choice, score, index), as fuzz_extract gives it.
PyRef match_tuple_of(const fuzz::Match& match) {
    PyRef text = to_python(TextSlice(match.choice));
    PyRef score = to_python(match.score);
    PyRef index(check(PyLong_FromSize_t(match.index)));
    return PyRef(check(PyTuple_Pack(3, text.get(), score.get(), index.get())));
}

// Best first, equal scores in index order.
bool match_before(const fuzz::Match& p, const fuzz::Match& q) {
    return p.score > q.score || (p.score == q.score && p.index < q.index);
}

PyObject* extract_pairwise_body(Args& args) {
    const TextSlice query = args.str(0);
    const double score_cutoff = args.float_or(2, 0.0);
    const std::uint64_t limit = args.count_or(3, 5);
    const StrList choices = as_strs(args.object(1));
    std::vector<fuzz::Match> kept;
    for (std::size_t i = 0; i < choices.slices().size(); ++i) {
        const TextSlice c = choices.slices()[i];
        const double s = fuzz::ratio_with_cutoff(query, c, 0.0);
        if (s >= score_cutoff) kept.push_back({std::string(c.data, c.size), s, i});
    }
    std::sort(kept.begin(), kept.end(), match_before);
    if (limit < kept.size()) kept.resize(static_cast<std::size_t>(limit));
    PyRef list(check(PyList_New(static_cast<Py_ssize_t>(kept.size()))));
    for (std::size_t i = 0; i < kept.size(); ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), match_tuple_of(kept[i]).release());
    }
    return list.release();
}

PyObject* extract_one_pairwise_body(Args& args) {
    const TextSlice query = args.str(0);
    const double score_cutoff = args.float_or(2, 0.0);
    const StrList choices = as_strs(args.object(1));
    std::optional<fuzz::Match> best;
    for (std::size_t i = 0; i < choices.slices().size(); ++i) {
        const TextSlice c = choices.slices()[i];
        const double s = fuzz::ratio_with_cutoff(query, c, 0.0);
        if (s >= score_cutoff && (!best || s > best->score)) {
            best = fuzz::Match{std::string(c.data, c.size), s, i};
            if (s == 100.0) break;
        }
    }
    return best ? match_tuple_of(*best).release() : none().release();
}

// The extraction routes with a narrow-lane LCS kernel by name ("portable", "avx2", "avx512"),
// or with every candidate scored on its own ("candidates", the route the lanes replaced); None
// when this processor cannot run the kernel.
simd::packed::LcsKernel lcs_kernel_named(Args& args, bool& runnable) {
    runnable = true;
    if (name_of(args.str(0)) == "candidates") return nullptr;
    const simd::packed::LcsKernel kernel =
        lanes_named(args, simd::packed::lcs_block_portable, simd::packed::lcs_block_avx2,
                    simd::packed::lcs_block_avx512);
    runnable = kernel != nullptr;
    return kernel;
}

PyObject* extract_lanes_body(Args& args) {
    bool runnable;
    const simd::packed::LcsKernel kernel = lcs_kernel_named(args, runnable);
    const TextSlice query = args.str(1);
    const StrList choices = as_strs(args.object(2));
    const double score_cutoff = args.float_or(3, 0.0);
    const std::uint64_t limit = args.count_or(4, 5);
    if (!runnable) return none().release();
    const std::vector<fuzz::Match> matches = without_gil(
        [&] { return fuzz::extract(query, choices.slices(), score_cutoff, limit, kernel); });
    PyRef list(check(PyList_New(static_cast<Py_ssize_t>(matches.size()))));
    for (std::size_t i = 0; i < matches.size(); ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i),
                       match_tuple_of(matches[i]).release());
    }
    return list.release();
}

PyObject* extract_one_lanes_body(Args& args) {
    bool runnable;
    const simd::packed::LcsKernel kernel = lcs_kernel_named(args, runnable);
    const TextSlice query = args.str(1);
    const StrList choices = as_strs(args.object(2));
    const double score_cutoff = args.float_or(3, 0.0);
    if (!runnable) return none().release();
    const std::optional<fuzz::Match> match = without_gil(
        [&] { return fuzz::extract_one(query, choices.slices(), score_cutoff, kernel); });
    return match ? match_tuple_of(*match).release() : none().release();
}

PyObject* ratio_batch_lanes_body(Args& args) {
    bool runnable;
    const simd::packed::LcsKernel kernel = lcs_kernel_named(args, runnable);
    const TextSlice query = args.str(1);
    const StrList candidates = as_strs(args.object(2));
    if (!runnable) return none().release();
    const std::vector<double> scores =
        without_gil([&] { return fuzz::ratio_batch(query, candidates.slices(), kernel); });
    return to_python_list(scores).release();
}

PyObject* partial_ratio_per_window_body(Args& args) {
    const fuzz::ScoreAlignment r =
        fuzz::partial_ratio_alignment_per_window(args.str(0), args.str(1), args.float_or(2, 0.0));
    return check(Py_BuildValue("(dnnnn)", r.score, static_cast<Py_ssize_t>(r.src_start),
                               static_cast<Py_ssize_t>(r.src_end),
                               static_cast<Py_ssize_t>(r.dest_start),
                               static_cast<Py_ssize_t>(r.dest_end)));
}

PyObject* wratio_composed_body(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const double c = args.float_or(2, 0.0);
    if (c > 100.0) return to_python(0.0).release();
    const std::size_t la = fuzz::char_length(a), lb = fuzz::char_length(b);
    if (la == 0 || lb == 0) return to_python(0.0).release();
    const double len_ratio =
        static_cast<double>(std::max(la, lb)) / static_cast<double>(std::min(la, lb));
    double end = fuzz::ratio_with_cutoff(a, b, c);
    if (len_ratio < 1.5) {
        const double c1 = fuzz::max_nan_loses(c, end) / 0.95;
        return to_python(fuzz::max_nan_loses(end, fuzz::token_ratio(a, b, c1) * 0.95)).release();
    }
    const double w = len_ratio > 8.0 ? 0.6 : 0.9;
    const double c1 = fuzz::max_nan_loses(c, end) / w;
    end = fuzz::max_nan_loses(end, fuzz::partial_ratio_alignment(a, b, c1).score * w);
    const double c2 = fuzz::max_nan_loses(c1, end) / 0.95;
    return to_python(fuzz::max_nan_loses(end, fuzz::partial_token_ratio(a, b, c2) * 0.95 * w))
        .release();
}

// The partial ratio with its window sweep and comb by name ("portable", "avx2", "avx512"); None
// when this processor cannot run them.
PyObject* partial_ratio_kernels_body(Args& args) {
    const simd::partial::Entries* kernels =
        lanes_named(args, &simd::partial::portable_entries, &simd::partial::avx2_entries,
                    &simd::partial::avx512_entries);
    const TextSlice a = args.str(1), b = args.str(2);
    const double score_cutoff = args.float_or(3, 0.0);
    if (kernels == nullptr) return none().release();
    const fuzz::ScoreAlignment r = without_gil(
        [&] { return fuzz::partial_ratio_alignment_with(a, b, score_cutoff, *kernels); });
    return check(Py_BuildValue("(dnnnn)", r.score, static_cast<Py_ssize_t>(r.src_start),
                               static_cast<Py_ssize_t>(r.src_end),
                               static_cast<Py_ssize_t>(r.dest_start),
                               static_cast<Py_ssize_t>(r.dest_end)));
}

// The specified Needleman-Wunsch routes, kept as the oracles of the lanes.
LinearScores linear_scores_of(Args& args, std::size_t first) {
    return {args.int64(first), args.int64(first + 1), args.int64(first + 2)};
}

AffineScores affine_scores_of(Args& args, std::size_t first) {
    return {args.int64(first), args.int64(first + 1), args.int64(first + 2), args.int64(first + 3)};
}

PyObject* needleman_rows_body(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(needleman_wunsch_rows(a, b, linear_scores_of(args, 2))).release();
}

PyObject* needleman_affine_rows_body(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    return to_python(needleman_wunsch_affine_rows(a, b, affine_scores_of(args, 2))).release();
}

// The blocked byte route on two ASCII texts, the row route otherwise.
PyObject* needleman_striped_rows_body(Args& args) {
    const TextSlice a = args.str(0), b = args.str(1);
    const LinearScores s = linear_scores_of(args, 2);
    return to_python(is_ascii(a) && is_ascii(b) ? simd::needleman_wunsch_striped(a, b, s)
                                                : needleman_wunsch_rows(a, b, s))
        .release();
}

// One instruction set's Needleman-Wunsch lanes on the query against each candidate, as
// (pair by pair, batch); scores is (match, mismatch, gap) or (match, mismatch, open, extend).
// None when this processor cannot run them.
PyObject* needleman_lanes_body(Args& args) {
    const simd::nw::Table* table = lanes_named(args, &simd::nw::table_portable,
                                               &simd::nw::table_avx2, &simd::nw::table_avx512);
    const TextSlice query = args.str(1);
    const StrList candidates = as_strs(args.object(2));
    PyRef items(check(PySequence_Tuple(args.object(3))));
    std::vector<std::int64_t> v;
    for (Py_ssize_t i = 0; i < PyTuple_Size(items.get()); ++i) {
        v.push_back(as_int(PyTuple_GetItem(items.get(), i)));
    }
    if (v.size() != 3 && v.size() != 4) throw_error(PyExc_ValueError, "3 or 4 scores");
    if (table == nullptr) return none().release();
    const NeedlemanLanes r = without_gil([&] {
        return v.size() == 3
                   ? needleman_wunsch_lanes(query, candidates.slices(), {v[0], v[1], v[2]}, *table)
                   : needleman_wunsch_affine_lanes(query, candidates.slices(),
                                                   {v[0], v[1], v[2], v[3]}, *table);
    });
    PyRef pairs = to_python_list(r.pairs), batch = to_python_list(r.batch);
    return check(PyTuple_Pack(2, pairs.get(), batch.get()));
}

// One banded pass over two byte texts with the bound k (raised to their length difference):
// never below the distance, equal to it when the distance is at most k.
PyObject* levenshtein_band_pass_body(Args& args) {
    const TextSlice a = as_bytes(args.object(0)), b = as_bytes(args.object(1));
    const auto k = static_cast<std::size_t>(args.count_or(2, 0));
    const std::uint64_t d = levenshtein_band_pass(a.bytes(), a.size, b.bytes(), b.size, k);
    return to_python(static_cast<std::int64_t>(d)).release();
}

constexpr Row testing_table[] = {
    {"sat_add(x, y, /)\n--\n\n", sat_add_body},
    {"sat_mul(count, s, /)\n--\n\n", sat_mul_body},
    {"damerau_bytes(a, b, /)\n--\n\n", damerau_bytes_body},
    {"isa()\n--\n\n", isa_body},
    {"memory_available()\n--\n\n", memory_available_body},
    {"pool_size()\n--\n\n", pool_size_body},
    {"pool_fault(n, failing, /)\n--\n\n", pool_fault_body},
    {"pool_fault_on_worker()\n--\n\n", pool_fault_on_worker_body},
    {"myers_pattern(pattern, /)\n--\n\n", myers_pattern_body},
    {"myers_kernel(name, pattern, texts, /)\n--\n\n", myers_kernel_body},
    {"levenshtein_pairs(pairs, /)\n--\n\n", levenshtein_pairs_body},
    {"jaro_bitpar(a, b, /)\n--\n\n", jaro_bitpar_body},
    {"jaro_kernel(name, query, candidates, /)\n--\n\n", jaro_kernel_body},
    {"is_ascii(data, /)\n--\n\n", is_ascii_body},
    {"decode_utf8(data, /)\n--\n\n", decode_utf8_body},
    {"decode_latin1(kernel, data, /)\n--\n\n", decode_latin1_body},
    {"pair_routes(a, b, /)\n--\n\n", pair_routes_body},
    {"levenshtein_myers(a, b, /)\n--\n\n", levenshtein_myers_body},
    {"levenshtein_myers_word(pattern, text, /)\n--\n\n", levenshtein_myers_word_body},
    {"levenshtein_rows_bytes(pattern, text, /)\n--\n\n", levenshtein_rows_bytes_body},
    {"levenshtein_scalars(a, b, /)\n--\n\n", levenshtein_scalars_body},
    {"levenshtein_rows_scalars(a, b, /)\n--\n\n", levenshtein_rows_scalars_body},
    {"indel_distance_slice(a, b, /)\n--\n\n", indel_distance_slice_body},
    {"indel_distance_rows(a, b, /)\n--\n\n", indel_distance_rows_body},
    {"sorted_split(text, /)\n--\n\n", sorted_split_body},
    {"set_decomposition(a, b, /)\n--\n\n", set_decomposition_body},
    {"raise_fault(message, /)\n--\n\n", raise_fault_body},
    {"raise_memory_error()\n--\n\n", raise_memory_error_body},
    {"raise_unknown()\n--\n\n", raise_unknown_body},
    {"raise_fault_without_gil()\n--\n\n", raise_fault_without_gil_body},
    {"packed_batch(kernel, query, candidates, /)\n--\n\n", packed_batch_body},
    {"packed_cross(kernel, list_a, list_b, /)\n--\n\n", packed_cross_body},
    {"damerau_full_matrix(a, b, /)\n--\n\n", damerau_full_matrix_body},
    {"jaro_packed_batch(kernel, query, candidates, p=0.1, /)\n--\n\n", jaro_packed_batch_body},
    {"jaro_packed_cross(kernel, list_a, list_b, p=0.1, /)\n--\n\n", jaro_packed_cross_body},
    {"extract_pairwise(query, choices, cutoff=0.0, limit=5, /)\n--\n\n", extract_pairwise_body},
    {"extract_one_pairwise(query, choices, cutoff=0.0, /)\n--\n\n", extract_one_pairwise_body},
    {"extract_lanes(kernel, query, choices, cutoff=0.0, limit=5, /)\n--\n\n", extract_lanes_body},
    {"extract_one_lanes(kernel, query, choices, cutoff=0.0, /)\n--\n\n", extract_one_lanes_body},
    {"ratio_batch_lanes(kernel, query, candidates, /)\n--\n\n", ratio_batch_lanes_body},
    {"partial_ratio_per_window(a, b, cutoff=0.0, /)\n--\n\n", partial_ratio_per_window_body},
    {"wratio_composed(a, b, cutoff=0.0, /)\n--\n\n", wratio_composed_body},
    {"partial_ratio_kernels(kernel, a, b, cutoff=0.0, /)\n--\n\n", partial_ratio_kernels_body},
    {"needleman_rows(a, b, match, mismatch, gap, /)\n--\n\n", needleman_rows_body},
    {"needleman_affine_rows(a, b, match, mismatch, open, extend, /)\n--\n\n",
     needleman_affine_rows_body},
    {"needleman_striped_rows(a, b, match, mismatch, gap, /)\n--\n\n", needleman_striped_rows_body},
    {"needleman_lanes(kernel, query, candidates, scores, /)\n--\n\n", needleman_lanes_body},
    {"levenshtein_band_pass(a, b, k, /)\n--\n\n", levenshtein_band_pass_body},
};

int exec_testing(PyObject* module) noexcept {
    if (PyModule_AddFunctions(module, method_defs<testing_table>()) < 0) return -1;
    return 0;
}

PyModuleDef_Slot testing_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_testing)},
    {0, nullptr},
};

PyModuleDef testing_def = {
    PyModuleDef_HEAD_INIT,
    "quillon._testing",
    "Internal kernels for the test suite.",
    0,
    nullptr,
    testing_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace quillon::binding

PyMODINIT_FUNC PyInit__testing(void) { return PyModuleDef_Init(&quillon::binding::testing_def); }
