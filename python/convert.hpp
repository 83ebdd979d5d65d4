// Conversion of engine results into plain Python objects.
//
// Texts become str, counts int, flags the bool singletons, sequences lists
// created at their final length, records dicts with their keys inserted in a
// fixed order. A Converter lives for one call: it remembers the str objects
// it made for short texts (token IPA and letters, syllables, tags, feature
// names) and hands out the same immutable object again, which saves most of
// the decoding in a result. Every function returns a new reference, or an
// empty PyRef with a pending error after releasing whatever it had built.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "../core/dict/lookup.hpp"
#include "../core/transcription.hpp"
#include "pyref.hpp"
#include "signals.hpp"

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

// A new str from UTF-8 text.
PyRef to_str(std::string_view text);

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

    PyRef str(std::string_view text);
    // {"ipa", "source", "type", "vowel_index", "stressed", "palatalized"}
    PyRef token_dict(const Token& token);
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
    explicit Converter(const Keys& keys) : k_(keys) {}
    PyRef syllable_dict(const Syllable& s);
    PyRef reading_dict(const dict::Reading& r);
    PyRef morph_dict(const dict::MorphAnalysis& m);
    PyRef feats_dict(const dict::MorphAnalysis& m);
    template <typename Text>
    PyRef str_list(const std::vector<Text>& texts) {
        return list_of(texts, [&](std::string_view t) { return str(t); });
    }
    template <typename Text>
    PyRef optional_str(const std::optional<Text>& text);

    // Short texts and their str objects, by hash; a collision replaces.
    static constexpr std::size_t CACHED_MAX = 31;
    static constexpr std::size_t SLOTS = 64;
    struct Slot {
        PyRef obj;
        std::uint8_t size = 0;
        char bytes[CACHED_MAX];
    };
    GcPause gc_pause_;
    SignalCheck signals_;
    const Keys& k_;
    std::array<Slot, SLOTS> slots_{};
};

}  // namespace lexovia::py
