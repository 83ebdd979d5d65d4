#include "convert.hpp"

#include "keys.hpp"

namespace lexovia::py {
namespace {

PyObject* intern(const char* text) { return PyUnicode_InternFromString(text); }

Keys* make_keys() {
    static Keys k{};
    PyObject** fields[] = {&k.ipa,           &k.source,          &k.type,           &k.vowel_index,
                           &k.stressed,      &k.palatalized,     &k.word,           &k.is_open,
                           &k.stress_index,  &k.tokens,          &k.syllables,      &k.form,
                           &k.readings,      &k.syllable_index,  &k.stress_from_end, &k.syllable_count,
                           &k.stressed_form, &k.word_syllables,  &k.ipa_syllables,  &k.morph,
                           &k.confidence,    &k.pos,             &k.feats,          &k.lemma,
                           &k.definition};
    const char* names[] = {"ipa",           "source",          "type",            "vowel_index",
                           "stressed",      "palatalized",     "word",            "is_open",
                           "stress_index",  "tokens",          "syllables",       "form",
                           "readings",      "syllable_index",  "stress_from_end", "syllable_count",
                           "stressed_form", "word_syllables",  "ipa_syllables",   "morph",
                           "confidence",    "pos",             "feats",           "lemma",
                           "definition"};
    static_assert(std::size(fields) == std::size(names));
    for (std::size_t i = 0; i < std::size(fields); ++i)
        if (!(*fields[i] = intern(names[i]))) return nullptr;
    for (int t = 0; t < 4; ++t) {
        const std::string_view name = token_type_name(static_cast<TokenType>(t));
        if (!(k.type_names[t] = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()))))
            return nullptr;
    }
    return &k;
}

// Inserts value (consumed) under key; false on failure.
bool put(PyObject* dict, PyObject* key, PyRef value) {
    return value && PyDict_SetItem(dict, key, value.get()) == 0;
}

PyRef bool_obj(bool v) { return PyRef(Py_NewRef(v ? Py_True : Py_False)); }

PyRef count_obj(std::uint64_t n) { return PyRef(PyLong_FromUnsignedLongLong(n)); }

PyRef optional_str(const std::optional<std::string>& text) {
    return text ? to_str(*text) : PyRef(Py_NewRef(Py_None));
}

PyRef str_list(const std::vector<std::string>& texts) {
    return list_of(texts, [](const std::string& t) { return to_str(t); });
}

PyRef feats_dict(const dict::MorphAnalysis& m) {
    PyRef d(PyDict_New());
    if (!d) return d;
    for (const auto& [name, values] : m.feats) {
        PyRef key = to_str(name);
        if (!key || !put(d.get(), key.get(), str_list(values))) return PyRef();
    }
    return d;
}

PyRef morph_dict(const Keys& k, const dict::MorphAnalysis& m) {
    PyRef d(PyDict_New());
    if (!d || !put(d.get(), k.pos, str_list(m.pos)) || !put(d.get(), k.feats, feats_dict(m)) ||
        !put(d.get(), k.lemma, optional_str(m.lemma)) || !put(d.get(), k.definition, optional_str(m.definition)))
        return PyRef();
    return d;
}

PyRef reading_dict(const Keys& k, const dict::Reading& r) {
    PyRef d(PyDict_New());
    if (!d || !put(d.get(), k.syllable_index, count_obj(r.syllable_index)) ||
        !put(d.get(), k.stress_from_end, count_obj(r.stress_from_end)) ||
        !put(d.get(), k.syllable_count, count_obj(r.syllable_count)) || !put(d.get(), k.form, to_str(r.form)) ||
        !put(d.get(), k.stressed_form, to_str(r.stressed_form)) ||
        !put(d.get(), k.word_syllables, str_list(r.word_syllables)) || !put(d.get(), k.ipa, to_str(r.ipa)) ||
        !put(d.get(), k.ipa_syllables, str_list(r.ipa_syllables)) || !put(d.get(), k.tokens, token_list(r.tokens)) ||
        !put(d.get(), k.morph, list_of(r.morph, [&](const auto& m) { return morph_dict(k, m); })) || !put(d.get(), k.confidence, optional_str(r.confidence)))
        return PyRef();
    return d;
}

PyRef syllable_dict(const Keys& k, const Syllable& s) {
    PyRef d(PyDict_New());
    if (!d || !put(d.get(), k.ipa, to_str(s.ipa)) || !put(d.get(), k.word, to_str(s.word)) ||
        !put(d.get(), k.stressed, bool_obj(s.stressed)) || !put(d.get(), k.is_open, bool_obj(s.is_open)))
        return PyRef();
    return d;
}

}  // namespace

const Keys* keys() {
    static const Keys* k = nullptr;
    if (k == nullptr) k = make_keys();
    return k;
}

PyRef to_str(std::string_view text) {
    return PyRef(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr));
}

PyRef token_dict(const Token& t) {
    const Keys* k = keys();
    if (k == nullptr) return PyRef();
    PyRef d(PyDict_New());
    if (!d || !put(d.get(), k->ipa, to_str(t.ipa)) || !put(d.get(), k->source, to_str(t.source)) ||
        !put(d.get(), k->type, PyRef(Py_NewRef(k->type_names[static_cast<int>(t.type)]))) ||
        !put(d.get(), k->vowel_index, PyRef(PyLong_FromLong(t.vowel_index))) ||
        !put(d.get(), k->stressed, bool_obj(t.stressed)) ||
        !put(d.get(), k->palatalized, bool_obj(t.palatalized)))
        return PyRef();
    return d;
}

PyRef token_list(const std::vector<Token>& tokens) { return list_of(tokens, token_dict); }

PyRef lookup_dict(const dict::LookupResult& result) {
    const Keys* k = keys();
    if (k == nullptr) return PyRef();
    PyRef d(PyDict_New());
    if (!d || !put(d.get(), k->form, to_str(result.form))) return PyRef();
    if (!put(d.get(), k->readings,
             list_of(result.readings, [&](const dict::Reading& r) { return reading_dict(*k, r); })))
        return PyRef();
    return d;
}

PyRef transcription_dict(const Transcription& t) {
    const Keys* k = keys();
    if (k == nullptr) return PyRef();
    PyRef d(PyDict_New());
    if (!d || !put(d.get(), k->word, to_str(t.word)) || !put(d.get(), k->ipa, to_str(t.ipa)) ||
        !put(d.get(), k->stress_index, PyRef(PyLong_FromUnsignedLong(t.stress_index))) ||
        !put(d.get(), k->tokens, token_list(t.tokens)) || !put(d.get(), k->syllables, list_of(t.syllables, [&](const Syllable& s) { return syllable_dict(*k, s); })))
        return PyRef();
    return d;
}

}  // namespace lexovia::py
