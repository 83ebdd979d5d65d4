// Helpers of the engine tests: writing token lists down compactly and
// reading them back as text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/phonetics.hpp"
#include "core/syllabifier.hpp"

namespace lexovia::test {

// Builds a token list from space-separated IPA: "ʔ" is a glottal stop, a
// VOWELS entry is a vowel (numbered in order), anything else goes through the
// consonant constructor ("j" thus becomes a glide). A trailing '*' sets the
// palatalized flag, a trailing '!' sets stressed.
inline std::vector<Token> parse(std::string_view text) {
    std::vector<Token> out;
    std::int8_t vowel = 0;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        std::string_view item = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        if (item.empty()) continue;
        bool soft = false;
        bool stressed = false;
        while (item.ends_with('*') || item.ends_with('!')) {
            (item.ends_with('*') ? soft : stressed) = true;
            item.remove_suffix(1);
        }
        Token t = item == "\u0294"     ? make_glottal("")
                  : find_vowel(item) ? make_vowel(item, "", vowel++)
                                     : make_consonant(item, "");
        t.palatalized = soft;
        t.stressed = stressed;
        out.push_back(std::move(t));
    }
    return out;
}

// Token IPA joined by spaces.
inline std::string join_ipa(const std::vector<Token>& ts) {
    std::string out;
    for (const Token& t : ts) {
        if (!out.empty()) out += ' ';
        out += t.ipa;
    }
    return out;
}

// Sources joined by '|'; an empty source shows as nothing between bars.
inline std::string join_sources(const std::vector<Token>& ts) {
    std::string out;
    for (std::size_t i = 0; i < ts.size(); ++i) {
        if (i) out += '|';
        out += ts[i].source;
    }
    return out;
}

// One letter per token: C consonant, V vowel, G glide, Q glottal stop.
inline std::string types(const std::vector<Token>& ts) {
    std::string out;
    for (const Token& t : ts) {
        switch (t.type) {
            case TokenType::Consonant: out += 'C'; break;
            case TokenType::Vowel: out += 'V'; break;
            case TokenType::Glide: out += 'G'; break;
            case TokenType::Glottal: out += 'Q'; break;
        }
    }
    return out;
}

// One digit per token: 1 where the token's palatalized flag is set.
inline std::string palatalized(const std::vector<Token>& ts) {
    std::string out;
    for (const Token& t : ts) out += t.palatalized ? '1' : '0';
    return out;
}

// Syllable ipa joined by '.', e.g. "mɑm.kɑ".
inline std::string cut(const std::vector<Syllable>& ss) {
    std::string out;
    for (std::size_t i = 0; i < ss.size(); ++i) {
        if (i) out += '.';
        out += ss[i].ipa;
    }
    return out;
}

}  // namespace lexovia::test
