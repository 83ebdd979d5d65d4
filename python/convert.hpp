// Conversion of engine results into plain Python objects.
//
// Texts become str, counts int, flags the bool singletons, sequences lists
// created at their final length, records dicts with their keys inserted in a
// fixed order. Every function returns a new reference, or nullptr with a
// pending error after releasing whatever it had built.
#pragma once

#include <string_view>

#include "../core/dict/lookup.hpp"
#include "../core/transcription.hpp"
#include "pyref.hpp"

namespace lexovia::py {

PyRef to_str(std::string_view text);

// A list of exactly items.size() elements, element i being convert(items[i]).
template <typename Items, typename Convert>
PyRef list_of(const Items& items, Convert&& convert) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return list;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyRef item = convert(items[i]);
        if (!item) return PyRef();
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
    }
    return list;
}

// {"ipa", "source", "type", "vowel_index", "stressed", "palatalized"}
PyRef token_dict(const Token& token);
// [token_dict, ...] in order.
PyRef token_list(const std::vector<Token>& tokens);
// {"word", "ipa", "stress_index", "tokens", "syllables"}
PyRef transcription_dict(const Transcription& t);

// {"form", "readings": [{11 reading keys, "morph": [{"pos", "feats",
// "lemma", "definition"}]}]}
PyRef lookup_dict(const dict::LookupResult& result);

// Interned dict keys, created on first use and kept for the process.
struct Keys;
const Keys* keys();

}  // namespace lexovia::py
