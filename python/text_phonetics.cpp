// The extension module lexovia_text._phonetics: lexovia's transcription
// engine read as connected speech, for the text layer.
//
// lexovia.transcribe gives the word-level reading of в after a vowel (u̯
// when no consonant follows in the word) and stays so; running text is read
// as speech, where в before a vowel is [ʋ]. This module runs the very same
// passes with that one switch of the driver turned on
// (TranscriptionOptions::labial_glide) and hands the text layer what it
// formats: the syllables' IPA and which of them is stressed. Marks,
// separators and the choice of the stress stay in Python.
//
// speech_syllables(word, stress, /) -> (syllables, stressed)
//   word      a str (any case, any apostrophe; other characters give no sound)
//   stress    the 0-based stressed vowel, 0 to 255, or None for none
//   syllables a tuple of str, at least one (empty for a word without sounds)
//   stressed  the index of the stressed syllable, or -1
// Wrong types raise TypeError, a stress out of range ValueError, a str with
// a lone surrogate UnicodeEncodeError. The module holds no state, so every
// interpreter, a sub-interpreter with its own lock included, may import it.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/transcription.hpp"
#include "python/pyref.hpp"
#include "python/text_module.hpp"

namespace lexovia::py {
namespace {

constexpr int MAX_STRESS = 255;
// The stress index a word without stress is transcribed with: beyond the
// vowels of any word shorter than 256 vowels, so none is stressed and no
// vowel is raised in front of one. (Longer words have a vowel of every
// 8-bit ordinal; there the syllable is found but not reported.)
constexpr std::uint8_t NO_STRESS = MAX_STRESS;

// The stress argument: false with an exception pending when it is neither
// None nor an int from 0 to MAX_STRESS.
bool read_stress(PyObject* obj, std::optional<std::uint8_t>& out) {
    if (obj == Py_None) return true;
    if (!PyLong_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "speech_syllables() argument 'stress' must be int or None, not %s",
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(obj, &overflow);
    if (value == -1 && PyErr_Occurred()) return false;
    if (overflow != 0 || value < 0 || value > MAX_STRESS) {
        PyErr_SetString(PyExc_ValueError, "speech_syllables() argument 'stress' must be from 0 to 255 or None");
        return false;
    }
    out = static_cast<std::uint8_t>(value);
    return true;
}

PyRef str_of(std::string_view utf8) {
    return PyRef(PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "strict"));
}

// (syllables, stressed) of a transcription; an empty PyRef with the error
// pending when the interpreter fails to build it.
PyRef result_of(const Transcription& t, bool stressed_wanted) {
    PyRef syllables(PyTuple_New(static_cast<Py_ssize_t>(t.syllables.size())));
    if (!syllables) return syllables;
    long stressed = -1;
    for (std::size_t i = 0; i < t.syllables.size(); ++i) {
        PyRef ipa = str_of(t.syllables[i].ipa);
        if (!ipa) return PyRef();
        PyTuple_SET_ITEM(syllables.get(), static_cast<Py_ssize_t>(i), ipa.release());
        if (stressed_wanted && stressed < 0 && t.syllables[i].stressed) stressed = static_cast<long>(i);
    }
    PyRef index(PyLong_FromLong(stressed));
    PyRef pair(PyTuple_New(2));
    if (!index || !pair) return PyRef();
    PyTuple_SET_ITEM(pair.get(), 0, syllables.release());
    PyTuple_SET_ITEM(pair.get(), 1, index.release());
    return pair;
}

PyObject* speech_syllables(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 2) {
        PyErr_Format(PyExc_TypeError, "speech_syllables() takes exactly 2 arguments (%zd given)", nargs);
        return nullptr;
    }
    if (!PyUnicode_Check(args[0])) {
        PyErr_Format(PyExc_TypeError, "speech_syllables() argument 'word' must be str, not %s",
                     Py_TYPE(args[0])->tp_name);
        return nullptr;
    }
    std::optional<std::uint8_t> stress;
    if (!read_stress(args[1], stress)) return nullptr;
    // A bytes copy rather than the str's cached UTF-8, which would stay
    // attached to the caller's str for its lifetime.
    PyRef utf8(PyUnicode_AsUTF8String(args[0]));
    if (!utf8) return nullptr;
    const std::string_view word(PyBytes_AS_STRING(utf8.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(utf8.get())));
    return guarded([&]() -> PyObject* {
        const Transcription t = transcribe(word, stress.value_or(NO_STRESS), {LabialGlide::Speech});
        return result_of(t, stress.has_value()).release();
    });
}

constexpr const char MODULE_DOC[] =
    "lexovia's transcription engine read as connected speech (в before a vowel is ʋ), for lexovia_text.";

constexpr const char SPEECH_SYLLABLES_DOC[] =
    "speech_syllables($module, word, stress, /)\n--\n\n"
    "The syllables of word as IPA, read as connected speech, with the given\n"
    "vowel (0-based, 0 to 255) stressed or none (None); returns (syllables,\n"
    "index of the stressed syllable or -1).";

PyMethodDef METHODS[] = {
    {"speech_syllables", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(speech_syllables)), METH_FASTCALL,
     SPEECH_SYLLABLES_DOC},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT, "lexovia_text._phonetics", MODULE_DOC, 0, METHODS, STATELESS_SLOTS, nullptr, nullptr,
    nullptr,
};

}  // namespace
}  // namespace lexovia::py

PyMODINIT_FUNC PyInit__phonetics(void) { return PyModuleDef_Init(&lexovia::py::MODULE_DEF); }
