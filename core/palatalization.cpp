#include "palatalization.hpp"

namespace lexovia {
namespace {

// Calls out(byte) for every byte of ipa outside its palatalization and
// length marks; stops early when out returns false.
template <typename Out>
void plain_bytes(std::string_view ipa, Out&& out) {
    for (std::size_t i = 0; i < ipa.size();) {
        const std::string_view rest = ipa.substr(i);
        if (rest.starts_with(PALATAL_MARK)) i += PALATAL_MARK.size();
        else if (rest.starts_with(LENGTH_MARK)) i += LENGTH_MARK.size();
        else if (!out(ipa[i++])) return;
    }
}

// The plain key packed for set lookups, without building a string.
std::uint64_t packed_plain_key(std::string_view ipa) {
    char buf[8];
    std::size_t n = 0;
    bool fits = true;
    plain_bytes(ipa, [&](char c) { return (fits = n < sizeof buf) && (buf[n++] = c, true); });
    return fits ? pack_ipa(std::string_view(buf, n)) : 0;
}

bool is_trigger(const Token& t) {
    return t.palatalized && t.type == TokenType::Consonant && ALVEOLARS.contains_key(packed_plain_key(t.ipa));
}

void soften_plain(Token& t, std::uint64_t key) {
    const auto soft = SOFTENING_PAIRS.find_key(key);
    if (!soft) return;
    const bool long_consonant = t.ipa.ends_with(LENGTH_MARK);
    t.ipa = *soft;
    if (long_consonant) t.ipa += LENGTH_MARK;
    t.palatalized = true;
    if (t.consonant_features) t.consonant_features->palatalized = true;
}

}  // namespace

std::string plain_key(std::string_view ipa) {
    std::string key;
    plain_bytes(ipa, [&](char c) { return key.push_back(c), true; });
    return key;
}

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
                const std::uint64_t key = packed_plain_key(t.ipa);
                if (!ALVEOLARS.contains_key(key) || !DENTALS.contains_key(key)) walking = false;
                else soften_plain(t, key);
            }
        }
        // Position 0 has nothing to its left to soften.
        if (k > 0 && is_trigger(t)) walking = true;
    }
}

}  // namespace lexovia
