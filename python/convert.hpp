// Conversion of engine results into plain Python objects.
//
// Texts become str, counts int, flags the bool singletons, sequences lists
// created at their final length, records dicts with their keys inserted in a
// fixed order. Short texts (token IPA and letters, syllables, tags, feature
// names and values) and whole token and syllable dicts come from the
// module-owned prototypes (prototypes.hpp); a Converter lives for one call
// and also remembers the lemmas and definitions it has made, which repeat
// across the analyses of one word. Every function returns a new reference,
// or an empty PyRef with a pending error after releasing whatever it had
// built.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/dict/lookup.hpp"
#include "core/transcription.hpp"
#include "python/prototypes.hpp"
#include "python/pyref.hpp"
#include "python/signals.hpp"

namespace lexovia::py {

struct Keys;

// A list of exactly items.size() elements, element i being convert(items[i]).
// With a SignalCheck, each element counts as one unit of work, and a signal
// handler that raises ends the list (empty PyRef, its exception pending).
template <typename Items, typename Convert>
PyRef list_of(const Items& items, Convert&& convert, SignalCheck* signals = nullptr) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyRef item = convert(items[i]);
        if (!item) return PyRef();
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
        if (signals != nullptr && !(*signals)()) return PyRef();
    }
    return list;
}

// Pauses the interpreter's cyclic garbage collector for its lifetime. The
// result of one call is a tree of fresh dicts and lists without cycles; a
// collection triggered by its own allocations would only walk the growing
// tree again and again (with a batch of 100,000 words, most of the time).
class GcPause {
public:
    GcPause() : was_enabled_(PyGC_Disable()) {}
    ~GcPause() {
        if (was_enabled_) PyGC_Enable();
    }
    GcPause(const GcPause&) = delete;
    GcPause& operator=(const GcPause&) = delete;

private:
    int was_enabled_;
};

class Converter {
public:
    // nullptr with a pending error when the dict keys cannot be created.
    static std::unique_ptr<Converter> create();
    // A converter for the lookup results of d (which must outlive the
    // module), taking the strs of its small tables from TableStrs.
    static std::unique_ptr<Converter> create(const dict::Dictionary& d);

    // {"ipa", "source", "type", "vowel_index", "stressed", "palatalized"}
    PyRef token_dict(const Token& token) { return py::token_dict(k_, token); }
    // {"word", "ipa", "stress_index", "tokens", "syllables"}
    PyRef transcription_dict(const Transcription& t);
    // {"form", "readings": [{11 reading keys, "morph": [{"pos", "feats",
    // "lemma", "definition"}]}]}
    PyRef lookup_dict(const dict::LookupResult& result);

    // Counts the tokens this converter has turned into dicts; batch bindings
    // count their words through it too. After a failed conversion,
    // signals().interrupted() tells an interrupt from a failed allocation.
    SignalCheck& signals() { return signals_; }

private:
    Converter(const Keys& keys, const TableStrs& tables) : k_(keys), tables_(tables) {}
    // form is the str of r.form, shared by the result and its readings.
    PyRef reading_dict(const dict::Reading& r, PyObject* form);
    PyRef morph_dict(const dict::MorphAnalysis& m);
    PyRef feats_dict(const dict::MorphAnalysis& m);
    template <typename Text>
    PyRef str_list(const std::vector<Text>& texts) {
        return list_of(texts, [](std::string_view t) { return cached_str(t); });
    }
    // The str of a lemma or definition: a view into the dictionary's
    // tables, so equal texts within a call are mostly the same bytes.
    PyRef table_text(std::string_view text);
    PyRef optional_text(const std::optional<std::string_view>& text);

    static constexpr std::size_t TABLE_TEXT_SLOTS = 16;
    struct TableTextSlot {
        const char* data = nullptr;
        std::size_t size = 0;
        PyRef obj;
    };
    GcPause gc_pause_;
    SignalCheck signals_;
    const Keys& k_;
    const TableStrs& tables_;
    std::array<TableTextSlot, TABLE_TEXT_SLOTS> table_texts_{};
};

}  // namespace lexovia::py
