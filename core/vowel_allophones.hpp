// Vowel allophones pass and the labial glide.
//
// apply_vowel_allophones: the nearest vowel before a stressed "i" or "u" is
// raised ("ɛ" → "ɛ̝", "ɔ" → "ɔ̝") or marked as a lowered near-close vowel
// ("ɪ" → "ɪ̞"); nothing else about vowels changes. Needs the stress marks.
// apply_labial_glide: "ʋ" after a vowel becomes "w" before a consonant, or
// the non-syllabic glide "u̯" when no consonant follows it anywhere in the word.
// Read as connected speech (LabialGlide::Speech), a "ʋ" that a vowel follows
// stays "ʋ" and opens the next syllable (слово, нові, кров'ю); the rest of the
// rule is the same.
// Both change tokens in place and keep the length of the list.
#pragma once

#include <cstdint>
#include <vector>

#include "core/phonetics.hpp"

namespace lexovia {

// Which reading of "в" after a vowel the labial glide pass gives where a
// vowel follows. The word-level rule is the one lexovia.transcribe and the
// dictionary's readings are defined by; the text layer reads running text as
// speech, where the sound before a vowel is the labiodental approximant.
enum class LabialGlide : std::uint8_t {
    WordLevel,  // "u̯" when no consonant follows anywhere later in the word
    Speech,     // "ʋ" before a vowel, also across the apostrophe and its "j"
};

void apply_vowel_allophones(std::vector<Token>& tokens);
void apply_labial_glide(std::vector<Token>& tokens, LabialGlide reading = LabialGlide::WordLevel);

}  // namespace lexovia
