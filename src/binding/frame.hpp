// The call frame: every exported function enters through one of these trampolines, which
// bind the arguments, run the body and turn any C++ failure into a Python exception.
#pragma once

#include <iterator>
#include <utility>

#include "args.hpp"

namespace quillon::binding {

// Releases the interpreter lock for its lifetime; no Python object may be touched inside.
class GilRelease {
  public:
    GilRelease() noexcept : state_(PyEval_SaveThread()) {}
    GilRelease(const GilRelease&) = delete;
    GilRelease& operator=(const GilRelease&) = delete;
    ~GilRelease() { PyEval_RestoreThread(state_); }

  private:
    PyThreadState* state_;
};

// Runs the core call with the lock released; the lock is held again when it returns or throws.
template <class F>
decltype(auto) without_gil(F&& fn) {
    GilRelease release;
    return std::forward<F>(fn)();
}

template <const Row& row>
PyObject* enter(PyObject*, PyObject* const* argv, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        Args args(row, argv, nargs, kwnames);
        return row.body(args);
    } catch (...) {
        return raise_current_exception();
    }
}

template <const Row& row>
PyObject* enter_noargs(PyObject*, PyObject*) noexcept {
    try {
        return row.noargs();
    } catch (...) {
        return raise_current_exception();
    }
}

namespace detail {

template <class F>
PyCFunction as_cfunction(F fn) noexcept {
    // CPython calls through the pointer with the signature that the flags announce.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fn));
}

template <const Row& row>
PyMethodDef method_def() noexcept {
    if constexpr (row.takes_arguments) {
        return {row.c_name.data(), as_cfunction(&enter<row>), METH_FASTCALL | METH_KEYWORDS,
                row.doc};
    } else {
        return {row.c_name.data(), as_cfunction(&enter_noargs<row>), METH_NOARGS, row.doc};
    }
}

template <const auto& table, std::size_t... I>
PyMethodDef* method_defs(std::index_sequence<I...>) noexcept {
    // CPython keeps pointers into these definitions for as long as the functions live.
    static PyMethodDef defs[] = {method_def<table[I]>()..., {nullptr, nullptr, 0, nullptr}};
    return defs;
}

}  // namespace detail

// The method definitions of a constexpr table of rows, terminated by an empty entry.
template <const auto& table>
PyMethodDef* method_defs() noexcept {
    return detail::method_defs<table>(std::make_index_sequence<std::size(table)>());
}

}  // namespace quillon::binding
