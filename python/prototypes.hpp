// Module-owned Python objects that results are made from.
//
// The texts of a result come from small, fixed vocabularies: token IPA and
// letters, syllables, part-of-speech tags, feature names and values. The
// token and syllable dicts repeat as well: a word is a few dozen distinct
// sounds in a handful of positions. These caches keep one str per short text
// and one fully filled "prototype" dict per token and per syllable for the
// life of the module, so that a result gets its strs by a reference count
// and each of its token and syllable dicts by one PyDict_Copy (a block copy
// of the prototype's keys and values, no hashing, no insertion).
//
// Every cache is direct-mapped with a fixed number of slots: a colliding
// entry replaces the older one, so memory stays bounded whatever words
// arrive. Prototypes are never handed out, only copied, and hold only
// immutable values (str, int, bool), so no two results share anything
// mutable. Callers hold the interpreter lock (the caches are plain globals).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/dict/dictionary.hpp"
#include "core/phonetics.hpp"
#include "core/syllabifier.hpp"
#include "python/keys.hpp"
#include "python/pyref.hpp"

namespace lexovia::py {

// Texts longer than this are not cached (a syllable or a tag is far shorter;
// lemmas and definitions mostly are not, and rarely repeat within a result).
inline constexpr std::size_t CACHED_TEXT_MAX = 30;

// A new str from well-formed UTF-8 text, without going through the general
// decoder.
PyRef to_str(std::string_view text);

// A new str of the n code points at chars, none wider than widest.
PyRef str_of_chars(const char32_t* chars, std::size_t n, char32_t widest);

// The cached str of text (a new reference), made on a miss; texts longer
// than CACHED_TEXT_MAX get a fresh str.
PyRef cached_str(std::string_view text);

// One str per text of a dictionary's small tables (part-of-speech tags,
// feature names, feature values), made when the tables are first asked for
// and kept for the life of the module, as is the dictionary they are made
// from. A text that is a view into those tables gets its str by its offset,
// without hashing or comparing its bytes.
class TableStrs {
public:
    // The strs of d's small tables, or nullptr with an error pending. d must
    // outlive the module (the module's dictionary does); a dictionary other
    // than the first gets a new set, which replaces the old one.
    static const TableStrs* of(const dict::Dictionary& d);
    // No tables: every text gets cached_str(text).
    static const TableStrs& none();

    // The str of text (a new reference): the table's own when text is a view
    // of one of its texts, else cached_str(text).
    PyRef pos(std::string_view text) const { return pos_.get(text); }
    PyRef feature_key(std::string_view text) const { return keys_.get(text); }
    PyRef feature_value(std::string_view text) const { return values_.get(text); }

private:
    // The strs of one table, indexed by where each text starts in its byte
    // arena. Every str is held in strs_ as well, which owns them.
    class Table {
    public:
        bool build(const dict::StringTable& table);
        PyRef get(std::string_view text) const;

    private:
        const char* base_ = nullptr;
        struct Slot {
            PyObject* str = nullptr;
            std::size_t size = 0;
        };
        std::vector<Slot> by_offset_;
        std::vector<PyRef> strs_;
    };
    const dict::Dictionary* dictionary_ = nullptr;
    Table pos_, keys_, values_;
};

// Starts loading what cached_str() will read for each of texts (its slot,
// then the str the slot holds), so that the cache misses of a list of texts
// overlap instead of following one another. Changes nothing.
void prefetch_cached_strs(std::span<const std::string> texts);

// A new dict equal to {"ipa", "source", "type", "vowel_index", "stressed",
// "palatalized"} of token.
PyRef token_dict(const Keys& k, const Token& token);

// A new dict equal to {"ipa", "word", "stressed", "is_open"} of a syllable
// whose texts are ipa and word.
PyRef syllable_dict(const Keys& k, std::string_view ipa, std::string_view word, bool stressed, bool is_open);

}  // namespace lexovia::py
