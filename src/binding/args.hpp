// Function descriptors and the generic argument binder. A row's parameter names and required
// count are read off its stored signature line at compile time, so they cannot drift apart.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "convert.hpp"

namespace quillon::binding {

inline constexpr std::size_t max_params = 6;

class Args;
using Body = PyObject* (*)(Args&);
using NoArgsBody = PyObject* (*)();

struct Row {
    const char* doc;  // signature line, "\n--\n\n", optional prose
    Body body = nullptr;
    NoArgsBody noargs = nullptr;
    bool takes_arguments = true;
    std::string_view name;
    std::array<char, 48> c_name{};  // NUL-terminated copy of name, for PyMethodDef
    std::array<std::string_view, max_params> params{};
    std::size_t nparams = 0;
    std::size_t required = 0;

    consteval Row(const char* stored, Body fn) : doc(stored), body(fn) { parse(); }
    consteval Row(const char* stored, NoArgsBody fn)
        : doc(stored), noargs(fn), takes_arguments(false) {
        parse();
    }

  private:
    // "name(a, b, score_cutoff=0.0, /)": names before "=" are required, "/" is skipped.
    consteval void parse() {
        const std::string_view text(doc);
        const std::size_t open = text.find('('), close = text.find(')');
        if (open == std::string_view::npos || close == std::string_view::npos ||
            text.substr(close, 5) != ")\n--\n") {
            throw "stored text must start with a signature line";
        }
        name = text.substr(0, open);
        if (name.size() >= c_name.size()) throw "name too long";
        for (std::size_t i = 0; i < name.size(); ++i) c_name[i] = name[i];
        std::string_view rest = text.substr(open + 1, close - open - 1);
        bool optional = false;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(", ");
            std::string_view item = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 2);
            if (item == "/") continue;
            const std::size_t eq = item.find('=');
            if (eq != std::string_view::npos) {
                optional = true;
                item = item.substr(0, eq);
            } else if (optional) {
                throw "required parameter after an optional one";
            } else {
                ++required;
            }
            if (nparams == max_params) throw "too many parameters";
            params[nparams++] = item;
        }
    }
};

// The bound arguments of one call, borrowed from the caller's vector, one slot per
// parameter (nullptr when absent). Each accessor converts its parameter; while it does,
// `processing` names the parameter, so that the frame can attach "while processing 'NAME'" to a
// failure without catching and rethrowing it here.
class Args {
  public:
    Args(const Row& row, PyObject* const* argv, Py_ssize_t nargs, PyObject* kwnames,
         std::string_view& processing);

    TextSlice str(std::size_t i) const;
    double float_or(std::size_t i, double absent) const;
    std::int64_t int64(std::size_t i) const;
    std::uint64_t count_or(std::size_t i, std::uint64_t absent) const;
    std::optional<std::uint64_t> count_or_none(std::size_t i) const;
    bool boolean(std::size_t i) const;
    // The object itself, for parameters converted in the body (lists, buffers).
    PyObject* object(std::size_t i) const noexcept { return values_[i]; }

  private:
    template <class F>
    auto convert(std::size_t i, F&& fn) const;

    const Row& row_;
    std::string_view& processing_;
    std::array<PyObject*, max_params> values_{};
};

}  // namespace quillon::binding
