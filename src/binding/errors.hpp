// Exceptions across the binding boundary: C++ code throws, the call frame maps what it
// catches to a Python exception with the interpreter lock held.
#pragma once

#include <string>

#include "pyref.hpp"

namespace quillon::binding {

// Thrown once a Python exception is set; the frame passes it on unchanged.
struct PythonError {};

// Throws PythonError if the pointer is null (the interpreter has set the exception).
inline PyObject* check(PyObject* result) {
    if (result == nullptr) throw PythonError{};
    return result;
}

[[noreturn]] void throw_error(PyObject* type, const char* message);
[[noreturn]] void throw_error(PyObject* type, const std::string& message);

// "'T' object is not an instance of 'KIND'" ("'None' is not ..." for None), as TypeError.
[[noreturn]] void throw_not_instance(PyObject* obj, const char* kind);

// Attaches a note to the pending exception through its add_note method; a failure of
// add_note is dropped and the original exception stays as it was.
void add_note(const std::string& note) noexcept;

// Maps the exception in flight to a Python exception and returns nullptr: PythonError stays
// as set, exhausted memory becomes MemoryError, any other fault becomes the fault type
// pyo3_runtime.PanicException. Must be called inside a catch block, lock held.
PyObject* raise_current_exception() noexcept;

// What the frame returns for a caught PythonError: nullptr, the exception being set (a fault
// is raised instead if it is not).
PyObject* python_error_set() noexcept;

// The fault type (a BaseException subclass), created on first use.
PyObject* fault_type() noexcept;

}  // namespace quillon::binding
