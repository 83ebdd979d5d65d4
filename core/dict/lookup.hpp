// Word lookup: a typed word to every stress variant the dictionary records.
//
// lookup() normalises the word (full lowercase per character, the five
// apostrophe characters written as U+02BC), then:
// - a form with exactly one vowel letter gets one reading at stress 0
//   without consulting the dictionary (confidence "single-syllable");
// - otherwise the form is searched byte-wise among the entries; its analysis
//   records are grouped by stress position (a record with several positions
//   goes to each; when no record has any, all of them go to position 0) and
//   each position, ascending, becomes one Reading with its own transcription.
// Indexes into the dictionary's tables are resolved here; one past the end of
// its table is dropped, never an error. Lookup never chooses between
// readings and never fails on content. The texts of a MorphAnalysis are views
// into the dictionary's tables: a result must not outlive its Dictionary
// (the module's dictionary lives until the process ends).
//
// Lookup pulls in the whole phonetic engine: every reading carries the
// transcription of its stressed form (core/transcription.hpp), so whatever
// links lookup links every transcription pass too. Like the Dictionary and
// the phonetic tables it reads, lookup keeps no state of its own and may run
// on any number of threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/dict/dictionary.hpp"
#include "core/phonetics.hpp"
#include "core/utf8.hpp"

namespace lexovia::dict {

struct MorphAnalysis {
    std::vector<std::string_view> pos;
    // Feature name to its values; a name occurs once (a later pair with the
    // same name replaces the earlier values in place).
    std::vector<std::pair<std::string_view, std::vector<std::string_view>>> feats;
    std::optional<std::string_view> lemma;
    std::optional<std::string_view> definition;
    friend bool operator==(const MorphAnalysis&, const MorphAnalysis&) = default;
};

struct Reading {
    std::string form;
    std::string stressed_form;
    std::vector<std::string> word_syllables;
    std::string ipa;
    std::vector<std::string> ipa_syllables;  // the stressed one prefixed with "ˈ"
    std::vector<Token> tokens;
    std::vector<MorphAnalysis> morph;
    std::optional<std::string> confidence;
    std::uint64_t syllable_index = 0;
    std::uint64_t stress_from_end = 0;
    std::uint64_t syllable_count = 0;
};

struct LookupResult {
    std::string form;
    std::vector<Reading> readings;  // ascending stress position
};

// Lowercase (full mapping per character) with apostrophes as U+02BC; nothing
// removed or trimmed.
std::string normalize_word(std::string_view word);

// Room normalize_char() may write: three code points of a lowercase mapping.
inline constexpr std::size_t NORMALIZED_CHAR_MAX = 12;

// normalize_char() for every character it does not map inline: the full
// lowercase table and the apostrophe variants, kept out of line so that the
// inline part stays small.
char* normalize_rare_char(char32_t c, char* out);

// Writes the UTF-8 of the normalised form of one character c at out (room
// for NORMALIZED_CHAR_MAX bytes) and returns the end of what it wrote.
// normalize_word() is this applied to every character; callers that hold
// code points already (a Python str) use it to skip the UTF-8 round trip.
// ASCII and the basic Cyrillic block, nearly every letter of every word,
// are mapped inline, as lowercase_code_point() maps them.
inline char* normalize_char(char32_t c, char* out) {
    if (c < 0x80 && c != U'\'' && c != U'`') {
        *out = static_cast<char>(c >= U'A' && c <= U'Z' ? c + 32 : c);
        return out + 1;
    }
    if (c >= 0x0410 && c <= 0x045F) return out + utf8::encode(c <= 0x042F ? c + 32 : c, out);
    return normalize_rare_char(c, out);
}

// The vowel letters a stress mark may follow: а е є и і ї о у ю я and their
// capitals.
constexpr bool is_marking_vowel(char32_t c) {
    switch (c) {
        case U'а': case U'е': case U'и': case U'о': case U'у':
        case U'ю': case U'я': case U'є': case U'і': case U'ї':
        case U'А': case U'Е': case U'Є': case U'И': case U'І':
        case U'Ї': case U'О': case U'У': case U'Ю': case U'Я':
            return true;
        default:
            return false;
    }
}

// Calls at(offset), ascending, for every byte offset of text where
// add_stress_mark() puts U+0301: just after each marking vowel whose 8-bit
// count is vowel_index. With each, also calls each(c) for every code point
// of text in order (before at() for a mark after it), so that a caller
// building the marked text in another form (a Python str) decodes text once
// and puts the marks exactly where add_stress_mark() does.
struct IgnoreChars {
    void operator()(char32_t) const {}
};
template <typename At, typename Each = IgnoreChars>
void for_each_stress_mark(std::string_view text, std::uint8_t vowel_index, At&& at, Each&& each = {}) {
    std::uint8_t counter = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        // ASCII bytes, never a marking vowel, are passed over without decoding.
        const auto b0 = static_cast<std::uint8_t>(text[pos]);
        if (b0 < 0x80) {
            each(char32_t{b0});
            ++pos;
            continue;
        }
        const char32_t c = utf8::decode_next(text, pos);
        each(c);
        if (!is_marking_vowel(c)) continue;
        if (counter == vowel_index) at(pos);
        ++counter;
    }
}

// text with U+0301 after its vowel letter number vowel_index (0-based; the
// counter is 8-bit and wraps), counting the marking vowels; unchanged when
// there is no such vowel.
std::string add_stress_mark(std::string_view text, std::uint8_t vowel_index);

// word is UTF-8 text exactly as the caller gave it.
LookupResult lookup(const Dictionary& dictionary, std::string_view word);
// The morphology would point into a dictionary about to be destroyed.
LookupResult lookup(const Dictionary&& dictionary, std::string_view word) = delete;

// lookup() of a word whose normalize_word() is form, for callers that
// normalise from another representation (a Python str's characters).
LookupResult lookup_normalized(const Dictionary& dictionary, std::string form);
LookupResult lookup_normalized(const Dictionary&& dictionary, std::string form) = delete;

// The stress position of the first reading lookup() would give for form
// (already normalised), or nullopt when it would give none. This is all that
// mark() needs, and it costs one search and a walk over the entry's stress
// bytes: no transcription, no morphology, no allocation.
std::optional<std::uint8_t> first_stress(const Dictionary& dictionary, std::string_view form);

// The stressed form of the first reading, or word itself when there is none;
// always equal to what lookup() gives, computed without it.
std::string mark(const Dictionary& dictionary, std::string_view word);

// The analysis of one stored record, its indexes resolved against the tables.
MorphAnalysis resolve(const Dictionary& dictionary, const RecordView& record);
MorphAnalysis resolve(const Dictionary&& dictionary, const RecordView& record) = delete;

}  // namespace lexovia::dict
