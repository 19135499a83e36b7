// PyInit_quillon: the module's one exported symbol.
#include "module.hpp"

namespace {

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&quillon::binding::exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "quillon", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_quillon(void) { return PyModuleDef_Init(&module_def); }
