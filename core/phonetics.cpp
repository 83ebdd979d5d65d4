#include "phonetics.hpp"

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

const ConsonantRow* find_consonant(std::string_view ipa) {
    const std::uint64_t k = pack_ipa(ipa);
    if (k == 0) return nullptr;
    for (const ConsonantRow& row : CONSONANTS)
        if (pack_ipa(row.ipa) == k) return &row;
    return nullptr;
}

const VowelRow* find_vowel(std::string_view ipa) {
    for (const VowelRow& row : VOWELS)
        if (row.ipa == ipa) return &row;
    return nullptr;
}

ConsonantFeatures features_of(const ConsonantRow& row) {
    return ConsonantFeatures{row.palatalized, row.manner == Manner::Nasal, row.voicing, row.place,
                             row.manner};
}

Token make_consonant(std::string_view ipa, std::string_view source) {
    Token t;
    t.ipa = ipa;
    t.source = source;
    if (const ConsonantRow* row = find_consonant(ipa)) t.consonant_features = features_of(*row);
    t.type = ipa == "j" ? TokenType::Glide : TokenType::Consonant;
    return t;
}

Token make_vowel(std::string_view ipa, std::string_view source, std::int8_t vowel_index) {
    Token t;
    t.ipa = ipa;
    t.source = source;
    if (const VowelRow* row = find_vowel(ipa))
        t.vowel_features = VowelFeatures{row->height, row->backness, row->rounded, row->tense};
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

bool ends_with_palatal_mark(std::string_view ipa) { return ipa.ends_with(PALATAL_MARK); }

std::string_view strip_one_length_mark(std::string_view ipa) {
    if (ipa.ends_with(LENGTH_MARK)) ipa.remove_suffix(LENGTH_MARK.size());
    return ipa;
}

}  // namespace lexovia
