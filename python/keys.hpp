// Interned key strings of the result dicts, created once.
#pragma once

#include "pyref.hpp"

namespace lexovia::py {

struct Keys {
    // token
    PyObject* ipa;
    PyObject* source;
    PyObject* type;
    PyObject* vowel_index;
    PyObject* stressed;
    PyObject* palatalized;
    // syllable
    PyObject* word;
    PyObject* is_open;
    // transcription
    PyObject* stress_index;
    PyObject* tokens;
    PyObject* syllables;
    // lookup result, reading, morphology
    PyObject* form;
    PyObject* readings;
    PyObject* syllable_index;
    PyObject* stress_from_end;
    PyObject* syllable_count;
    PyObject* stressed_form;
    PyObject* word_syllables;
    PyObject* ipa_syllables;
    PyObject* morph;
    PyObject* confidence;
    PyObject* pos;
    PyObject* feats;
    PyObject* lemma;
    PyObject* definition;
    // token type names, in enumeration order
    PyObject* type_names[4];
};

}  // namespace lexovia::py
