// Palatalization pass: softness spreads leftwards through dental and
// alveolar clusters.
//
// A palatalized dental/alveolar consonant softens the plain dental/alveolar
// consonants directly before it ("s" before "nʲ" becomes "sʲ"). Consonants
// that are soft already are passed over; anything else (a vowel, glide,
// glottal stop, or a labial, velar or postalveolar consonant) ends the spread.
// Changes tokens in place and never changes the length of the list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/phonetics.hpp"

namespace lexovia {

void apply_palatalization(std::vector<Token>& tokens);

}  // namespace lexovia
