// Syllabifier and IPA rendering.
//
// Cuts the final token list of a word into syllables, one per vowel token
// (glides and glottal stops never make a syllable). Consonants before the
// first vowel open the first syllable and all consonants after the last vowel
// close the last one; a cluster between two vowels is split by coda_length.
// A word without vowel tokens is one syllable holding every token (possibly
// none). Every token belongs to exactly one syllable, in order, so the
// syllables' ipa joined is the word's ipa. Never fails; at least one syllable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/phonetics.hpp"

namespace lexovia {

// One syllable. Its tokens are the contiguous run [token_begin,
// token_begin + token_count) of the token list it was cut from: onset, vowel,
// coda.
struct Syllable {
    std::string ipa;   // the tokens' ipa joined
    std::string word;  // the tokens' source letters joined
    std::size_t token_begin = 0;
    std::size_t token_count = 0;
    bool stressed = false;
    bool is_open = false;  // no token follows the vowel inside the syllable
    friend bool operator==(const Syllable&, const Syllable&) = default;
};

// The syllables of tokens; a syllable is stressed when its vowel carries the
// stress flag and its vowel_index equals stress_index.
std::vector<Syllable> syllabify(std::span<const Token> tokens, std::uint8_t stress_index);

// How many tokens of the cluster between two vowels close the first syllable.
std::size_t coda_length(std::span<const Token> cluster);

bool is_sonorant(const Token& t);
bool is_voiced_obstruent(const Token& t);

}  // namespace lexovia
