#include "core/phonetics.hpp"

namespace lexovia {

std::string_view token_type_name(TokenType type) {
    switch (type) {
        case TokenType::Consonant: return "Consonant";
        case TokenType::Vowel: return "Vowel";
        case TokenType::Glide: return "Glide";
        case TokenType::Glottal: return "Glottal";
    }
    return "Consonant";
}

namespace {

constexpr auto CONSONANT_KEYS = [] {
    std::array<std::uint64_t, CONSONANTS.size()> keys{};
    for (std::size_t i = 0; i < CONSONANTS.size(); ++i) keys[i] = pack_ipa(CONSONANTS[i].ipa);
    return keys;
}();

}  // namespace

const ConsonantRow* find_consonant(std::string_view ipa) {
    const std::uint64_t k = pack_ipa(ipa);
    if (k == 0) return nullptr;
    for (std::size_t i = 0; i < CONSONANTS.size(); ++i)
        if (CONSONANT_KEYS[i] == k) return &CONSONANTS[i];
    return nullptr;
}

const VowelRow* find_vowel(std::string_view ipa) {
    // Every vowel IPA is one or two bytes; compare those first.
    for (const VowelRow& row : VOWELS)
        if (row.ipa.size() == ipa.size() && row.ipa == ipa) return &row;
    return nullptr;
}

ConsonantFeatures features_of(const ConsonantRow& row) {
    return ConsonantFeatures{row.palatalized, row.manner == Manner::Nasal, row.voicing, row.place,
                             row.manner};
}

void mark_palatalized(Token& t) {
    t.palatalized = true;
    if (t.consonant_features) t.consonant_features->palatalized = true;
}

void soften(Token& t) {
    const bool long_consonant = t.ipa.ends_with(LENGTH_MARK);
    TokenText soft(IpaKey(t.ipa).plain());
    soft += PALATAL_MARK;
    if (long_consonant) soft += LENGTH_MARK;
    t.ipa = soft;
    mark_palatalized(t);
}

Token make_consonant(std::string_view ipa, std::string_view source) {
    return make_consonant(ipa, source, find_consonant(ipa));
}

Token make_consonant(std::string_view ipa, std::string_view source, const ConsonantRow* row) {
    Token t;
    t.ipa = ipa;
    t.source = source;
    if (row) t.consonant_features = features_of(*row);
    t.type = ipa == "j" ? TokenType::Glide : TokenType::Consonant;
    return t;
}

Token make_vowel(std::string_view ipa, std::string_view source, std::int8_t vowel_index) {
    return make_vowel(ipa, source, vowel_index, find_vowel(ipa));
}

Token make_vowel(std::string_view ipa, std::string_view source, std::int8_t vowel_index, const VowelRow* row) {
    Token t;
    t.ipa = ipa;
    t.source = source;
    if (row) t.vowel_features = VowelFeatures{row->height, row->backness, row->rounded, row->tense};
    t.type = TokenType::Vowel;
    t.vowel_index = vowel_index;
    return t;
}

Token make_glottal(std::string_view source) {
    Token t;
    t.ipa = "\u0294";
    t.source = source;
    t.type = TokenType::Glottal;
    return t;
}


}  // namespace lexovia
