// Exception mapping at the binding boundary.
#include "errors.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <stdexcept>

namespace quillon::binding {

void throw_error(PyObject* type, const char* message) {
    PyErr_SetString(type, message);
    throw PythonError{};
}

void throw_error(PyObject* type, const std::string& message) { throw_error(type, message.c_str()); }

void throw_not_instance(PyObject* obj, const char* kind) {
    if (obj == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", kind);
        throw PythonError{};
    }
    PyRef name(check(PyType_GetQualName(Py_TYPE(obj))));
    PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", name.get(), kind);
    throw PythonError{};
}

// PyErr_Fetch is the only way to hold the pending exception object in the 3.11 limited API.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
void add_note(const std::string& note) noexcept {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr) {
        if (traceback != nullptr) PyException_SetTraceback(value, traceback);
        PyObject* text =
            PyUnicode_FromStringAndSize(note.data(), static_cast<Py_ssize_t>(note.size()));
        PyObject* result = text ? PyObject_CallMethod(value, "add_note", "O", text) : nullptr;
        if (result == nullptr) PyErr_Clear();
        Py_XDECREF(result);
        Py_XDECREF(text);
    }
    PyErr_Restore(type, value, traceback);
}
#pragma GCC diagnostic pop

PyObject* fault_type() noexcept {
    // Lives for the process, like the interpreter's own exception types: callers catch it by
    // name and may keep references to it. The lock serialises the first creation.
    static PyObject* type = nullptr;
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc(
            "pyo3_runtime.PanicException",
            "An internal fault in quillon: a broken invariant inside the module. It derives from "
            "BaseException so that a plain `except Exception` does not swallow it.",
            PyExc_BaseException, nullptr);
    }
    return type;
}

namespace {

void raise_fault(const char* message) {
    PyObject* type = fault_type();
    if (type == nullptr) return;  // the interpreter's own error (MemoryError) is set
    PyErr_SetString(type, message);
}

}  // namespace

PyObject* python_error_set() noexcept {
    if (!PyErr_Occurred()) raise_fault("quillon: internal fault (error without exception)");
    return nullptr;
}

PyObject* raise_current_exception() noexcept {
    try {
        try {
            throw;
        } catch (const PythonError&) {
            return python_error_set();
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::length_error&) {
            // A container asked for more than the address space holds.
            PyErr_NoMemory();
        } catch (const std::exception& fault) {
            raise_fault(fault.what());
        } catch (...) {
            raise_fault("quillon: internal fault");
        }
    } catch (...) {
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
    return nullptr;
}

}  // namespace quillon::binding
