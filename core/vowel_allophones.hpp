// Vowel allophones pass and the labial glide.
//
// apply_vowel_allophones: the nearest vowel before a stressed "i" or "u" is
// raised ("ɛ" → "ɛ̝", "ɔ" → "ɔ̝") or marked as a lowered near-close vowel
// ("ɪ" → "ɪ̞"); nothing else about vowels changes. Needs the stress marks.
// apply_labial_glide: "ʋ" after a vowel becomes "w" before a consonant, or
// the non-syllabic glide "u̯" when no consonant follows it anywhere in the word.
// Both change tokens in place and keep the length of the list.
#pragma once

#include <vector>

#include "core/phonetics.hpp"

namespace lexovia {

void apply_vowel_allophones(std::vector<Token>& tokens);
void apply_labial_glide(std::vector<Token>& tokens);

}  // namespace lexovia
