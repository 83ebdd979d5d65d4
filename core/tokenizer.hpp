// Tokenizer: Ukrainian spelling to a list of sound tokens.
//
// Reads an already lowercased word letter by letter and settles everything
// that depends on letters rather than on neighbouring sounds: the sound of
// each letter, the affricate digraphs дж and дз (not after the prefixes від,
// під, над, перед), the two sounds of щ, the soft sign, apostrophes (glottal
// tokens), and the two readings of я ю є ї (glide + vowel, or a vowel that
// softens the consonant before it). Characters outside the Ukrainian letter
// tables give no token. The last step fuses two equal consonants into one long
// consonant. Never fails.
#pragma once

#include <string_view>
#include <vector>

#include "core/phonetics.hpp"

namespace lexovia {

// Tokens of a lowercased word given as code points.
std::vector<Token> tokenize(std::u32string_view word);
// Tokens of a lowercased word given as UTF-8.
std::vector<Token> tokenize(std::string_view word);

// Fuses each pair of adjacent consonants (or glides) with the same IPA, a
// trailing palatalization mark aside, into one long consonant. Pairwise and
// left to right: three equal consonants give a long one and a short one.
std::vector<Token> merge_geminates(const std::vector<Token>& tokens);
// The same, fusing within the list itself.
void merge_geminates_in_place(std::vector<Token>& tokens);

}  // namespace lexovia
