// Transcription driver.
//
// transcribe() lowercases a word (full Unicode mapping, one character at a
// time) and runs the phonetic passes in their fixed order: tokenize (with
// geminate merging), palatalization, voicing, place assimilation and
// affricate merging (these three only on lists of at least two tokens), stress
// marking, vowel allophones and the labial glide, syllabification. Any text
// and any stress index give a result; an index beyond the word's vowels
// stresses nothing. The result owns all its data.
//
// The options choose between readings that differ in one rule only; their
// defaults are the reading of lexovia.transcribe and of the dictionary's
// readings, which nothing but the text layer's own module changes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/phonetics.hpp"
#include "core/syllabifier.hpp"
#include "core/vowel_allophones.hpp"

namespace lexovia {

struct Transcription {
    std::string word;  // the input lowercased, characters without a token included
    std::vector<Token> tokens;
    std::vector<Syllable> syllables;  // at least one
    std::string ipa;                  // the syllables' ipa joined
    std::uint8_t stress_index = 0;
};

struct TranscriptionOptions {
    LabialGlide labial_glide = LabialGlide::WordLevel;
};

// word is UTF-8; ill-formed bytes are read as U+FFFD.
Transcription transcribe(std::string_view word, std::uint8_t stress_index, TranscriptionOptions options = {});

// Sets stressed on every vowel token whose vowel_index, as an 8-bit value,
// equals stress_index.
void mark_stress(std::vector<Token>& tokens, std::uint8_t stress_index);

}  // namespace lexovia
