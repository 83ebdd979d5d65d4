// What the text layer's small extension modules (lexovia_text._phonetics,
// lexovia_text._guesser) share: they hold no state, so every interpreter,
// one with its own lock included, may import them; and a C++ exception
// never crosses into the interpreter.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>

namespace lexovia::py {

// The module slots of a module without state.
inline PyModuleDef_Slot STATELESS_SLOTS[] = {
    {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
    {0, nullptr},
};

// body() (a PyObject* with the error pending when null), with bad_alloc as
// MemoryError and any other C++ exception as RuntimeError.
template <typename Body>
PyObject* guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
        return nullptr;
    }
}

}  // namespace lexovia::py
