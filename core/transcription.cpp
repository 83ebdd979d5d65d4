#include "transcription.hpp"

#include "palatalization.hpp"
#include "place.hpp"
#include "tokenizer.hpp"
#include "unicode_lower.hpp"
#include "utf8.hpp"
#include "voicing.hpp"
#include "vowel_allophones.hpp"

namespace lexovia {

void mark_stress(std::vector<Token>& tokens, std::uint8_t stress_index) {
    for (Token& t : tokens)
        if (t.type == TokenType::Vowel && static_cast<std::uint8_t>(t.vowel_index) == stress_index)
            t.stressed = true;
}

Transcription transcribe(std::string_view word, std::uint8_t stress_index) {
    Transcription out;
    out.stress_index = stress_index;

    std::u32string chars;
    chars.reserve(word.size() + 2);
    out.word.reserve(word.size() + 2);
    for_each_lowercase(word, [&](char32_t c) {
        chars.push_back(c);
        utf8::append(out.word, c);
    });

    std::vector<Token> tokens = tokenize(std::u32string_view(chars));
    apply_palatalization(tokens);
    if (tokens.size() >= 2) apply_voicing(tokens);
    if (tokens.size() >= 2) apply_place_assimilation(tokens);
    if (tokens.size() >= 2) merge_affricates_in_place(tokens);
    mark_stress(tokens, stress_index);
    apply_vowel_allophones(tokens);
    apply_labial_glide(tokens);

    out.syllables = syllabify(tokens, stress_index);
    for (const Syllable& s : out.syllables) out.ipa += s.ipa;
    out.tokens = std::move(tokens);
    return out;
}

}  // namespace lexovia
