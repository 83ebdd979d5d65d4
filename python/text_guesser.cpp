// The extension module lexovia_text._guesser: the stress model
// (core/guess) for the text layer and for its trainer.
//
// guess(model, word, /) -> (vowel, confidence) | None
//   model       a bytes-like model image (validated on every call; a wrong
//               one raises ValueError)
//   word        a str; None when it has no vowel
//   vowel       the 0-based guessed vowel, confidence its share in (0, 1]
// guess_many(model, words, /) -> list of the same, for a list of str
// feature_rows(words, bits, /) -> (features, sizes, candidates)
//   the model's features of each word, for training: `features` the
//   feature rows (low `bits` bits of each hash) as native uint32 values,
//   `sizes` how many belong to each vowel, `candidates` how many vowels
//   each word has, all bytes.
// Wrong types raise TypeError, a str with a lone surrogate
// UnicodeEncodeError. The module holds no state.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/guess/stress_model.hpp"
#include "python/pyref.hpp"
#include "python/text_module.hpp"

namespace lexovia::py {
namespace {

using guess::Model;

// The UTF-8 of a str (a bytes copy: the str's cached UTF-8 would stay
// attached to the caller's object); empty with the error pending.
PyRef utf8_of(PyObject* word, const char* function) {
    if (!PyUnicode_Check(word)) {
        PyErr_Format(PyExc_TypeError, "%s() expects str words, not %s", function, Py_TYPE(word)->tp_name);
        return PyRef();
    }
    return PyRef(PyUnicode_AsUTF8String(word));
}

std::string_view view_of(const PyRef& bytes) {
    return {PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get()))};
}

// The model image held for one call; released with the object.
class ModelBuffer {
public:
    ~ModelBuffer() {
        if (held_) PyBuffer_Release(&buffer_);
    }
    // False with the error pending when obj is no bytes-like model image.
    bool open(PyObject* obj, const char* function) {
        if (PyObject_GetBuffer(obj, &buffer_, PyBUF_SIMPLE) != 0) return false;
        held_ = true;
        model_ = Model::view({static_cast<const char*>(buffer_.buf), static_cast<std::size_t>(buffer_.len)});
        if (!model_) {
            PyErr_Format(PyExc_ValueError, "%s() argument 'model' is not a stress model image", function);
            return false;
        }
        return true;
    }
    const Model& model() const { return *model_; }

private:
    Py_buffer buffer_{};
    bool held_ = false;
    std::optional<Model> model_;
};

PyRef guess_of(const Model& model, PyObject* word, const char* function) {
    PyRef utf8 = utf8_of(word, function);
    if (!utf8) return PyRef();
    const std::optional<guess::Guess> g = model.guess(view_of(utf8));
    if (!g) return borrow(Py_None);
    return PyRef(Py_BuildValue("(nd)", static_cast<Py_ssize_t>(g->vowel), g->confidence));
}

bool check_count(Py_ssize_t nargs, Py_ssize_t wanted, const char* function) {
    if (nargs == wanted) return true;
    PyErr_Format(PyExc_TypeError, "%s() takes exactly %zd arguments (%zd given)", function, wanted, nargs);
    return false;
}

// False with TypeError pending when obj is not a list.
bool check_list(PyObject* obj, const char* function, const char* name) {
    if (PyList_Check(obj)) return true;
    PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be list, not %s", function, name, Py_TYPE(obj)->tp_name);
    return false;
}

PyObject* guess_one(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!check_count(nargs, 2, "guess")) return nullptr;
        ModelBuffer buffer;
        if (!buffer.open(args[0], "guess")) return nullptr;
        return guess_of(buffer.model(), args[1], "guess").release();
    });
}

PyObject* guess_many(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!check_count(nargs, 2, "guess_many") || !check_list(args[1], "guess_many", "words")) return nullptr;
        ModelBuffer buffer;
        if (!buffer.open(args[0], "guess_many")) return nullptr;
        // The list may change under us only through our own calls, which
        // make none; its size is read once, its items borrowed one by one.
        const Py_ssize_t n = PyList_GET_SIZE(args[1]);
        PyRef out(PyList_New(n));
        if (!out) return nullptr;
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyRef g = guess_of(buffer.model(), PyList_GET_ITEM(args[1], i), "guess_many");
            if (!g) return nullptr;
            PyList_SET_ITEM(out.get(), i, g.release());
        }
        return out.release();
    });
}

PyRef bytes_of(const std::vector<std::uint32_t>& values) {
    return PyRef(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(values.data()),
                                           static_cast<Py_ssize_t>(values.size() * sizeof(std::uint32_t))));
}

PyObject* feature_rows(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!check_count(nargs, 2, "feature_rows") || !check_list(args[0], "feature_rows", "words")) return nullptr;
        const long bits = PyLong_AsLong(args[1]);
        if (bits == -1 && PyErr_Occurred()) return nullptr;
        if (bits < static_cast<long>(guess::MIN_BITS) || bits > static_cast<long>(guess::MAX_BITS)) {
            PyErr_Format(PyExc_ValueError, "feature_rows() argument 'bits' must be from %u to %u",
                         guess::MIN_BITS, guess::MAX_BITS);
            return nullptr;
        }
        const std::uint32_t mask = (std::uint32_t{1} << bits) - 1;
        std::vector<std::uint32_t> hashes, sizes, candidates;
        const Py_ssize_t n = PyList_GET_SIZE(args[0]);
        for (Py_ssize_t i = 0; i < n; ++i) {
            PyRef utf8 = utf8_of(PyList_GET_ITEM(args[0], i), "feature_rows");
            if (!utf8) return nullptr;
            const std::size_t before = sizes.size();
            guess::feature_hashes(guess::normalise(view_of(utf8)), hashes, sizes);
            candidates.push_back(static_cast<std::uint32_t>(sizes.size() - before));
        }
        for (std::uint32_t& h : hashes) h &= mask;
        PyRef a = bytes_of(hashes), b = bytes_of(sizes), c = bytes_of(candidates);
        if (!a || !b || !c) return nullptr;
        return PyTuple_Pack(3, a.get(), b.get(), c.get());
    });
}

constexpr const char MODULE_DOC[] = "lexovia's stress model for words the dictionary lacks, for lexovia_text.";

constexpr const char GUESS_DOC[] =
    "guess($module, model, word, /)\n--\n\n"
    "The guessed stress of word under the model image: (0-based vowel,\n"
    "confidence in (0, 1]), or None for a word without a vowel.";
constexpr const char GUESS_MANY_DOC[] =
    "guess_many($module, model, words, /)\n--\n\n"
    "guess() of every str of the list words, as a list.";
constexpr const char FEATURE_ROWS_DOC[] =
    "feature_rows($module, words, bits, /)\n--\n\n"
    "The model's features of every word of the list, for training: (rows,\n"
    "features per vowel, vowels per word), each native uint32 values as bytes;\n"
    "rows keep the low `bits` bits of each feature's hash.";

PyMethodDef METHODS[] = {
    {"guess", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guess_one)), METH_FASTCALL, GUESS_DOC},
    {"guess_many", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(guess_many)), METH_FASTCALL,
     GUESS_MANY_DOC},
    {"feature_rows", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(feature_rows)), METH_FASTCALL,
     FEATURE_ROWS_DOC},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT, "lexovia_text._guesser", MODULE_DOC, 0, METHODS, STATELESS_SLOTS, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace lexovia::py

PyMODINIT_FUNC PyInit__guesser(void) { return PyModuleDef_Init(&lexovia::py::MODULE_DEF); }
