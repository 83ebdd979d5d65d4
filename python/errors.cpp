#include "python/errors.hpp"

namespace lexovia::py {
namespace {

// The exception class, created once and never released.
PyObject* panic_exception_type() {
    static PyObject* type = nullptr;
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc(
            "lexovia.PanicException",
            "An internal failure of lexovia (for example a dictionary that failed to load).\n\n"
            "Derived from BaseException, so `except Exception` does not catch it.",
            PyExc_BaseException, nullptr);
    }
    return type;
}

}  // namespace

PyObject* raise_panic(std::string_view message) {
    PyObject* type = panic_exception_type();
    if (type == nullptr) return nullptr;  // the creation error is pending
    PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (!text) return nullptr;
    PyErr_SetObject(type, text.get());
    return nullptr;
}

PyObject* raise_api_failure() {
    // PyErr_PrintEx would end the process for a pending SystemExit; that one
    // is only dropped, everything else is printed as the interpreter prints it.
    if (PyErr_ExceptionMatches(PyExc_SystemExit)) PyErr_Clear();
    else if (PyErr_Occurred()) PyErr_PrintEx(0);
    return raise_panic("Python API call failed");
}

}  // namespace lexovia::py
