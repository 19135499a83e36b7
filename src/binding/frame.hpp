// The call frame: every exported function enters through one of these trampolines, which
// bind the arguments, run the body and turn any C++ failure into a Python exception.
#pragma once

#include <iterator>
#include <utility>

#include "../core/pool.hpp"
#include "args.hpp"

namespace quillon::binding {

// Releases the interpreter lock for its lifetime; no Python object may be touched inside.
class GilRelease {
  public:
    GilRelease() noexcept : state_(PyEval_SaveThread()) {}
    GilRelease(const GilRelease&) = delete;
    GilRelease& operator=(const GilRelease&) = delete;
    ~GilRelease() { PyEval_RestoreThread(state_); }

    PyThreadState* state() const noexcept { return state_; }

  private:
    PyThreadState* state_;
};

// Runs the core call with the lock released; the lock is held again when it returns or throws.
template <class F>
decltype(auto) without_gil(F&& fn) {
    GilRelease release;
    return std::forward<F>(fn)();
}

// Pairs of at most this many bytes in all are scored with the lock held: their kernels finish
// in about the time that releasing and taking back the lock would add (some tens of
// nanoseconds), so a thread waiting for the lock waits no longer than it would for the switch.
inline constexpr std::size_t short_pair_bytes = 64;

// without_gil, except for a short pair, which runs as it is.
template <class F>
decltype(auto) without_gil_unless_short(TextSlice a, TextSlice b, F&& fn) {
    if (a.size + b.size <= short_pair_bytes) return std::forward<F>(fn)();
    return without_gil(std::forward<F>(fn));
}

// The pool's poll for work released by without_gil_interruptible: takes the lock back for a
// moment and runs the handlers of pending signals; true when one raised.
inline bool signal_raised(void* released_state) noexcept {
    auto* state = static_cast<PyThreadState*>(released_state);
    PyEval_RestoreThread(state);
    const bool raised = PyErr_CheckSignals() < 0;
    PyEval_SaveThread();
    return raised;
}

// Runs parallel core work as without_gil, but a signal whose handler raises (KeyboardInterrupt
// for Ctrl-C) stops the work between pieces; its exception is then raised and the results of
// the pieces that ran are dropped.
template <class F>
decltype(auto) without_gil_interruptible(F&& fn) {
    try {
        GilRelease release;
        const pool::InterruptPoll poll{signal_raised, release.state()};
        const pool::ScopedInterruptPoll polled(poll);
        return std::forward<F>(fn)();
    } catch (const pool::Interrupted&) {
        throw PythonError{};
    }
}

template <const Row& row>
PyObject* enter(PyObject*, PyObject* const* argv, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::string_view processing;  // the parameter under conversion, if any
    try {
        Args args(row, argv, nargs, kwnames, processing);
        return row.body(args);
    } catch (const PythonError&) {
        // Refusals end here without a rethrow, each of which costs microseconds.
        if (!processing.empty()) add_note("while processing '" + std::string(processing) + "'");
        return python_error_set();
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
