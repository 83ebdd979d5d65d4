#include "palatalization.hpp"

namespace lexovia {
namespace {

void remove_all(std::string& s, std::string_view mark) {
    for (auto pos = s.find(mark); pos != std::string::npos; pos = s.find(mark, pos))
        s.erase(pos, mark.size());
}

bool is_trigger(const Token& t) {
    return t.palatalized && t.type == TokenType::Consonant && ALVEOLARS.contains(plain_key(t.ipa));
}

void soften_plain(Token& t, std::string_view key) {
    const auto soft = SOFTENING_PAIRS.find(key);
    if (!soft) return;
    const bool long_consonant = t.ipa.ends_with(LENGTH_MARK);
    t.ipa = *soft;
    if (long_consonant) t.ipa += LENGTH_MARK;
    t.palatalized = true;
    if (t.consonant_features) t.consonant_features->palatalized = true;
}

}  // namespace

std::string plain_key(std::string_view ipa) {
    std::string key(ipa);
    remove_all(key, PALATAL_MARK);
    remove_all(key, LENGTH_MARK);
    return key;
}

void apply_palatalization(std::vector<Token>& tokens) {
    for (std::size_t j = tokens.size(); j-- > 1;) {
        if (!is_trigger(tokens[j])) continue;
        for (std::size_t k = j; k-- > 0;) {
            Token& t = tokens[k];
            if (t.type != TokenType::Consonant) break;
            if (t.palatalized) continue;
            const std::string key = plain_key(t.ipa);
            if (!ALVEOLARS.contains(key) || !DENTALS.contains(key)) break;
            soften_plain(t, key);
        }
    }
}

}  // namespace lexovia
