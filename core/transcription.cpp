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
    char32_t lower[3];
    for (std::size_t pos = 0; pos < word.size();) {
        const std::size_t n = lowercase_code_point(utf8::decode_next(word, pos), lower);
        for (std::size_t i = 0; i < n; ++i) {
            chars.push_back(lower[i]);
            utf8::append(out.word, lower[i]);
        }
    }

    std::vector<Token> tokens = tokenize(std::u32string_view(chars));
    apply_palatalization(tokens);
    if (tokens.size() >= 2) apply_voicing(tokens);
    if (tokens.size() >= 2) apply_place_assimilation(tokens);
    if (tokens.size() >= 2) tokens = merge_affricates(tokens);
    mark_stress(tokens, stress_index);
    apply_vowel_allophones(tokens);
    apply_labial_glide(tokens);

    out.syllables = syllabify(tokens, stress_index);
    for (const Syllable& s : out.syllables) out.ipa += s.ipa;
    out.tokens = std::move(tokens);
    return out;
}

}  // namespace lexovia
