#include "core/transcription.hpp"

#include "core/palatalization.hpp"
#include "core/place.hpp"
#include "core/tokenizer.hpp"
#include "core/unicode_lower.hpp"
#include "core/utf8.hpp"
#include "core/voicing.hpp"

namespace lexovia {

void mark_stress(std::vector<Token>& tokens, std::uint8_t stress_index) {
    for (Token& t : tokens)
        if (t.type == TokenType::Vowel && static_cast<std::uint8_t>(t.vowel_index) == stress_index)
            t.stressed = true;
}

Transcription transcribe(std::string_view word, std::uint8_t stress_index, TranscriptionOptions options) {
    Transcription out;
    out.stress_index = stress_index;

    // The lowercased characters: on the stack, or on the heap for words
    // longer than the stack buffer.
    constexpr std::size_t STACK_CHARS = 64;
    char32_t stack[STACK_CHARS];
    std::u32string heap;
    std::size_t count = 0;
    out.word.reserve(word.size() + 2);
    for_each_lowercase(word, [&](char32_t c) {
        if (count < STACK_CHARS) {
            stack[count] = c;
        } else {
            if (count == STACK_CHARS) heap.assign(stack, STACK_CHARS);
            heap.push_back(c);
        }
        ++count;
        utf8::append(out.word, c);
    });
    const std::u32string_view lowered = count <= STACK_CHARS ? std::u32string_view(stack, count) : heap;

    std::vector<Token> tokens = tokenize(lowered);
    apply_palatalization(tokens);
    if (tokens.size() >= 2) apply_voicing(tokens);
    if (tokens.size() >= 2) apply_place_assimilation(tokens);
    if (tokens.size() >= 2) merge_affricates_in_place(tokens);
    mark_stress(tokens, stress_index);
    apply_vowel_allophones(tokens);
    apply_labial_glide(tokens, options.labial_glide);

    out.syllables = syllabify(tokens, stress_index);
    std::size_t ipa_size = 0;
    for (const Syllable& s : out.syllables) ipa_size += s.ipa.size();
    out.ipa.reserve(ipa_size);
    for (const Syllable& s : out.syllables) out.ipa += s.ipa;
    out.tokens = std::move(tokens);
    return out;
}

}  // namespace lexovia
