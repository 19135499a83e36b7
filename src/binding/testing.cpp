// quillon._testing: internal kernels and the fault paths, reachable from the test suite.
// Built only with QUILLON_TESTING=ON and never shipped in a release wheel.
#include <iterator>
#include <new>

#include "../core/error.hpp"
#include "../core/fuzz/ratio.hpp"
#include "../core/levenshtein.hpp"
#include "../core/simd/myers.hpp"
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

PyObject* is_ascii_body(Args& args) { return to_python(is_ascii(as_bytes(args.object(0)))).release(); }

PyObject* decode_utf8_body(Args& args) {
    const Scalars units = decode_utf8(as_bytes(args.object(0)));
    return to_python_list(units).release();
}

PyObject* levenshtein_myers_body(Args& args) {
    const TextSlice a = as_bytes(args.object(0)), b = as_bytes(args.object(1));
    return to_python(simd::levenshtein_myers(a, b)).release();
}

PyObject* levenshtein_myers_word_body(Args& args) {
    const TextSlice p = as_bytes(args.object(0)), t = as_bytes(args.object(1));
    if (p.size == 0 || p.size > 64) throw_error(PyExc_ValueError, "pattern must be 1 to 64 bytes");
    return to_python(simd::levenshtein_myers_word(p, t)).release();
}

PyObject* levenshtein_rows_bytes_body(Args& args) {
    const TextSlice p = as_bytes(args.object(0)), t = as_bytes(args.object(1));
    return to_python(simd::levenshtein_rows_bytes(p, t)).release();
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
    return to_python(on_scalars(std::span<const std::uint32_t>(a), std::span<const std::uint32_t>(b)))
        .release();
}

using ByteSpan = std::span<const std::uint8_t>;
using ScalarSpan = std::span<const std::uint32_t>;

PyObject* indel_distance_slice_body(Args& args) {
    return indel_body(args, [](ByteSpan a, ByteSpan b) { return fuzz::indel_distance_slice(a, b); },
                      [](ScalarSpan a, ScalarSpan b) { return fuzz::indel_distance_slice(a, b); });
}

PyObject* indel_distance_rows_body(Args& args) {
    return indel_body(args, [](ByteSpan a, ByteSpan b) { return fuzz::indel_distance_rows(a, b); },
                      [](ScalarSpan a, ScalarSpan b) { return fuzz::indel_distance_rows(a, b); });
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

constexpr Row testing_table[] = {
    {"is_ascii(data, /)\n--\n\n", is_ascii_body},
    {"decode_utf8(data, /)\n--\n\n", decode_utf8_body},
    {"levenshtein_myers(a, b, /)\n--\n\n", levenshtein_myers_body},
    {"levenshtein_myers_word(pattern, text, /)\n--\n\n", levenshtein_myers_word_body},
    {"levenshtein_rows_bytes(pattern, text, /)\n--\n\n", levenshtein_rows_bytes_body},
    {"levenshtein_scalars(a, b, /)\n--\n\n", levenshtein_scalars_body},
    {"levenshtein_rows_scalars(a, b, /)\n--\n\n", levenshtein_rows_scalars_body},
    {"indel_distance_slice(a, b, /)\n--\n\n", indel_distance_slice_body},
    {"indel_distance_rows(a, b, /)\n--\n\n", indel_distance_rows_body},
    {"raise_fault(message, /)\n--\n\n", raise_fault_body},
    {"raise_memory_error()\n--\n\n", raise_memory_error_body},
    {"raise_unknown()\n--\n\n", raise_unknown_body},
    {"raise_fault_without_gil()\n--\n\n", raise_fault_without_gil_body},
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
    PyModuleDef_HEAD_INIT, "quillon._testing", "Internal kernels for the test suite.", 0, nullptr,
    testing_slots,         nullptr,            nullptr,                               nullptr,
};

}  // namespace

}  // namespace quillon::binding

PyMODINIT_FUNC PyInit__testing(void) { return PyModuleDef_Init(&quillon::binding::testing_def); }
