#include "convert.hpp"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "../core/utf8.hpp"
#include "keys.hpp"

namespace lexovia::py {
namespace {

PyObject* intern(const char* text) { return PyUnicode_InternFromString(text); }

// The interned keys, created once and kept for the process.
const Keys* make_keys() {
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
        if (*fields[i] == nullptr && !(*fields[i] = intern(names[i]))) return nullptr;
    for (int t = 0; t < 4; ++t) {
        if (k.type_names[t] != nullptr) continue;
        const std::string_view name = token_type_name(static_cast<TokenType>(t));
        if (!(k.type_names[t] = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()))))
            return nullptr;
    }
    const auto make_template = [](PyObject*& slot, std::initializer_list<PyObject*> names) {
        if (slot != nullptr) return true;
        PyRef d(PyDict_New());
        if (!d) return false;
        for (PyObject* name : names)
            if (PyDict_SetItem(d.get(), name, Py_None) < 0) return false;
        slot = d.release();
        return true;
    };
    if (!make_template(k.token_template, {k.ipa, k.source, k.type, k.vowel_index, k.stressed, k.palatalized}) ||
        !make_template(k.syllable_template, {k.ipa, k.word, k.stressed, k.is_open}) ||
        !make_template(k.transcription_template, {k.word, k.ipa, k.stress_index, k.tokens, k.syllables}) ||
        !make_template(k.reading_template,
                       {k.syllable_index, k.stress_from_end, k.syllable_count, k.form, k.stressed_form,
                        k.word_syllables, k.ipa, k.ipa_syllables, k.tokens, k.morph, k.confidence}) ||
        !make_template(k.morph_template, {k.pos, k.feats, k.lemma, k.definition}) ||
        !make_template(k.lookup_template, {k.form, k.readings}))
        return nullptr;
    return &k;
}

const Keys* keys() {
    static const Keys* k = nullptr;
    if (k == nullptr) k = make_keys();
    return k;
}

// Inserts value (consumed) under key; false on failure.
bool put(PyObject* dict, PyObject* key, PyRef value) {
    return value && PyDict_SetItem(dict, key, value.get()) == 0;
}

PyRef new_ref(PyObject* obj) { return PyRef(Py_NewRef(obj)); }

// A fresh dict with the template's keys in its order (values still None).
PyRef from_template(PyObject* tmpl) { return PyRef(PyDict_Copy(tmpl)); }
PyRef bool_obj(bool v) { return new_ref(v ? Py_True : Py_False); }
PyRef count_obj(std::uint64_t n) { return PyRef(PyLong_FromUnsignedLongLong(n)); }

std::uint64_t text_hash(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ull ^ text.size();
    for (const char c : text) h = (h ^ static_cast<std::uint8_t>(c)) * 0x100000001b3ull;
    return h;
}

}  // namespace

PyRef to_str(std::string_view text) {
    // The engine's texts are well-formed UTF-8, so the str is built straight
    // from the code points: one pass to size it, one to fill it, which is
    // several times cheaper than the general decoder for short texts.
    Py_ssize_t length = 0;
    char32_t widest = 0;
    for (std::size_t pos = 0; pos < text.size(); ++length) widest = std::max(widest, utf8::decode_next(text, pos));
    PyRef str(PyUnicode_New(length, static_cast<Py_UCS4>(widest)));
    if (!str) return str;
    if (widest < 0x80) {
        std::memcpy(PyUnicode_DATA(str.get()), text.data(), text.size());
        return str;
    }
    const int kind = PyUnicode_KIND(str.get());
    void* data = PyUnicode_DATA(str.get());
    Py_ssize_t i = 0;
    for (std::size_t pos = 0; pos < text.size(); ++i) PyUnicode_WRITE(kind, data, i, utf8::decode_next(text, pos));
    return str;
}

std::unique_ptr<Converter> Converter::create() {
    const Keys* k = keys();
    if (k == nullptr) return nullptr;
    return std::unique_ptr<Converter>(new Converter(*k));
}

PyRef Converter::str(std::string_view text) {
    if (text.size() > CACHED_MAX) return to_str(text);
    Slot& slot = slots_[text_hash(text) % SLOTS];
    if (slot.obj && slot.size == text.size() && std::memcmp(slot.bytes, text.data(), text.size()) == 0)
        return new_ref(slot.obj.get());
    PyRef obj = to_str(text);
    if (!obj) return obj;
    slot.obj = new_ref(obj.get());
    slot.size = static_cast<std::uint8_t>(text.size());
    std::memcpy(slot.bytes, text.data(), text.size());
    return obj;
}

template <typename Text>
PyRef Converter::optional_str(const std::optional<Text>& text) {
    return text ? str(*text) : new_ref(Py_None);
}

PyRef Converter::token_dict(const Token& t) {
    PyRef d = from_template(k_.token_template);
    if (!d || !put(d.get(), k_.ipa, str(t.ipa)) || !put(d.get(), k_.source, str(t.source)) ||
        !put(d.get(), k_.type, new_ref(k_.type_names[static_cast<int>(t.type)])) ||
        !put(d.get(), k_.vowel_index, PyRef(PyLong_FromLong(t.vowel_index))) ||
        !put(d.get(), k_.stressed, bool_obj(t.stressed)) || !put(d.get(), k_.palatalized, bool_obj(t.palatalized)))
        return PyRef();
    return d;
}

PyRef Converter::syllable_dict(const Syllable& s) {
    PyRef d = from_template(k_.syllable_template);
    if (!d || !put(d.get(), k_.ipa, str(s.ipa)) || !put(d.get(), k_.word, str(s.word)) ||
        !put(d.get(), k_.stressed, bool_obj(s.stressed)) || !put(d.get(), k_.is_open, bool_obj(s.is_open)))
        return PyRef();
    return d;
}

PyRef Converter::transcription_dict(const Transcription& t) {
    PyRef d = from_template(k_.transcription_template);
    if (!d || !put(d.get(), k_.word, to_str(t.word)) || !put(d.get(), k_.ipa, to_str(t.ipa)) ||
        !put(d.get(), k_.stress_index, PyRef(PyLong_FromUnsignedLong(t.stress_index))) ||
        !put(d.get(), k_.tokens, list_of(t.tokens, [&](const Token& tok) { return token_dict(tok); }, &signals_)) ||
        !put(d.get(), k_.syllables, list_of(t.syllables, [&](const Syllable& s) { return syllable_dict(s); })))
        return PyRef();
    return d;
}

PyRef Converter::feats_dict(const dict::MorphAnalysis& m) {
    PyRef d(PyDict_New());
    if (!d) return d;
    for (const auto& [name, values] : m.feats) {
        PyRef key = str(name);
        if (!key || !put(d.get(), key.get(), str_list(values))) return PyRef();
    }
    return d;
}

PyRef Converter::morph_dict(const dict::MorphAnalysis& m) {
    PyRef d = from_template(k_.morph_template);
    if (!d || !put(d.get(), k_.pos, str_list(m.pos)) || !put(d.get(), k_.feats, feats_dict(m)) ||
        !put(d.get(), k_.lemma, optional_str(m.lemma)) || !put(d.get(), k_.definition, optional_str(m.definition)))
        return PyRef();
    return d;
}

PyRef Converter::reading_dict(const dict::Reading& r) {
    PyRef d = from_template(k_.reading_template);
    if (!d || !put(d.get(), k_.syllable_index, count_obj(r.syllable_index)) ||
        !put(d.get(), k_.stress_from_end, count_obj(r.stress_from_end)) ||
        !put(d.get(), k_.syllable_count, count_obj(r.syllable_count)) || !put(d.get(), k_.form, to_str(r.form)) ||
        !put(d.get(), k_.stressed_form, to_str(r.stressed_form)) ||
        !put(d.get(), k_.word_syllables, str_list(r.word_syllables)) || !put(d.get(), k_.ipa, to_str(r.ipa)) ||
        !put(d.get(), k_.ipa_syllables, str_list(r.ipa_syllables)) ||
        !put(d.get(), k_.tokens, list_of(r.tokens, [&](const Token& t) { return token_dict(t); }, &signals_)) ||
        !put(d.get(), k_.morph, list_of(r.morph, [&](const dict::MorphAnalysis& m) { return morph_dict(m); })) ||
        !put(d.get(), k_.confidence, optional_str(r.confidence)))
        return PyRef();
    return d;
}

PyRef Converter::lookup_dict(const dict::LookupResult& result) {
    PyRef d = from_template(k_.lookup_template);
    if (!d || !put(d.get(), k_.form, to_str(result.form)) ||
        !put(d.get(), k_.readings,
             list_of(result.readings, [&](const dict::Reading& r) { return reading_dict(r); })))
        return PyRef();
    return d;
}

}  // namespace lexovia::py
