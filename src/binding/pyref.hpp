// PyRef: owns one strong reference and drops it on scope exit, so bodies never pair
// Py_INCREF/Py_DECREF by hand.
#pragma once

#include <utility>

#include "python.hpp"

namespace quillon::binding {

class PyRef {
  public:
    PyRef() noexcept = default;
    explicit PyRef(PyObject* owned) noexcept : ptr_(owned) {}
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(ptr_);
            ptr_ = std::exchange(other.ptr_, nullptr);
        }
        return *this;
    }
    ~PyRef() { Py_XDECREF(ptr_); }

    static PyRef borrow(PyObject* borrowed) noexcept {
        Py_XINCREF(borrowed);
        return PyRef(borrowed);
    }

    PyObject* get() const noexcept { return ptr_; }
    PyObject* release() noexcept { return std::exchange(ptr_, nullptr); }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

  private:
    PyObject* ptr_ = nullptr;
};

}  // namespace quillon::binding
