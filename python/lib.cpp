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
#include <cstring>
#include <exception>
#include <new>
#include <optional>

#include "core/transcription.hpp"
#include "core/utf8.hpp"
#include "python/args.hpp"
#include "python/convert.hpp"
#include "python/dictionary_holder.hpp"
#include "python/docstrings.hpp"
#include "python/errors.hpp"
#include "python/pipeline.hpp"
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

// The one argument of a single-word or batch function, converted by
// convert(object, parameter name, out): the str as UTF-8 or as a WordArg,
// the sequence as UTF-8 texts or as WordArgs.
template <typename Out, typename Convert>
bool one_argument(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                  Convert&& convert, Out& out) {
    std::array<PyObject*, 1> values{};
    return parse_arguments(sig, args, nargs, kwnames, values) && convert(values[0], sig.parameters[0], out);
}

PyObject* lookup_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        WordArg word;
        if (!one_argument(LOOKUP_SIG, args, nargs, kwnames, convert_word, word)) return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        const dict::LookupResult found = lookup_word(*d, word);
        auto convert = Converter::create(*d);
        if (!convert) return raise_api_failure();
        return finish(convert->lookup_dict(found), convert->signals());
    });
}

// The cache line after a str's header, where the characters of a word of
// Ukrainian (two bytes each, after a header of 56) mostly lie.
constexpr std::size_t STR_SECOND_LINE = 64;

// Words ahead whose strs are fetched while one is normalised: the strs of a
// batch lie anywhere in the heap, and a word takes some tens of nanoseconds.
constexpr std::size_t STR_PREFETCH_DISTANCE = 8;

// Starts fetching a word's str: its header and the first characters, which
// follow the header in the same allocation.
void prefetch_str(const WordArg& word) {
    const char* object = reinterpret_cast<const char*>(word.str.get());
    __builtin_prefetch(object);
    __builtin_prefetch(object + STR_SECOND_LINE);
}

// How lookup_many spreads its words: a lookup takes some microseconds and
// its result some kilobytes, so threads take few words at a time and run a
// few hundred words ahead of the conversion, whose results are then still
// in the cache. Starting a helper thread costs about as much as looking up
// two dozen words (measured: 20 words ran faster on the calling thread
// alone, 40 faster with a helper).
constexpr PipelineShape LOOKUP_PIPELINE{.chunk = 8, .window_chunks = 64, .min_items = 32};

// The list [convert(compute(i)) for i in range(n)]. compute(i, slot) runs on
// all cores (it must not touch Python objects); convert(i, slot) runs on
// this thread, which holds the interpreter lock. Every word converted counts
// as a unit of work for signals; when a handler raises, nothing more is
// started, everything built is released and the result is empty
// (signals.interrupted() is then true).
template <typename Result, typename Compute, typename Convert>
PyRef batch_list(std::size_t n, PipelineShape shape, Compute&& compute, Convert&& convert, SignalCheck& signals) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return list;
    const bool complete = ordered_pipeline<Result>(n, shape, compute, [&](std::size_t i, Result& slot) {
        PyRef item = convert(i, slot);
        if (!item) return false;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
        return signals();
    });
    return complete ? std::move(list) : PyRef();
}

PyObject* lookup_many_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::vector<WordArg> words;
        if (!one_argument(LOOKUP_MANY_SIG, args, nargs, kwnames, convert_word_sequence, words)) return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        auto convert = Converter::create(*d);
        if (!convert) return raise_api_failure();
        SignalCheck& signals = convert->signals();
        PyRef list = batch_list<dict::LookupResult>(
            words.size(), LOOKUP_PIPELINE,
            [&](std::size_t begin, std::size_t end, dict::LookupResult* slots) {
                for (std::size_t i = begin; i < end; ++i) {
                    // A lookup takes long enough to cover the next word's fetch.
                    if (i + 1 < end) prefetch_str(words[i + 1]);
                    slots[i - begin] = lookup_word(*d, words[i]);
                }
            },
            [&](std::size_t, const dict::LookupResult& r) { return convert->lookup_dict(r); }, signals);
        return finish(std::move(list), signals);
    });
}

// The code points of dict::add_stress_mark(form, position) written to a
// caller's buffer, so that the str is made from them directly, without the
// marked UTF-8 text in between.
struct MarkedChars {
    std::size_t size = 0;
    char32_t widest = 0;
};

// Fills out (room for room code points); nullopt when they do not fit.
std::optional<MarkedChars> marked_chars(std::string_view form, std::uint8_t position, char32_t* out,
                                        std::size_t room) {
    MarkedChars m;
    bool fits = true;
    const auto put = [&](char32_t c) {
        if (m.size == room) {
            fits = false;
            return;
        }
        out[m.size++] = c;
        m.widest = std::max(m.widest, c);
    };
    dict::for_each_stress_mark(form, position, [&](std::size_t) { put(U'\u0301'); }, put);
    if (!fits) return std::nullopt;
    return m;
}

// Words normalised on the stack are marked there too; the marked text has
// one character more than the form for each mark.
constexpr std::size_t STACK_MARKED_CHARS = 2 * STACK_WORD_CHARS;

// The str mark() returns for word: the stressed form of its first reading,
// or a new str of the word's own text. Always a new object, even where
// handing back the caller's immutable str would be cheaper, so that a result
// is never the argument itself.
PyRef marked_str(const dict::Dictionary& d, const WordArg& word) {
    const NormalizedForm normalized(word);
    const std::string_view form = normalized.view();
    const auto position = dict::first_stress(d, form);
    if (!position) return copy_str(word);
    char32_t chars[STACK_MARKED_CHARS];
    if (const auto m = marked_chars(form, *position, chars, STACK_MARKED_CHARS))
        return str_of_chars(chars, m->size, m->widest);
    return to_str(dict::add_stress_mark(form, *position));
}

PyObject* mark_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        WordArg word;
        if (!one_argument(MARK_SIG, args, nargs, kwnames, convert_word, word)) return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        PyRef result = marked_str(*d, word);
        return result ? result.release() : raise_api_failure();
    });
}

// One word of mark_many in the pipeline, inline so that a word costs no
// allocation. A helper thread first stores the normalised form (UTF-8) and
// then, for a marked word, replaces it by the marked text in the two-byte
// characters of the str it becomes (it holds U+0301, so a str of exactly
// that width), leaving the interpreter thread a block copy. A word whose
// text does not fit (a word of Ukrainian is a dozen or two characters) or
// does not hold a character from U+0100 to U+FFFF is marked entirely by the
// interpreter thread.
struct MarkedWord {
    static constexpr std::size_t INLINE_BYTES = 62;
    static constexpr std::size_t INLINE_CHARS = INLINE_BYTES / sizeof(Py_UCS2);
    enum State : std::uint8_t { UNKNOWN, MARKED, ON_INTERPRETER_THREAD };
    State state = UNKNOWN;
    std::uint8_t size = 0;  // bytes of the form, then characters of the marked text
    char text[INLINE_BYTES];
};
static_assert(sizeof(MarkedWord) == 64, "one cache line per word");

// Stores add_stress_mark(form, position) in a slot as two-byte characters
// (form may be the slot's own text); false when it does not fit or is not
// exactly of that width.
bool store_marked(MarkedWord& slot, std::string_view form, std::uint8_t position) {
    char32_t chars[MarkedWord::INLINE_CHARS];
    const auto m = marked_chars(form, position, chars, MarkedWord::INLINE_CHARS);
    if (!m || m->widest < 0x100 || m->widest > 0xFFFF) return false;
    for (std::size_t k = 0; k < m->size; ++k) {
        const auto c = static_cast<Py_UCS2>(chars[k]);
        std::memcpy(slot.text + k * sizeof c, &c, sizeof c);
    }
    slot.size = static_cast<std::uint8_t>(m->size);
    return true;
}

PyRef two_byte_str(const MarkedWord& slot) {
    PyRef str(PyUnicode_New(slot.size, 0xFFFF));
    if (str) std::memcpy(PyUnicode_2BYTE_DATA(str.get()), slot.text, slot.size * sizeof(Py_UCS2));
    return str;
}

// A mark costs well under a microsecond: threads take hundreds at a time,
// and the batch must be long enough to pay for starting a thread (measured:
// 700 words ran as fast on the calling thread alone, 800 faster with a
// helper).
constexpr PipelineShape MARK_PIPELINE{.chunk = 512, .window_chunks = 16, .min_items = 768};

PyObject* mark_many_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::vector<WordArg> words;
        if (!one_argument(MARK_MANY_SIG, args, nargs, kwnames, convert_word_sequence, words)) return nullptr;
        const dict::Dictionary* d = force_dictionary();
        if (d == nullptr) return nullptr;
        // The forms of a chunk are normalised first and looked up after,
        // their memory accesses overlapped by Dictionary::prefetch().
        const auto compute = [&](std::size_t begin, std::size_t end, MarkedWord* slots) {
            thread_local std::string form;
            std::array<std::string_view, MARK_PIPELINE.chunk> forms;
            std::size_t inline_forms = 0;
            for (std::size_t i = begin; i < end; ++i) {
                MarkedWord& slot = slots[i - begin];
                if (i + STR_PREFETCH_DISTANCE < end) prefetch_str(words[i + STR_PREFETCH_DISTANCE]);
                normalized_form(words[i], form);
                if (form.size() > MarkedWord::INLINE_BYTES) {
                    slot.state = MarkedWord::ON_INTERPRETER_THREAD;
                    continue;
                }
                slot.state = MarkedWord::UNKNOWN;
                slot.size = static_cast<std::uint8_t>(form.size());
                std::memcpy(slot.text, form.data(), form.size());
                forms[inline_forms++] = std::string_view(slot.text, slot.size);
            }
            d->prefetch(std::span(forms.data(), inline_forms));
            for (std::size_t i = begin; i < end; ++i) {
                MarkedWord& slot = slots[i - begin];
                if (slot.state == MarkedWord::ON_INTERPRETER_THREAD) continue;
                const std::string_view slot_form(slot.text, slot.size);
                const auto position = dict::first_stress(*d, slot_form);
                if (!position) continue;
                // The marked text is complete before the slot is overwritten.
                slot.state = store_marked(slot, slot_form, *position)
                                 ? MarkedWord::MARKED
                                 : MarkedWord::ON_INTERPRETER_THREAD;
            }
        };
        const auto convert = [&](std::size_t i, const MarkedWord& slot) {
            switch (slot.state) {
                case MarkedWord::MARKED:
                    return two_byte_str(slot);
                case MarkedWord::UNKNOWN:
                    return copy_str(words[i]);
                default:
                    return marked_str(*d, words[i]);
            }
        };
        SignalCheck signals;
        PyRef list = batch_list<MarkedWord>(words.size(), MARK_PIPELINE, compute, convert, signals);
        return finish(std::move(list), signals);
    });
}

constexpr const char* TRANSCRIBE_PARAMS[] = {"word", "si"};
constexpr Signature TRANSCRIBE_SIG{"transcribe", TRANSCRIBE_PARAMS};

PyObject* transcribe_fn(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&]() -> PyObject* {
        std::array<PyObject*, 2> values{};
        if (!parse_arguments(TRANSCRIBE_SIG, args, nargs, kwnames, values)) return nullptr;
        WordArg word;
        std::uint8_t si = 0;
        if (!convert_word(values[0], "word", word) || !convert_u8(values[1], "si", si)) return nullptr;
        std::string text;
        const Transcription t = transcribe(word_utf8(word, text), si);
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
