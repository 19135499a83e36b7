// The list forms that several families share: one query against candidates, and the
// cross-product of two lists, each as Python lists or written into a caller's array. The
// caller converts its named parameters first (their order decides which error is reported).
#pragma once

#include <span>
#include <vector>

#include "../buffers.hpp"
#include "../frame.hpp"

namespace quillon::binding {

// batch(query, candidate slices) -> vector of results.
template <class Batch>
PyObject* batch_form(TextSlice query, PyObject* candidates_arg, Batch batch) {
    const StrList candidates = as_strs(candidates_arg);
    return to_python_list(
               without_gil_interruptible([&] { return batch(query, candidates.slices()); }))
        .release();
}

template <class Batch>
PyObject* batch_into_form(TextSlice query, PyObject* candidates_arg, PyObject* out_arg,
                          Element element, Batch batch) {
    const StrList candidates = as_strs(candidates_arg);
    OutArray out = OutArray::batch(out_arg, element, candidates.size());
    out.write(without_gil_interruptible([&] { return batch(query, candidates.slices()); }));
    return none().release();
}

// cdist(slices of list_a, slices of list_b) -> rows of results.
template <class Cdist>
PyObject* cdist_form(PyObject* list_a_arg, PyObject* list_b_arg, Cdist cdist) {
    const auto [list_a, list_b] = as_strs_pair(list_a_arg, list_b_arg);
    return to_python_matrix(
               without_gil_interruptible([&] { return cdist(list_a.slices(), list_b.slices()); }))
        .release();
}

template <class Cdist>
PyObject* cdist_into_form(PyObject* list_a_arg, PyObject* list_b_arg, PyObject* out_arg,
                          Element element, Cdist cdist) {
    const auto [list_a, list_b] = as_strs_pair(list_a_arg, list_b_arg);
    OutArray out = OutArray::matrix(out_arg, element, list_a.size(), list_b.size());
    out.write(without_gil_interruptible([&] { return cdist(list_a.slices(), list_b.slices()); }));
    return none().release();
}

// cross_into(slices of list_a, slices of list_b, row pointers) fills rows of T in a scratch
// buffer, which is copied into out once the call has succeeded.
template <class T, class CrossInto>
PyObject* cdist_into_scratch_form(PyObject* list_a_arg, PyObject* list_b_arg, PyObject* out_arg,
                                  Element element, CrossInto cross_into) {
    const auto [list_a, list_b] = as_strs_pair(list_a_arg, list_b_arg);
    OutArray out = OutArray::matrix(out_arg, element, list_a.size(), list_b.size());
    const std::size_t cols = list_b.size(), bytes = list_a.size() * cols * sizeof(T);
    Scratch scratch(bytes);
    std::vector<T*> rows(list_a.size());
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = scratch.as<T>() + i * cols;
    without_gil_interruptible([&] { cross_into(list_a.slices(), list_b.slices(), rows.data()); });
    out.write_bytes(scratch.as<T>(), bytes);
    return none().release();
}

}  // namespace quillon::binding
