// One converter per parameter kind, and the builders of result objects. Converters throw
// PythonError with the interpreter's or the module's own exception set; the caller (Args)
// attaches the "while processing" note.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "../core/text.hpp"
#include "errors.hpp"

namespace quillon::binding {

// str or subclass -> borrowed UTF-8 (valid while the object lives).
TextSlice as_str(PyObject* obj);
// Anything PyFloat_AsDouble takes.
double as_float(PyObject* obj);
// Signed 64-bit: anything with __index__ (a float is refused).
std::int64_t as_int(PyObject* obj);
// Unsigned 64-bit: an int directly, anything else through __index__.
std::uint64_t as_count(PyObject* obj);
// None -> no value, else a count.
std::optional<std::uint64_t> as_count_or_none(PyObject* obj);
// Exactly True or False, or a NumPy boolean scalar through its __bool__.
bool as_bool(PyObject* obj);

// A list parameter: any iterable of str, as text slices that stay valid whatever happens to the
// iterable meanwhile. Short texts are copied side by side into blocks of the list's own, so
// that the kernels read them in order and no item is touched again (each would miss the cache
// in a long list, and again for its reference count when the call ends); a longer text is read
// in place, its item held by a reference for the call.
class StrList {
  public:
    std::size_t size() const noexcept { return slices_.size(); }
    const std::vector<TextSlice>& slices() const noexcept { return slices_; }
    const TextSlice& operator[](std::size_t i) const noexcept { return slices_[i]; }

  private:
    friend StrList collect_strs(PyObject* obj);
    friend void encode_strs(StrList& list);
    void reserve(std::size_t n);
    void add(PyObject* item);
    const char* copy(const char* data, std::size_t size);

    static constexpr std::size_t copied_bytes = 256;
    static constexpr std::size_t block_bytes = std::size_t{1} << 16;

    std::vector<TextSlice> slices_;
    std::vector<PyRef> held_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t room_ = 0;
    // The items that had no UTF-8 form when collected, by position: encode_strs tries again.
    std::vector<std::pair<std::size_t, PyRef>> unencoded_;
};

// Takes the items of an iterable, refusing any that is not a str. Encoding failures are
// kept for encode_strs, so that every item's type is checked before any encoding error.
StrList collect_strs(PyObject* obj);
// Raises the first encoding failure of the collected items, if any.
void encode_strs(StrList& list);
// Both steps, for a function with one list.
StrList as_strs(PyObject* obj);

PyRef to_python(std::uint32_t value);
PyRef to_python(std::int64_t value);
PyRef to_python(double value);
PyRef to_python(bool value);
PyRef to_python(TextSlice text);
PyRef none();

// A list with one item per element, item i built from element i.
template <class T>
PyRef to_python_list(const std::vector<T>& values) {
    PyRef list(check(PyList_New(static_cast<Py_ssize_t>(values.size()))));
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), to_python(values[i]).release());
    }
    return list;
}

// One inner list per row, in order.
template <class T>
PyRef to_python_matrix(const std::vector<std::vector<T>>& rows) {
    PyRef outer(check(PyList_New(static_cast<Py_ssize_t>(rows.size()))));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        PyList_SetItem(outer.get(), static_cast<Py_ssize_t>(i), to_python_list(rows[i]).release());
    }
    return outer;
}

// Both lists of a cross-product: take the items of a, then of b, then encode a, then b.
std::pair<StrList, StrList> as_strs_pair(PyObject* a, PyObject* b);

}  // namespace quillon::binding
