// NumPy output arrays. NumPy's C API is imported on the first _into call, so that importing
// quillon never imports NumPy.
#include "buffers.hpp"

#include <mutex>
#include <new>
#include <string>

#define PY_ARRAY_UNIQUE_SYMBOL quillon_numpy_api
#define NPY_NO_DEPRECATED_API NPY_1_19_API_VERSION
#include <numpy/arrayobject.h>

#include "../core/fork.hpp"
#include "python.hpp"

namespace quillon::binding {

namespace {

// Imports NumPy's C API on first use; false when NumPy cannot be imported, in which case no
// object can be an ndarray. The API table lives as long as the process, like NumPy itself.
bool require_numpy() {
    static bool imported = false;
    if (imported) return true;
    if (_import_array() < 0) {
        if (!PyErr_ExceptionMatches(PyExc_ImportError)) throw PythonError{};
        PyErr_Clear();
        return false;
    }
    imported = true;
    return true;
}

// Held byte ranges, process-wide. The interpreter lock is held whenever this is touched, but a
// mutex keeps it sound for any thread that calls in.
struct Registry {
    std::mutex mutex;
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> held;
};

// One registry per process: a forked child starts a fresh one, since the calls that held its
// arrays (and perhaps the mutex) run on threads the child does not have.
Registry& holds() noexcept { return per_process<Registry>(); }

bool try_hold(std::uintptr_t begin, std::uintptr_t end) {
    if (begin == end) return true;  // no memory, nothing to write
    Registry& r = holds();
    std::lock_guard lock(r.mutex);
    for (const auto& [b, e] : r.held) {
        if (begin < e && b < end) return false;
    }
    r.held.emplace_back(begin, end);
    return true;
}

void release_hold(std::uintptr_t begin, std::uintptr_t end) noexcept {
    if (begin == end) return;
    Registry& r = holds();
    std::lock_guard lock(r.mutex);
    for (auto it = r.held.begin(); it != r.held.end(); ++it) {
        if (it->first == begin && it->second == end) {
            r.held.erase(it);
            return;
        }
    }
}

// The bytes an array can reach through its strides, whatever its layout.
std::pair<std::uintptr_t, std::uintptr_t> extent(PyArrayObject* array) {
    const int ndim = PyArray_NDIM(array);
    const npy_intp* shape = PyArray_DIMS(array);
    const npy_intp* strides = PyArray_STRIDES(array);
    const auto base = reinterpret_cast<std::uintptr_t>(PyArray_DATA(array));
    npy_intp low = 0, high = 0;
    for (int d = 0; d < ndim; ++d) {
        if (shape[d] == 0) return {base, base};
        const npy_intp reach = (shape[d] - 1) * strides[d];
        (reach < 0 ? low : high) += reach;
    }
    return {base - static_cast<std::uintptr_t>(-low),
            base + static_cast<std::uintptr_t>(high + PyArray_ITEMSIZE(array))};
}

const char* element_name(Element element) { return element == Element::u32 ? "uint32" : "float64"; }

}  // namespace

namespace {

// The one kept scratch buffer, per process: a forked child starts without it (a thread of the
// parent may have held the mutex).
struct KeptScratch {
    std::mutex mutex;
    std::unique_ptr<unsigned char[]> buffer;
    std::size_t size = 0;
};

KeptScratch& kept_scratch() noexcept { return per_process<KeptScratch>(); }

}  // namespace

Scratch::Scratch(std::size_t bytes) : size_(bytes) {
    if (bytes == 0) return;
    KeptScratch& k = kept_scratch();
    {
        std::lock_guard lock(k.mutex);
        if (k.buffer && k.size >= bytes) {
            buffer_ = std::move(k.buffer);
            size_ = k.size;
            k.size = 0;
            return;
        }
    }
    // Written in full before it is read: no need to clear it.
    buffer_.reset(new unsigned char[bytes]);
}

Scratch::~Scratch() {
    if (!buffer_ || size_ > scratch_cap) return;
    KeptScratch& k = kept_scratch();
    std::lock_guard lock(k.mutex);
    if (!k.buffer || k.size < size_) {
        k.buffer = std::move(buffer_);
        k.size = size_;
    }
}

OutArray OutArray::batch(PyObject* out, Element element, std::size_t count) {
    return check(out, element, 1, count, 0);
}

OutArray OutArray::matrix(PyObject* out, Element element, std::size_t rows, std::size_t cols) {
    return check(out, element, 2, rows, cols);
}

OutArray OutArray::check(PyObject* out, Element element, int ndim, std::size_t rows,
                         std::size_t cols) {
    // 1. An ndarray of the right element type and dimension count.
    bool accepted = require_numpy() && PyArray_Check(out) &&
                    PyArray_NDIM(reinterpret_cast<PyArrayObject*>(out)) == ndim;
    if (accepted) {
        PyArray_Descr* wanted =
            PyArray_DescrFromType(element == Element::u32 ? NPY_UINT32 : NPY_FLOAT64);
        accepted = PyArray_EquivTypes(PyArray_DESCR(reinterpret_cast<PyArrayObject*>(out)), wanted);
        Py_DECREF(wanted);
    }
    if (!accepted) throw_not_instance(out, "ndarray");
    auto* array = reinterpret_cast<PyArrayObject*>(out);

    // 2. Writeable, and no other call writing to any of its bytes.
    const auto [begin, end] = extent(array);
    if (!PyArray_ISWRITEABLE(array) || !try_hold(begin, end)) {
        throw_error(PyExc_BufferError, "out must be a writable array not concurrently borrowed");
    }
    OutArray held(PyArray_DATA(array), begin, end);

    // 3. Size.
    const npy_intp* shape = PyArray_DIMS(array);
    if (ndim == 1) {
        const auto size = static_cast<std::size_t>(PyArray_SIZE(array));
        if (size != rows) {
            throw_error(PyExc_ValueError, "out must hold exactly " + std::to_string(rows) + " " +
                                              element_name(element) + " elements, got " +
                                              std::to_string(size));
        }
    } else if (static_cast<std::size_t>(shape[0]) != rows ||
               static_cast<std::size_t>(shape[1]) != cols) {
        throw_error(PyExc_ValueError, "out must have shape (" + std::to_string(rows) + ", " +
                                          std::to_string(cols) + "), got [" +
                                          std::to_string(shape[0]) + ", " +
                                          std::to_string(shape[1]) + "]");
    }

    // 4. Layout; a uint32 array that receives nothing may have any.
    const std::size_t required = ndim == 1 ? rows : rows * cols;
    const bool layout_ok = PyArray_IS_C_CONTIGUOUS(array) && PyArray_ISALIGNED(array) &&
                           PyArray_DATA(array) != nullptr;
    if (!layout_ok && !(element == Element::u32 && required == 0)) {
        throw_error(PyExc_BufferError, "out must be C-contiguous");
    }
    return held;
}

OutArray::OutArray(OutArray&& other) noexcept
    : data_(other.data_), begin_(other.begin_), end_(other.end_) {
    other.begin_ = other.end_ = 0;
}

OutArray::~OutArray() { release_hold(begin_, end_); }

}  // namespace quillon::binding
