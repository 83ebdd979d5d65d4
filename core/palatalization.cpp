#include "core/palatalization.hpp"

namespace lexovia {
namespace {

bool is_trigger(const Token& t) {
    return t.palatalized && t.type == TokenType::Consonant && ALVEOLARS.contains_key(IpaKey(t.ipa).plain_packed());
}

}  // namespace

// Softness spreads leftwards from every trigger through the consonants before
// it. Each walk would stop or pass on a token by rules that depend only on
// that token, and a token softened by one walk is passed over (or continues
// the walk as a trigger of its own) in every later one, so the union of all
// walks is what one right-to-left sweep gives when it remembers whether some
// walk is still going. That keeps long chains ("тьсьтьсь...", "ньнь...")
// linear instead of one walk per trigger over the whole chain.
void apply_palatalization(std::vector<Token>& tokens) {
    bool walking = false;  // a trigger to the right still softens this token
    for (std::size_t k = tokens.size(); k-- > 0;) {
        Token& t = tokens[k];
        if (walking) {
            if (t.type != TokenType::Consonant) {
                walking = false;
            } else if (!t.palatalized) {
                // A plain key has no palatal mark, so an alveolar one is a
                // hard alveolar, which SOFTENING_PAIRS holds every one of.
                if (!DENTALS.contains_key(IpaKey(t.ipa).plain_packed())) walking = false;
                else soften(t);
            }
        }
        // Position 0 has nothing to its left to soften.
        if (k > 0 && is_trigger(t)) walking = true;
    }
}

}  // namespace lexovia
