// The generic binder: the only producer of argument-binding TypeErrors.
#include "args.hpp"

#include <string>

namespace quillon::binding {

namespace {

std::string function_name(const Row& row) { return std::string(row.name) + "()"; }

[[noreturn]] void too_many_positional(const Row& row, Py_ssize_t given) {
    std::string message = function_name(row) + " takes ";
    if (row.required != row.nparams) {
        message += "from " + std::to_string(row.required) + " to ";
    }
    message += std::to_string(row.nparams) + " positional arguments but " + std::to_string(given) +
               (given == 1 ? " was" : " were") + " given";
    throw_error(PyExc_TypeError, message);
}

[[noreturn]] void missing_required(const Row& row,
                                   const std::array<PyObject*, max_params>& values) {
    std::string names;
    std::size_t missing = 0, total = 0;
    for (std::size_t i = 0; i < row.required; ++i) total += values[i] == nullptr;
    for (std::size_t i = 0; i < row.required; ++i) {
        if (values[i] != nullptr) continue;
        ++missing;
        if (missing > 1) {
            // 'a' and 'b' / 'a', 'b', and 'c'
            names += total == 2 ? " and " : (missing == total ? ", and " : ", ");
        }
        names += "'" + std::string(row.params[i]) + "'";
    }
    throw_error(PyExc_TypeError, function_name(row) + " missing " + std::to_string(total) +
                                     " required positional argument" + (total == 1 ? "" : "s") +
                                     ": " + names);
}

}  // namespace

Args::Args(const Row& row, PyObject* const* argv, Py_ssize_t nargs, PyObject* kwnames,
           std::string_view& processing)
    : row_(row), processing_(processing) {
    if (static_cast<std::size_t>(nargs) > row.nparams) too_many_positional(row, nargs);
    // Over all slots rather than nargs: a copy of a variable count becomes a call to memmove,
    // a few percent of a short call.
    for (std::size_t i = 0; i < max_params; ++i) {
        if (static_cast<Py_ssize_t>(i) < nargs) values_[i] = argv[i];
    }
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            PyObject* key = PyTuple_GetItem(kwnames, k);
            Py_ssize_t size = 0;
            const char* data = check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
            if (data == nullptr) throw PythonError{};
            const std::string_view keyword(data, static_cast<std::size_t>(size));
            std::size_t slot = 0;
            while (slot < row.nparams && row.params[slot] != keyword) ++slot;
            if (slot == row.nparams) {
                throw_error(PyExc_TypeError, function_name(row) +
                                                 " got an unexpected keyword argument '" +
                                                 std::string(keyword) + "'");
            }
            if (values_[slot] != nullptr) {
                throw_error(PyExc_TypeError, function_name(row) +
                                                 " got multiple values for argument '" +
                                                 std::string(keyword) + "'");
            }
            values_[slot] = argv[nargs + k];
        }
    }
    for (std::size_t i = 0; i < row.required; ++i) {
        if (values_[i] == nullptr) missing_required(row, values_);
    }
}

template <class F>
auto Args::convert(std::size_t i, F&& fn) const {
    processing_ = row_.params[i];
    auto value = fn(values_[i]);
    processing_ = {};
    return value;
}

TextSlice Args::str(std::size_t i) const { return convert(i, as_str); }

double Args::float_or(std::size_t i, double absent) const {
    return values_[i] == nullptr ? absent : convert(i, as_float);
}

std::int64_t Args::int64(std::size_t i) const { return convert(i, as_int); }

std::uint64_t Args::count_or(std::size_t i, std::uint64_t absent) const {
    return values_[i] == nullptr ? absent : convert(i, as_count);
}

std::optional<std::uint64_t> Args::count_or_none(std::size_t i) const {
    return convert(i, as_count_or_none);
}

bool Args::boolean(std::size_t i) const { return convert(i, as_bool); }

}  // namespace quillon::binding
