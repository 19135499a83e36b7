// Caller-supplied NumPy output arrays of the _into functions: the checks, in their fixed order,
// and the process-wide write hold that keeps two calls from writing the same memory at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "errors.hpp"

namespace quillon::binding {

enum class Element { u32, f64 };

// A checked array, holding this call's write hold on its memory until destroyed.
class OutArray {
  public:
    // A one-dimensional array of exactly `count` elements.
    static OutArray batch(PyObject* out, Element element, std::size_t count);
    // A two-dimensional array of shape exactly (rows, cols).
    static OutArray matrix(PyObject* out, Element element, std::size_t rows, std::size_t cols);

    OutArray(OutArray&& other) noexcept;
    OutArray(const OutArray&) = delete;
    OutArray& operator=(const OutArray&) = delete;
    OutArray& operator=(OutArray&&) = delete;
    ~OutArray();

    // Copies the results in order (rows concatenated); the sizes were checked beforehand.
    template <class T>
    void write(const std::vector<T>& values) {
        if (!values.empty()) std::memcpy(data_, values.data(), values.size() * sizeof(T));
    }
    template <class T>
    void write(const std::vector<std::vector<T>>& rows) {
        auto* cursor = static_cast<unsigned char*>(data_);
        for (const auto& row : rows) {
            if (row.empty()) continue;
            std::memcpy(cursor, row.data(), row.size() * sizeof(T));
            cursor += row.size() * sizeof(T);
        }
    }

  private:
    OutArray(void* data, std::uintptr_t begin, std::uintptr_t end) noexcept
        : data_(data), begin_(begin), end_(end) {}

    static OutArray check(PyObject* out, Element element, int ndim, std::size_t rows,
                          std::size_t cols);

    void* data_;
    std::uintptr_t begin_, end_;  // the held byte range; empty after a move
};

}  // namespace quillon::binding
