// Argument conversion by kind, string lists, and result objects.
#include "convert.hpp"

#include <cstring>
#include <limits>

namespace quillon::binding {

namespace {

// PyUnicode_Check is a call into the interpreter under the limited API; an exact str, nearly
// every argument, is recognised by its type pointer alone.
bool is_str(PyObject* obj) noexcept { return PyUnicode_CheckExact(obj) || PyUnicode_Check(obj); }

}  // namespace

TextSlice as_str(PyObject* obj) {
    if (!is_str(obj)) throw_not_instance(obj, "str");
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (data == nullptr) throw PythonError{};
    return TextSlice(data, static_cast<std::size_t>(size));
}

double as_float(PyObject* obj) {
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) throw PythonError{};
    return value;
}

std::int64_t as_int(PyObject* obj) {
    const long long value = PyLong_AsLongLong(obj);
    if (value == -1 && PyErr_Occurred()) throw PythonError{};
    return static_cast<std::int64_t>(value);
}

std::uint64_t as_count(PyObject* obj) {
    PyRef index;
    if (!PyLong_Check(obj)) {
        index = PyRef(check(PyNumber_Index(obj)));
        obj = index.get();
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(obj);
    if (value == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) {
        throw PythonError{};
    }
    return static_cast<std::uint64_t>(value);
}

std::optional<std::uint64_t> as_count_or_none(PyObject* obj) {
    if (obj == nullptr || obj == Py_None) return std::nullopt;
    return as_count(obj);
}

namespace {

// NumPy's boolean scalar, recognised by name so that NumPy never has to be imported here.
bool is_numpy_bool(PyObject* obj) {
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
    PyRef module(PyObject_GetAttrString(type, "__module__"));
    if (!module) {
        PyErr_Clear();
        return false;
    }
    if (!PyUnicode_Check(module.get()) ||
        PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0) {
        return false;
    }
    PyRef name(check(PyType_GetName(Py_TYPE(obj))));
    return PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
           PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0;
}

}  // namespace

bool as_bool(PyObject* obj) {
    if (obj == Py_True) return true;
    if (obj == Py_False) return false;
    if (obj == Py_None || !is_numpy_bool(obj)) throw_not_instance(obj, "bool");
    auto* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
    PyRef method(PyObject_GetAttrString(type, "__bool__"));
    if (!method || !PyCallable_Check(method.get())) {
        PyErr_Clear();
        PyRef name(check(PyType_GetQualName(Py_TYPE(obj))));
        PyErr_Format(PyExc_TypeError, "object of type '%U' does not define a '__bool__' conversion",
                     name.get());
        throw PythonError{};
    }
    PyRef result(check(PyObject_CallFunctionObjArgs(method.get(), obj, nullptr)));
    const int truth = PyObject_IsTrue(result.get());
    if (truth < 0) throw PythonError{};
    return truth == 1;
}

void StrList::reserve(std::size_t n) { slices_.reserve(n); }

const char* StrList::copy(const char* data, std::size_t size) {
    if (size > room_) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(block_bytes));
        free_ = blocks_.back().get();
        room_ = block_bytes;
    }
    char* at = free_;
    copy_short(at, data, size);
    free_ += size;
    room_ -= size;
    return at;
}

// item is borrowed: it is referenced only where the list keeps it.
void StrList::add(PyObject* item) {
    if (!is_str(item)) throw_not_instance(item, "str");
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(item, &size);
    if (data == nullptr) {
        // Encoded again, and raised, once every item has passed its type check.
        PyErr_Clear();
        unencoded_.emplace_back(slices_.size(), PyRef::borrow(item));
        slices_.emplace_back();
    } else if (static_cast<std::size_t>(size) <= copied_bytes) {
        const auto n = static_cast<std::size_t>(size);
        slices_.emplace_back(copy(data, n), n);
    } else {
        held_.push_back(PyRef::borrow(item));
        slices_.emplace_back(data, static_cast<std::size_t>(size));
    }
}

StrList collect_strs(PyObject* obj) {
    StrList list;
    // A list or tuple cannot change while this loop holds the interpreter lock and runs no
    // Python code, so its items are read by index rather than through an iterator.
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
        const bool is_list = PyList_CheckExact(obj);
        const Py_ssize_t n = is_list ? PyList_Size(obj) : PyTuple_Size(obj);
        list.reserve(static_cast<std::size_t>(n));
        for (Py_ssize_t i = 0; i < n; ++i) {
            list.add(is_list ? PyList_GetItem(obj, i) : PyTuple_GetItem(obj, i));
        }
        return list;
    }
    // The length only sizes the first allocation; objects without one are fine.
    const Py_ssize_t hint = PyObject_Size(obj);
    if (hint < 0) {
        PyErr_Clear();
    } else {
        list.reserve(static_cast<std::size_t>(hint));
    }
    PyRef iterator(check(PyObject_GetIter(obj)));
    while (PyObject* next = PyIter_Next(iterator.get())) {
        const PyRef item(next);  // the iterator's reference, dropped once the text is taken
        list.add(item.get());
    }
    if (PyErr_Occurred()) throw PythonError{};
    return list;
}

void encode_strs(StrList& list) {
    for (const auto& [i, item] : list.unencoded_) list.slices_[i] = as_str(item.get());
    list.unencoded_.clear();
}

StrList as_strs(PyObject* obj) {
    StrList list = collect_strs(obj);
    encode_strs(list);
    return list;
}

std::pair<StrList, StrList> as_strs_pair(PyObject* a, PyObject* b) {
    // Two statements: the arguments of one constructor call are evaluated in no fixed order.
    std::pair<StrList, StrList> lists;
    lists.first = collect_strs(a);
    lists.second = collect_strs(b);
    encode_strs(lists.first);
    encode_strs(lists.second);
    return lists;
}

PyRef to_python(std::uint32_t value) { return PyRef(check(PyLong_FromUnsignedLong(value))); }

PyRef to_python(std::int64_t value) { return PyRef(check(PyLong_FromLongLong(value))); }

PyRef to_python(double value) { return PyRef(check(PyFloat_FromDouble(value))); }

PyRef to_python(bool value) { return PyRef::borrow(value ? Py_True : Py_False); }

PyRef to_python(TextSlice text) {
    return PyRef(check(PyUnicode_FromStringAndSize(text.data, static_cast<Py_ssize_t>(text.size))));
}

PyRef none() { return PyRef::borrow(Py_None); }

}  // namespace quillon::binding
