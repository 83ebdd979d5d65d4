// Internal failures raised to Python.
//
// Anything that is not an argument error (a broken engine invariant, a failed
// dictionary load, the interpreter failing to build a result object) is
// raised as PanicException, a class derived directly from BaseException so
// that `except Exception` does not swallow it. The class is created on first
// need and kept for the life of the process.
#pragma once

#include <string_view>

#include "python/pyref.hpp"

namespace lexovia::py {

// Sets PanicException(message) as the pending error; returns nullptr so that
// callers can `return raise_panic(...)`.
PyObject* raise_panic(std::string_view message);

// For a failed interpreter call while building a result: prints the pending
// error (if any) to standard error and raises PanicException("Python API call
// failed"). Returns nullptr.
PyObject* raise_api_failure();

}  // namespace lexovia::py
