// Owning reference to a Python object.
//
// PyRef holds one strong reference and releases it when it goes out of
// scope, so every early return on an error path drops what was built so far.
// release() hands the reference to a caller (or to a stealing API call).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace lexovia::py {

class PyRef {
public:
    PyRef() = default;
    // Takes ownership of a new reference (which may be null).
    explicit PyRef(PyObject* owned) : obj_(owned) {}
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(obj_);
            obj_ = std::exchange(other.obj_, nullptr);
        }
        return *this;
    }
    ~PyRef() { Py_XDECREF(obj_); }

    PyObject* get() const { return obj_; }
    explicit operator bool() const { return obj_ != nullptr; }
    // Gives up ownership; the caller now owns the reference.
    PyObject* release() { return std::exchange(obj_, nullptr); }

private:
    PyObject* obj_ = nullptr;
};

// A new strong reference to a borrowed object.
inline PyRef borrow(PyObject* obj) { return PyRef(Py_XNewRef(obj)); }

// Inserts value under key, consuming the value; false with the error
// pending when value is empty (its builder failed) or the insertion fails.
inline bool put(PyObject* dict, PyObject* key, PyRef value) {
    return value && PyDict_SetItem(dict, key, value.get()) == 0;
}

}  // namespace lexovia::py
