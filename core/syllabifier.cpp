#include "core/syllabifier.hpp"

namespace lexovia {
namespace {

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
    const auto part = tokens.subspan(begin, count);
    std::size_t ipa_size = 0, word_size = 0;
    for (const Token& t : part) ipa_size += t.ipa.size(), word_size += t.source.size();
    s.ipa.reserve(ipa_size);
    s.word.reserve(word_size);
    for (const Token& t : part) {
        s.ipa += t.ipa;
        s.word += t.source;
    }
    return s;
}

// Position of the first vowel token at or after from, or tokens.size().
std::size_t next_vowel(std::span<const Token> tokens, std::size_t from) {
    while (from < tokens.size() && tokens[from].type != TokenType::Vowel) ++from;
    return from;
}

}  // namespace

bool is_sonorant(const Token& t) {
    if (t.consonant_features) return t.consonant_features->voicing == Voicing::Sonorant;
    return SONORANTS.contains(IpaKey(t.ipa).sonority_base().text());
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
    std::vector<Syllable> out;
    std::size_t p = next_vowel(tokens, 0);
    if (p == tokens.size()) {
        out.push_back(make_syllable(tokens, 0, tokens.size()));
        return out;
    }
    std::size_t vowel_count = 0;
    for (const Token& t : tokens) vowel_count += t.type == TokenType::Vowel;
    out.reserve(vowel_count);
    std::size_t begin = 0;
    for (; p < tokens.size();) {
        const std::size_t q = next_vowel(tokens, p + 1);
        const bool last = q == tokens.size();
        const std::span<const Token> cluster = tokens.subspan(p + 1, q - p - 1);
        const std::size_t coda = last ? cluster.size() : coda_length(cluster);
        const std::size_t end = p + 1 + coda;
        Syllable s = make_syllable(tokens, begin, end - begin);
        const Token& vowel = tokens[p];
        s.stressed = vowel.stressed && static_cast<std::uint8_t>(vowel.vowel_index) == stress_index;
        s.is_open = coda == 0;
        out.push_back(std::move(s));
        begin = end;
        p = q;
    }
    return out;
}

}  // namespace lexovia
