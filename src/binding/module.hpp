// Module set-up: multi-phase initialisation with a single execution step.
#pragma once

#include "python.hpp"

namespace quillon::binding {

// Adds the exported functions and __version__ to a new module object, in table order.
int exec_module(PyObject* module) noexcept;

}  // namespace quillon::binding
