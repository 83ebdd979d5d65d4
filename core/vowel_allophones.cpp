#include "core/vowel_allophones.hpp"

#include <algorithm>

namespace lexovia {
namespace {

struct Allophone {
    std::string_view vowel;
    std::string_view replacement;
};

constexpr Allophone ALLOPHONES[] = {
    {"\u025B", "\u025B\u031D"},  // ɛ raised
    {"\u026A", "\u026A\u031E"},  // ɪ lowered
    {"\u0254", "\u0254\u031D"},  // ɔ raised
};

constexpr std::string_view LABIODENTAL = "\u028B";
constexpr std::string_view LABIAL_VELAR = "w";
constexpr std::string_view NON_SYLLABIC_U = "u\u032F";

void make_non_syllabic(Token& t) {
    t.ipa = NON_SYLLABIC_U;
    t.type = TokenType::Glide;
}

// Whether a vowel is the next sound from position i: directly, or after the
// apostrophe's glottal stop and the "j" of an iotated vowel (кров'ю), which
// belong to the same syllable onset as the vowel.
bool vowel_follows(const std::vector<Token>& tokens, std::size_t i) {
    const std::size_t n = tokens.size();
    if (i < n && tokens[i].type == TokenType::Glottal) ++i;
    if (i < n && tokens[i].type == TokenType::Glide && tokens[i].ipa == "j") ++i;
    return i < n && tokens[i].type == TokenType::Vowel;
}

}  // namespace

void apply_vowel_allophones(std::vector<Token>& tokens) {
    const auto stressed = std::find_if(tokens.begin(), tokens.end(), [](const Token& t) {
        return t.type == TokenType::Vowel && t.stressed;
    });
    if (stressed == tokens.end() || (stressed->ipa != "i" && stressed->ipa != "u")) return;
    for (auto it = stressed; it != tokens.begin();) {
        --it;
        if (it->type != TokenType::Vowel) continue;
        for (const Allophone& a : ALLOPHONES) {
            if (it->ipa == a.vowel) {
                it->ipa = a.replacement;
                if (it->vowel_features) it->vowel_features->height = Height::NearClose;
                break;
            }
        }
        return;
    }
}

void apply_labial_glide(std::vector<Token>& tokens, LabialGlide reading) {
    const std::size_t n = tokens.size();
    for (std::size_t i = 1; i < n; ++i) {
        Token& t = tokens[i];
        if (t.ipa != LABIODENTAL || tokens[i - 1].type != TokenType::Vowel) continue;
        if (reading == LabialGlide::Speech && vowel_follows(tokens, i + 1)) continue;
        if (i + 1 == n) {
            make_non_syllabic(t);
        } else if (tokens[i + 1].type == TokenType::Consonant) {
            t.ipa = LABIAL_VELAR;
        } else if (std::none_of(tokens.begin() + static_cast<std::ptrdiff_t>(i) + 1, tokens.end(),
                                [](const Token& u) { return u.type == TokenType::Consonant; })) {
            make_non_syllabic(t);
        }
    }
}

}  // namespace lexovia
