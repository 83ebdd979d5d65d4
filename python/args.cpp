#include "python/args.hpp"

#include <algorithm>

#include "python/signals.hpp"

namespace lexovia::py {
namespace {

// A sequence's length only hints at how many texts will come: __len__ may
// lie, and an honest but huge one (range(10**9), whose first item is refused
// anyway) must not make us reserve gigabytes before a single item has been
// seen. Up to this many texts (2 MiB of string headers) are reserved from the
// hint; beyond it the vector grows as items actually arrive. A list or tuple
// cannot lie: its items are already held, 8 bytes each, so its whole length
// is reserved, which spares a batch of a million words the regrowth (and
// the page faults of every larger buffer).
constexpr std::size_t MAX_RESERVED_TEXTS = std::size_t{1} << 16;

// Items ahead whose objects are fetched while one is converted: enough to
// cover a memory access with the few dozen nanoseconds an item takes.
constexpr Py_ssize_t ITEM_PREFETCH_DISTANCE = 8;

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_list(const std::vector<const char*>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        out += '\'';
        out += names[i];
        out += '\'';
    }
    return out;
}

int find_parameter(const Signature& sig, PyObject* keyword) {
    for (std::size_t i = 0; i < sig.parameters.size(); ++i)
        if (PyUnicode_CompareWithASCIIString(keyword, sig.parameters[i]) == 0) return static_cast<int>(i);
    return -1;
}

// Rewraps a pending TypeError (exactly that class) with the parameter name.
void wrap_argument_error(const char* parameter) {
    PyRef error(PyErr_GetRaisedException());
    if (!error || !Py_IS_TYPE(error.get(), reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
        PyErr_SetRaisedException(error.release());
        return;
    }
    PyRef message(PyObject_Str(error.get()));
    if (!message) return;  // the str() failure is pending instead
    PyRef wrapped(PyObject_CallFunction(PyExc_TypeError, "N",
                                        PyUnicode_FromFormat("argument '%s': %U", parameter, message.get())));
    if (!wrapped) return;
    PyException_SetCause(wrapped.get(), PyException_GetCause(error.get()));
    PyErr_SetRaisedException(wrapped.release());
}

bool type_mismatch(PyObject* obj, const char* target) {
    PyRef name(PyType_GetQualName(Py_TYPE(obj)));
    if (name) PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name.get(), target);
    return false;
}

// The UTF-8 view of a str, or a pending error (TypeError for other types).
bool utf8_view(PyObject* obj, std::string_view& out) {
    if (!PyUnicode_Check(obj)) return type_mismatch(obj, "PyString");
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (data == nullptr) return false;
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

// A word kept as its str (see word_arg.hpp), or a pending error.
bool word_arg(PyObject* obj, WordArg& out) {
    if (PyUnicode_Check(obj) && readable_directly(obj)) {
        out.str = borrow(obj);
        out.direct = true;
        return true;
    }
    if (!utf8_view(obj, out.utf8)) return false;
    out.str = borrow(obj);
    out.direct = false;
    return true;
}

// Reads the items of a sequence argument, calling take(item) for each; the
// vector only gets its size hint.
template <typename Item, typename Take>
bool collect_items(PyObject* obj, std::vector<Item>& out, Take&& take) {
    if (PyUnicode_Check(obj)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
    }
    if (!PySequence_Check(obj)) return type_mismatch(obj, "Sequence");
    const bool list = PyList_CheckExact(obj);
    const bool held = list || PyTuple_CheckExact(obj);
    const Py_ssize_t hint = PySequence_Size(obj);
    if (hint < 0) PyErr_Clear();
    else if (held) out.reserve(static_cast<std::size_t>(hint));
    else out.reserve(std::min(static_cast<std::size_t>(hint), MAX_RESERVED_TEXTS));
    SignalCheck signals;
    if (held) {
        // Indexed directly, so that the next items' strs (scattered over the
        // heap, each its own cache miss) are fetched while this one is read.
        // The size is read again for every item: a signal handler may shrink
        // the list between two items.
        const auto size = [&] { return list ? PyList_GET_SIZE(obj) : PyTuple_GET_SIZE(obj); };
        const auto at = [&](Py_ssize_t i) { return list ? PyList_GET_ITEM(obj, i) : PyTuple_GET_ITEM(obj, i); };
        for (Py_ssize_t i = 0; i < size(); ++i) {
            if (i + ITEM_PREFETCH_DISTANCE < size()) __builtin_prefetch(at(i + ITEM_PREFETCH_DISTANCE), 1);
            PyRef item = borrow(at(i));
            if (!take(item.get())) return false;
            if (!signals()) return false;
        }
        return true;
    }
    PyRef iter(PyObject_GetIter(obj));
    if (!iter) return false;
    while (PyRef item{PyIter_Next(iter.get())}) {
        if (!take(item.get())) return false;
        if (!signals()) return false;
    }
    return !PyErr_Occurred();
}

}  // namespace

bool parse_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<PyObject*> out) {
    const auto nparams = static_cast<Py_ssize_t>(sig.parameters.size());
    if (nargs > nparams) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd %s given", sig.function,
                     nparams, nargs, nargs == 1 ? "was" : "were");
        return false;
    }
    for (Py_ssize_t i = 0; i < nparams; ++i) out[i] = i < nargs ? args[i] : nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
        const int index = find_parameter(sig, keyword);
        if (index < 0) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.function, keyword);
            return false;
        }
        if (out[index] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", sig.function, keyword);
            return false;
        }
        out[index] = args[nargs + k];
    }
    std::vector<const char*> missing;
    for (Py_ssize_t i = 0; i < nparams; ++i)
        if (out[i] == nullptr) missing.push_back(sig.parameters[i]);
    if (!missing.empty()) {
        PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional %s: %s", sig.function, missing.size(),
                     missing.size() == 1 ? "argument" : "arguments", quoted_list(missing).c_str());
        return false;
    }
    return true;
}

bool convert_u8(PyObject* obj, const char* parameter, std::uint8_t& out) {
    const long value = PyLong_AsLong(obj);
    if (value == -1 && PyErr_Occurred()) {
        wrap_argument_error(parameter);
        return false;
    }
    if (value < 0 || value > 255) {
        PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
        return false;
    }
    out = static_cast<std::uint8_t>(value);
    return true;
}

bool convert_word(PyObject* obj, const char* parameter, WordArg& out) {
    if (word_arg(obj, out)) return true;
    wrap_argument_error(parameter);
    return false;
}

bool convert_word_sequence(PyObject* obj, const char* parameter, std::vector<WordArg>& out) {
    std::vector<WordArg> words;
    const bool ok = collect_items(obj, words, [&](PyObject* item) {
        WordArg word;
        if (!word_arg(item, word)) return false;
        words.push_back(std::move(word));
        return true;
    });
    if (!ok) {
        wrap_argument_error(parameter);
        return false;
    }
    out = std::move(words);
    return true;
}

}  // namespace lexovia::py
