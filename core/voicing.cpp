#include "core/voicing.hpp"

#include <string>
#include <utility>

namespace lexovia {
namespace {

bool is_obstruent(std::string_view key) {
    return VOICED_OBSTRUENTS.contains(key) || VOICELESS_OBSTRUENTS.contains(key);
}

// The new ipa for a given the token b after it, or nullopt for no change.
std::optional<TokenText> assimilate(const Token& a, const Token& b) {
    if (a.type != TokenType::Consonant) return std::nullopt;
    if (b.type != TokenType::Consonant && b.type != TokenType::Glide) return std::nullopt;
    const std::string_view ka = IpaKey(a.ipa).without_length_mark().text();
    const std::string_view kb = IpaKey(b.ipa).without_length_mark().text();
    if (!is_obstruent(ka) || SONORANTS.contains(kb) || !is_obstruent(kb)) return std::nullopt;

    std::optional<std::string_view> counterpart;
    if (VOICED_OBSTRUENTS.contains(ka) && VOICELESS_OBSTRUENTS.contains(kb)) {
        counterpart = VOICING_PAIRS.find(ka);
        if (counterpart && !VOICELESS_OBSTRUENTS.contains(*counterpart)) counterpart.reset();
    } else if (VOICELESS_OBSTRUENTS.contains(ka) && VOICED_OBSTRUENTS.contains(kb)) {
        counterpart = VOICING_PAIRS.find(ka);
        if (counterpart && !VOICED_OBSTRUENTS.contains(*counterpart)) counterpart.reset();
    }
    if (!counterpart) return std::nullopt;
    TokenText ipa(*counterpart);
    if (a.ipa.ends_with(LENGTH_MARK)) ipa += LENGTH_MARK;
    return ipa;
}

void apply_change(Token& t, const TokenText& ipa) {
    t.ipa = ipa;
    t.palatalized = t.ipa.contains(PALATAL_MARK);
    const std::string_view key = IpaKey(t.ipa).without_length_mark().text();
    if (const ConsonantRow* row = find_consonant(key)) {
        t.consonant_features = features_of(*row);
        if (t.palatalized) {
            mark_palatalized(t);
            t.consonant_features->voicing = Voicing::Voiced;
        }
    } else if (t.consonant_features) {
        if (VOICED_OBSTRUENTS.contains(key)) t.consonant_features->voicing = Voicing::Voiced;
        else if (VOICELESS_OBSTRUENTS.contains(key)) t.consonant_features->voicing = Voicing::Voiceless;
    }
}

}  // namespace

void apply_voicing(std::vector<Token>& tokens) {
    if (tokens.size() < 2) return;
    std::vector<std::pair<std::size_t, TokenText>> changes;
    for (std::size_t i = tokens.size() - 1; i-- > 0;) {
        if (auto ipa = assimilate(tokens[i], tokens[i + 1])) changes.emplace_back(i, *ipa);
    }
    for (const auto& [i, ipa] : changes) apply_change(tokens[i], ipa);
}

}  // namespace lexovia
