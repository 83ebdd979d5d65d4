// Fuzzes the transcription engine and the word helpers of lookup with
// arbitrary bytes: the first byte is the stress index, the rest the word
// (ill-formed UTF-8 included, which the engine reads as U+FFFD).
//
// Besides the sanitizers, every result must hold together: at least one
// syllable, the syllables cutting the token list into consecutive non-empty
// ranges that cover it, the word's IPA being the syllables' IPA joined, the
// vowel tokens numbered in order, and adding a stress mark adding one U+0301
// for every vowel whose 8-bit ordinal is the stress index (the ordinal wraps
// after 255, so very long words get one every 256 vowels). The reading as
// speech (LabialGlide::Speech, the text layer's) must hold together too and
// differ from the word-level one only in ʋ kept where that made u̯.
// tests/fuzz/run.sh runs this target on long inputs with a short
// time limit per input, so a pass whose cost grows faster than the word's
// length (a backward scan restarted for every letter) ends the run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/dict/lookup.hpp"
#include "core/transcription.hpp"
#include "core/utf8.hpp"

using namespace lexovia;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr std::u32string_view MARKING_VOWELS = U"аеєиіїоуюяАЕЄИІЇОУЮЯ";
constexpr std::string_view ACUTE = "\xCC\x81";
constexpr std::string_view NON_SYLLABIC_U = "u\u032F";
constexpr std::string_view LABIODENTAL = "\u028B";

std::size_t count_acutes(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t at = text.find(ACUTE); at != std::string_view::npos; at = text.find(ACUTE, at + 1)) ++n;
    return n;
}

std::size_t marks_expected(std::string_view form, std::uint8_t stress) {
    std::size_t marks = 0;
    std::uint8_t ordinal = 0;
    for (std::size_t pos = 0; pos < form.size();) {
        if (MARKING_VOWELS.find(utf8::decode_next(form, pos)) == std::u32string_view::npos) continue;
        if (ordinal == stress) ++marks;
        ++ordinal;
    }
    return marks;
}

void check_consistent(const Transcription& t) {
    check(!t.syllables.empty());
    std::size_t next = 0;
    std::string joined;
    for (const Syllable& s : t.syllables) {
        check(s.token_begin == next);
        check(s.token_count > 0 || t.tokens.empty());
        next += s.token_count;
        joined += s.ipa;
    }
    check(next == t.tokens.size());
    check(joined == t.ipa);
    std::uint8_t vowel = 0;
    for (const Token& token : t.tokens) {
        if (token.type != TokenType::Vowel) continue;
        check(static_cast<std::uint8_t>(token.vowel_index) == vowel);
        ++vowel;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t stress = data[0];
    const std::string_view word(reinterpret_cast<const char*>(data + 1), size - 1);

    const Transcription t = transcribe(word, stress);
    check_consistent(t);

    // The text layer's reading as speech differs only where the word-level
    // rule made a non-syllabic u̯ of a ʋ that a vowel follows.
    const Transcription speech = transcribe(word, stress, {LabialGlide::Speech});
    check_consistent(speech);
    check(speech.word == t.word && speech.tokens.size() == t.tokens.size());
    for (std::size_t i = 0; i < t.tokens.size(); ++i) {
        if (speech.tokens[i] == t.tokens[i]) continue;
        check(t.tokens[i].ipa == NON_SYLLABIC_U && speech.tokens[i].ipa == LABIODENTAL);
        check(speech.tokens[i].source == t.tokens[i].source);
    }

    const std::string form = dict::normalize_word(word);
    const std::string marked = dict::add_stress_mark(form, stress);
    check(count_acutes(marked) == count_acutes(form) + marks_expected(form, stress));
    check(marked.size() == form.size() + ACUTE.size() * marks_expected(form, stress));
    return 0;
}
