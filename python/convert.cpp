#include "python/convert.hpp"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "core/utf8.hpp"
#include "python/keys.hpp"

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

// A fresh dict with the template's keys in its order (values still None).
PyRef from_template(PyObject* tmpl) { return PyRef(PyDict_Copy(tmpl)); }
PyRef count_obj(std::uint64_t n) { return PyRef(PyLong_FromUnsignedLongLong(n)); }

}  // namespace

std::unique_ptr<Converter> Converter::create() {
    const Keys* k = keys();
    if (k == nullptr) return nullptr;
    return std::unique_ptr<Converter>(new Converter(*k, TableStrs::none()));
}

std::unique_ptr<Converter> Converter::create(const dict::Dictionary& d) {
    const Keys* k = keys();
    const TableStrs* tables = k != nullptr ? TableStrs::of(d) : nullptr;
    if (tables == nullptr) return nullptr;
    return std::unique_ptr<Converter>(new Converter(*k, *tables));
}

PyRef Converter::table_text(std::string_view text) {
    TableTextSlot& slot =
        table_texts_[(reinterpret_cast<std::uintptr_t>(text.data()) >> 3) % TABLE_TEXT_SLOTS];
    if (slot.obj && slot.data == text.data() && slot.size == text.size()) return borrow(slot.obj.get());
    PyRef obj = to_str(text);
    if (!obj) return obj;
    slot.obj = borrow(obj.get());
    slot.data = text.data();
    slot.size = text.size();
    return obj;
}

PyRef Converter::optional_text(const std::optional<std::string_view>& text) {
    return text ? table_text(*text) : borrow(Py_None);
}

PyRef Converter::transcription_dict(const Transcription& t) {
    PyRef d = from_template(k_.transcription_template);
    if (!d || !put(d.get(), k_.word, to_str(t.word)) || !put(d.get(), k_.ipa, to_str(t.ipa)) ||
        !put(d.get(), k_.stress_index, PyRef(PyLong_FromUnsignedLong(t.stress_index))) ||
        !put(d.get(), k_.tokens, list_of(t.tokens, [&](const Token& tok) { return token_dict(tok); }, &signals_)) ||
        !put(d.get(), k_.syllables, list_of(t.syllables, [&](const Syllable& s) {
            return syllable_dict(k_, s.ipa, s.word, s.stressed, s.is_open);
        })))
        return PyRef();
    return d;
}

PyRef Converter::feats_dict(const dict::MorphAnalysis& m) {
    // Sized for its names at once: a record has up to a dozen features,
    // which a dict growing from empty would rehash on the way.
    PyRef d(_PyDict_NewPresized(static_cast<Py_ssize_t>(m.feats.size())));
    if (!d) return d;
    for (const auto& [name, values] : m.feats) {
        PyRef key = tables_.feature_key(name);
        if (!key ||
            !put(d.get(), key.get(), list_of(values, [&](std::string_view v) { return tables_.feature_value(v); })))
            return PyRef();
    }
    return d;
}

PyRef Converter::morph_dict(const dict::MorphAnalysis& m) {
    PyRef d = from_template(k_.morph_template);
    if (!d || !put(d.get(), k_.pos, list_of(m.pos, [&](std::string_view t) { return tables_.pos(t); })) ||
        !put(d.get(), k_.feats, feats_dict(m)) || !put(d.get(), k_.lemma, optional_text(m.lemma)) ||
        !put(d.get(), k_.definition, optional_text(m.definition)))
        return PyRef();
    return d;
}

PyRef Converter::reading_dict(const dict::Reading& r, PyObject* form) {
    // The syllables are the texts whose strs are least likely to be in the
    // processor's cache: they are many and come from a large cache.
    prefetch_cached_strs(r.word_syllables);
    prefetch_cached_strs(r.ipa_syllables);
    for (const dict::MorphAnalysis& m : r.morph)
        if (m.lemma) __builtin_prefetch(m.lemma->data());
    PyRef d = from_template(k_.reading_template);
    if (!d || !put(d.get(), k_.syllable_index, count_obj(r.syllable_index)) ||
        !put(d.get(), k_.stress_from_end, count_obj(r.stress_from_end)) ||
        !put(d.get(), k_.syllable_count, count_obj(r.syllable_count)) || !put(d.get(), k_.form, borrow(form)) ||
        !put(d.get(), k_.stressed_form, to_str(r.stressed_form)) ||
        !put(d.get(), k_.word_syllables, str_list(r.word_syllables)) || !put(d.get(), k_.ipa, to_str(r.ipa)) ||
        !put(d.get(), k_.ipa_syllables, str_list(r.ipa_syllables)) ||
        !put(d.get(), k_.tokens, list_of(r.tokens, [&](const Token& t) { return token_dict(t); }, &signals_)) ||
        !put(d.get(), k_.morph, list_of(r.morph, [&](const dict::MorphAnalysis& m) { return morph_dict(m); })) ||
        !put(d.get(), k_.confidence, r.confidence ? cached_str(*r.confidence) : borrow(Py_None)))
        return PyRef();
    return d;
}

PyRef Converter::lookup_dict(const dict::LookupResult& result) {
    PyRef d = from_template(k_.lookup_template);
    PyRef form = to_str(result.form);
    // Every reading's form is the normalised word itself.
    const auto reading = [&](const dict::Reading& r) {
        return r.form == result.form ? reading_dict(r, form.get()) : reading_dict(r, PyRef(to_str(r.form)).get());
    };
    if (!d || !form || !put(d.get(), k_.form, borrow(form.get())) ||
        !put(d.get(), k_.readings, list_of(result.readings, reading)))
        return PyRef();
    return d;
}

}  // namespace lexovia::py
