// Interned key strings of the result dicts, created once.
#pragma once

#include "python/pyref.hpp"

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
    // Dicts holding every key of one result dict, in order, all set to None.
    // A result dict starts as a copy of its template: the copy gets its
    // final size and key order at once, and filling it only replaces values.
    PyObject* token_template;
    PyObject* syllable_template;
    PyObject* transcription_template;
    PyObject* reading_template;
    PyObject* morph_template;
    PyObject* lookup_template;
};

}  // namespace lexovia::py
