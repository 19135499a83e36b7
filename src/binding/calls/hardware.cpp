// The GPU and hardware controls. This build has no accelerator back end: the setters check
// their argument and store nothing, the queries answer with fixed values.
#include "../frame.hpp"
#include "calls.hpp"

namespace quillon::binding {

namespace {

constexpr const char* cpu_only_text = "CPU-only mode (built without gpu feature)";

}  // namespace

PyObject* set_cpu_only(Args& args) {
    (void)args.boolean(0);
    return none().release();
}

PyObject* set_gpu_threshold(Args& args) {
    (void)args.count_or_none(0);
    return none().release();
}

PyObject* is_gpu_available() { return to_python(false).release(); }

PyObject* warmup() {
    PyRef ready = to_python(false);
    PyRef reason(check(PyUnicode_FromString("Built without GPU support (cpu-only)")));
    return check(PyTuple_Pack(2, ready.get(), reason.get()));
}

PyObject* gpu_info() { return check(PyUnicode_FromString(cpu_only_text)); }

PyObject* hardware_info() { return check(PyUnicode_FromString(cpu_only_text)); }

}  // namespace quillon::binding
