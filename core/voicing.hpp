// Voicing assimilation pass: an obstruent takes the voicing of the obstruent
// directly after it.
//
// Regressive in both directions ("ɦ" before "k" becomes "x", "k" before "z"
// becomes "ɡ"). Sonorants, vowels, glides and the glottal stop neither cause
// nor undergo a change, and nothing is devoiced at the end of a word. Every
// pair is judged on the list as it stood before the pass, so a change never
// spreads further left. Changes tokens in place; the length never changes.
// Called only for lists of at least two tokens.
#pragma once

#include <vector>

#include "core/phonetics.hpp"

namespace lexovia {

void apply_voicing(std::vector<Token>& tokens);

}  // namespace lexovia
