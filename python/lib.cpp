// The extension module lexovia: registration and the transcribe binding.
//
// Single-phase initialisation. The module may live in one interpreter only:
// the first interpreter to initialise it owns it, any other gets ImportError.
// A second initialisation in the owning interpreter returns the cached module
// object. Functions are added one by one in table order, each appended to
// __all__ as it is registered. Every function holds the interpreter lock from
// entry to return.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

#include <exception>
#include <new>

#include "core/transcription.hpp"
#include "python/args.hpp"
#include "python/convert.hpp"
#include "python/dictionary_holder.hpp"
#include "python/docstrings.hpp"
#include "python/errors.hpp"
#include "python/parallel.hpp"
#include "python/signals.hpp"

namespace lexovia::py {
namespace {

// Runs a binding body, turning C++ exceptions into interpreter errors:
// exhausted memory ends the process, anything else is an internal failure.
template <typename Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        Py_FatalError("lexovia: out of memory");
    } catch (const std::exception& e) {
        return raise_panic(e.what());
    } catch (...) {
        return raise_panic("lexovia: unexpected internal failure");
    }
}

// The binding's return value: the result, or, when building it failed, the
// pending exception of a signal handler as it is, or else a failed
// allocation reported as an internal failure.
PyObject* finish(PyRef result, const SignalCheck& signals) {
    if (result) return result.release();
    return signals.interrupted() ? nullptr : raise_api_failure();
}

PyObject* word_count_fn(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        PyObject* n = PyLong_FromUnsignedLongLong(d->entry_count());
        return n ? n : raise_api_failure();
    });
}

constexpr const char* WORD_PARAMS[] = {"word"};
constexpr const char* WORDS_PARAMS[] = {"words"};
constexpr Signature LOOKUP_SIG{"lookup", WORD_PARAMS};
constexpr Signature LOOKUP_MANY_SIG{"lookup_many", WORDS_PARAMS};
constexpr Signature MARK_SIG{"mark", WORD_PARAMS};
constexpr Signature MARK_MANY_SIG{"mark_many", WORDS_PARAMS};

// The one str argument of a single-word function, as UTF-8.
bool word_argument(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   std::string_view& word) {
    std::array<PyObject*, 1> values{};
    return parse_arguments(sig, args, nargs, kwnames, values) && convert_str(values[0], "word", word);
}

// The one sequence argument of a batch function, as UTF-8 texts.
bool words_argument(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                    std::vector<std::string>& words) {
    std::array<PyObject*, 1> values{};
    return parse_arguments(sig, args, nargs, kwnames, values) && convert_str_sequence(values[0], "words", words);
}

PyObject* lookup_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::string_view word;
        if (!word_argument(LOOKUP_SIG, args, nargs, kwnames, word)) return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        const dict::LookupResult found = dict::lookup(*d, word);
        auto convert = Converter::create();
        if (!convert) return raise_api_failure();
        return finish(convert->lookup_dict(found), convert->signals());
    });
}

// Words a batch function takes through the engine before converting them:
// enough for every core to get several of parallel_for's chunks, few enough
// that the engine's results are still in the cache when they are converted
// and are freed before the next chunk allocates (a batch computed whole
// first would hold every word's intermediate result at once).
constexpr std::size_t BATCH_CHUNK = 4 * PARALLEL_MIN_ITEMS;

// The list [convert(compute(i)) for i in range(n)]. compute runs on all
// cores for a chunk of words at a time (it must not touch Python objects);
// convert runs on this thread, which holds the interpreter lock. Every word
// computed and every word converted counts as a unit of work for signals;
// when a handler raises, nothing more is started, everything built is
// released and the result is empty (signals.interrupted() is then true).
template <typename Result, typename Compute, typename Convert>
PyRef batch_list(std::size_t n, Compute&& compute, Convert&& convert, SignalCheck& signals) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return list;
    std::vector<Result> results(std::min(n, BATCH_CHUNK));
    for (std::size_t begin = 0; begin < n; begin += BATCH_CHUNK) {
        const std::size_t count = std::min(BATCH_CHUNK, n - begin);
        if (!parallel_for(count, [&](std::size_t i) { results[i] = compute(begin + i); }, signals)) return PyRef();
        for (std::size_t i = 0; i < count; ++i) {
            PyRef item = convert(results[i]);
            if (!item) return PyRef();
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(begin + i), item.release());
            results[i] = Result();
            if (!signals()) return PyRef();
        }
    }
    return list;
}

PyObject* lookup_many_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::vector<std::string> words;
        if (!words_argument(LOOKUP_MANY_SIG, args, nargs, kwnames, words)) return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        auto convert = Converter::create();
        if (!convert) return raise_api_failure();
        SignalCheck& signals = convert->signals();
        PyRef list = batch_list<dict::LookupResult>(
            words.size(), [&](std::size_t i) { return dict::lookup(*d, words[i]); },
            [&](const dict::LookupResult& r) { return convert->lookup_dict(r); }, signals);
        return finish(std::move(list), signals);
    });
}

// The str mark() returns for word: the stressed form of its first reading,
// or a new str of the word's own text. Always a new object, even where
// handing back the caller's immutable str would be cheaper, so that a result
// is never the argument itself.
PyRef marked_str(const dict::Dictionary& d, std::string_view word) {
    const std::string form = dict::normalize_word(word);
    const auto position = dict::first_stress(d, form);
    if (position) return to_str(dict::add_stress_mark(form, *position));
    return to_str(word);
}

PyObject* mark_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::array<PyObject*, 1> values{};
        std::string_view word;
        if (!parse_arguments(MARK_SIG, args, nargs, kwnames, values) || !convert_str(values[0], "word", word))
            return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        PyRef result = marked_str(*d, word);
        return result ? result.release() : raise_api_failure();
    });
}

PyObject* mark_many_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::vector<std::string> words;
        if (!words_argument(MARK_MANY_SIG, args, nargs, kwnames, words)) return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        SignalCheck signals;
        PyRef list = batch_list<std::string>(
            words.size(), [&](std::size_t i) { return dict::mark(*d, words[i]); },
            [](const std::string& marked) { return to_str(marked); }, signals);
        return finish(std::move(list), signals);
    });
}

constexpr const char* TRANSCRIBE_PARAMS[] = {"word", "si"};
constexpr Signature TRANSCRIBE_SIG{"transcribe", TRANSCRIBE_PARAMS};

PyObject* transcribe_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::array<PyObject*, 2> values{};
        if (!parse_arguments(TRANSCRIBE_SIG, args, nargs, kwnames, values)) return nullptr;
        std::string_view word;
        std::uint8_t si = 0;
        if (!convert_str(values[0], "word", word) || !convert_u8(values[1], "si", si)) return nullptr;
        const Transcription t = transcribe(word, si);
        auto convert = Converter::create();
        if (!convert) return raise_api_failure();
        return finish(convert->transcription_dict(t), convert->signals());
    });
}

template <auto Fn>
PyCFunction as_cfunction() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Fn));
}

// The functions, in registration order (the order of __all__).
PyMethodDef FUNCTIONS[] = {
    {"lookup", as_cfunction<lookup_fn>(), METH_FASTCALL | METH_KEYWORDS, doc::lookup},
    {"lookup_many", as_cfunction<lookup_many_fn>(), METH_FASTCALL | METH_KEYWORDS, doc::lookup_many},
    {"mark", as_cfunction<mark_fn>(), METH_FASTCALL | METH_KEYWORDS, doc::mark},
    {"mark_many", as_cfunction<mark_many_fn>(), METH_FASTCALL | METH_KEYWORDS, doc::mark_many},
    {"word_count", word_count_fn, METH_NOARGS, doc::word_count},
    {"transcribe", as_cfunction<transcribe_fn>(), METH_FASTCALL | METH_KEYWORDS, doc::transcribe},
};

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT,
    "lexovia",
    "",  // __doc__ is the empty string, not None
    0,
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The C API version the module was compiled against, which the interpreter
// compares with its own when it creates the module. The module uses the full,
// version-specific C API (built for CPython 3.13 only, tagged cp313, not
// abi3), so this is PYTHON_API_VERSION (1013 in 3.13), the value
// PyModule_Create passes outside the limited API; a stable-ABI build would
// pass PYTHON_ABI_VERSION instead.
constexpr int MODULE_API_VERSION = PYTHON_API_VERSION;

// Once-only holders: the interpreter that owns the module, and the module.
std::atomic<std::int64_t> owning_interpreter{-1};
PyObject* cached_module = nullptr;

// __all__ of the module, created as an empty list when missing (borrowed).
PyObject* all_list(PyObject* module) {
    PyRef all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
        PyErr_Clear();
        all = PyRef(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return nullptr;
    }
    if (!PyList_Check(all.get())) {
        PyErr_SetString(PyExc_TypeError, "__all__ of module lexovia is not a list");
        return nullptr;
    }
    return all.get();  // the module keeps it alive
}

bool add_function(PyObject* module, PyObject* module_name, PyMethodDef* def) {
    PyRef fn(PyCMethod_New(def, module, module_name, nullptr));
    if (!fn) return false;
    PyRef name(PyObject_GetAttrString(fn.get(), "__name__"));
    if (!name) return false;
    if (!PyUnicode_Check(name.get())) {
        PyErr_SetString(PyExc_TypeError, "function __name__ is not a str");
        return false;
    }
    PyObject* all = all_list(module);
    if (all == nullptr) return false;
    if (PyList_Append(all, name.get()) < 0) {
        PyErr_Clear();
        raise_panic("could not append __name__ to __all__");
        return false;
    }
    return PyObject_SetAttr(module, name.get(), fn.get()) == 0;
}

PyObject* create_module() {
    PyRef module(PyModule_Create2(&MODULE_DEF, MODULE_API_VERSION));
    if (!module) return nullptr;
    PyRef name(PyModule_GetNameObject(module.get()));
    if (!name) return nullptr;
    for (PyMethodDef& def : FUNCTIONS)
        if (!add_function(module.get(), name.get(), &def)) return nullptr;
    return module.release();
}

}  // namespace
}  // namespace lexovia::py

PyMODINIT_FUNC PyInit_lexovia(void) {
    using namespace lexovia::py;
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return nullptr;
    std::int64_t expected = -1;
    if (!owning_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "lexovia does not support sub-interpreters: it can only be imported in the "
                        "interpreter that imported it first");
        return nullptr;
    }
    if (cached_module != nullptr) return Py_NewRef(cached_module);
    PyObject* module = create_module();
    if (module == nullptr) return nullptr;
    cached_module = Py_NewRef(module);
    return module;
}
