// Caller-supplied NumPy output arrays of the _into functions: the checks, in their fixed order,
// and the process-wide write hold that keeps two calls from writing the same memory at once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "../core/pool.hpp"
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

    // Copies the results in order (rows concatenated) on the worker pool; the sizes were
    // checked beforehand. Runs to the end once started: an array is never left half written.
    template <class T>
    void write(const std::vector<T>& values) {
        write_bytes(values.data(), values.size() * sizeof(T));
    }
    void write_bytes(const void* data, std::size_t bytes) {
        auto* to = static_cast<unsigned char*>(data_);
        const auto* from = static_cast<const unsigned char*>(data);
        copy(bytes, [&](std::size_t begin, std::size_t end) {
            std::memcpy(to + begin, from + begin, end - begin);
        });
    }
    template <class T>
    void write(const std::vector<std::vector<T>>& rows) {
        if (rows.empty()) return;
        const std::size_t row_bytes = rows[0].size() * sizeof(T);
        auto* to = static_cast<unsigned char*>(data_);
        copy(rows.size() * row_bytes, [&](std::size_t begin, std::size_t end) {
            // Every row has the checked column count, so byte b is in row b / row_bytes.
            while (begin < end) {
                const std::size_t row = begin / row_bytes, offset = begin % row_bytes;
                const std::size_t n = std::min(end - begin, row_bytes - offset);
                std::memcpy(to + begin,
                            reinterpret_cast<const unsigned char*>(rows[row].data()) + offset, n);
                begin += n;
            }
        });
    }

  private:
    OutArray(void* data, std::uintptr_t begin, std::uintptr_t end) noexcept
        : data_(data), begin_(begin), end_(end) {}

    static OutArray check(PyObject* out, Element element, int ndim, std::size_t rows,
                          std::size_t cols);

    // copy(begin, end) over byte ranges covering [0, bytes), several threads for large copies.
    template <class Copy>
    static void copy(std::size_t bytes, Copy copy) {
        constexpr std::size_t piece = std::size_t{1} << 20;
        if (bytes <= piece) {
            if (bytes > 0) copy(0, bytes);
            return;
        }
        // No interrupt poll reaches this pool job, so it cannot stop half way.
        pool::for_each_chunk(bytes, piece, [&](std::size_t, std::size_t begin, std::size_t end) {
            copy(begin, end);
        });
    }

    void* data_;
    std::uintptr_t begin_, end_;  // the held byte range; empty after a move
};

// Room for results that are copied into a caller's array once the call has succeeded. The
// largest buffer of at most scratch_cap bytes is kept for the next call, so that repeated calls
// write to memory already in place instead of faulting in fresh pages (and, with two threads,
// contending in the kernel for them).
class Scratch {
  public:
    static constexpr std::size_t scratch_cap = std::size_t{64} << 20;

    explicit Scratch(std::size_t bytes);
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch();

    template <class T>
    T* as() noexcept {
        return reinterpret_cast<T*>(buffer_.get());
    }

  private:
    std::unique_ptr<unsigned char[]> buffer_;
    std::size_t size_;
};

}  // namespace quillon::binding
