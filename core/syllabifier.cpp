#include "syllabifier.hpp"

namespace lexovia {
namespace {

std::string_view sonority_key(std::string_view ipa) {
    while (ipa.ends_with(PALATAL_MARK)) ipa.remove_suffix(PALATAL_MARK.size());
    while (ipa.ends_with(LENGTH_MARK)) ipa.remove_suffix(LENGTH_MARK.size());
    return ipa;
}

bool is_fricative(const Token& t) {
    return t.consonant_features && t.consonant_features->manner == Manner::Fricative;
}

std::size_t two_consonant_coda(const Token& c0, const Token& c1) {
    const bool s0 = is_sonorant(c0);
    const bool s1 = is_sonorant(c1);
    if (s0 && s1) return (c1.ipa == "j" || c1.ipa == "\u028B") ? 0 : 1;
    if (s0) return 1;
    if (s1) return 0;
    const bool v0 = is_voiced_obstruent(c0);
    const bool v1 = is_voiced_obstruent(c1);
    if (v0 != v1) return 1;
    if (!v0) return 0;
    return is_fricative(c0) != is_fricative(c1) ? 1 : 0;
}

Syllable make_syllable(std::span<const Token> tokens, std::size_t begin, std::size_t count) {
    Syllable s;
    s.token_begin = begin;
    s.token_count = count;
    for (const Token& t : tokens.subspan(begin, count)) {
        s.ipa += t.ipa;
        s.word += t.source;
    }
    return s;
}

}  // namespace

bool is_sonorant(const Token& t) {
    if (t.consonant_features) return t.consonant_features->voicing == Voicing::Sonorant;
    return SONORANTS.contains(sonority_key(t.ipa));
}

bool is_voiced_obstruent(const Token& t) {
    if (is_sonorant(t) || t.type == TokenType::Vowel || t.type == TokenType::Glottal) return false;
    return t.consonant_features && t.consonant_features->voicing == Voicing::Voiced;
}

std::size_t coda_length(std::span<const Token> cluster) {
    if (cluster.size() <= 1) return 0;
    if (cluster.size() >= 3) return is_sonorant(cluster[0]) ? 1 : 0;
    return two_consonant_coda(cluster[0], cluster[1]);
}

std::vector<Syllable> syllabify(std::span<const Token> tokens, std::uint8_t stress_index) {
    std::vector<std::size_t> vowels;
    for (std::size_t i = 0; i < tokens.size(); ++i)
        if (tokens[i].type == TokenType::Vowel) vowels.push_back(i);

    std::vector<Syllable> out;
    if (vowels.empty()) {
        out.push_back(make_syllable(tokens, 0, tokens.size()));
        return out;
    }
    out.reserve(vowels.size());
    std::size_t begin = 0;
    for (std::size_t k = 0; k < vowels.size(); ++k) {
        const std::size_t p = vowels[k];
        const bool last = k + 1 == vowels.size();
        const std::size_t q = last ? tokens.size() : vowels[k + 1];
        const std::span<const Token> cluster = tokens.subspan(p + 1, q - p - 1);
        const std::size_t coda = last ? cluster.size() : coda_length(cluster);
        const std::size_t end = p + 1 + coda;
        Syllable s = make_syllable(tokens, begin, end - begin);
        const Token& vowel = tokens[p];
        s.stressed = vowel.stressed && static_cast<std::uint8_t>(vowel.vowel_index) == stress_index;
        s.is_open = coda == 0;
        out.push_back(std::move(s));
        begin = end;
    }
    return out;
}

}  // namespace lexovia
