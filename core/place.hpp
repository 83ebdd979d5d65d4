// Place assimilation pass, then affricate merging.
//
// apply_place_assimilation: a dental or alveolar sibilant directly before a
// postalveolar sibilant or affricate takes the postalveolar place ("z" before
// "ʃ" becomes "ʃ"), by the fixed rule table below; all pairs are judged on the
// list as it stood before the step, and only ipa fields change.
// merge_affricates: a dental stop followed by "s" or "t͡s" fuses into one
// affricate token, greedily from the left without overlap; the list may get
// shorter. Both compare tokens by ipa minus one trailing length mark.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "core/phonetics.hpp"

namespace lexovia {

struct PairRule {
    std::string_view first;
    std::string_view next;
    std::string_view result;
};

inline constexpr std::array<PairRule, 11> SIBILANT_ASSIMILATION_RULES{{
    {"z", "\u0283", "\u0283"},
    {"s", "\u0283", "\u0283"},
    {"z", "\u0292", "\u0292"},
    {"s", "\u0292", "\u0292"},
    {"z", "t\u0361\u0283", "\u0283"},
    {"s", "t\u0361\u0283", "\u0283"},
    {"z", "d\u0361\u0292", "\u0292"},
    {"z\u02B2", "\u0283", "\u0283"},
    {"s\u02B2", "\u0283", "\u0283"},
    {"z\u02B2", "t\u0361\u0283", "\u0283"},
    {"s\u02B2", "t\u0361\u0283", "\u0283"},
}};

inline constexpr std::array<PairRule, 3> AFFRICATE_MERGE_RULES{{
    {"t", "s", "t\u0361s"},
    {"t\u02B2", "s", "t\u0361s\u02B2"},
    {"t", "t\u0361s", "t\u0361s\u02D0"},
}};

void apply_place_assimilation(std::vector<Token>& tokens);

// Returns the list with each matching stop + sibilant pair fused.
std::vector<Token> merge_affricates(const std::vector<Token>& tokens);
// The same, fusing within the list itself.
void merge_affricates_in_place(std::vector<Token>& tokens);

}  // namespace lexovia
