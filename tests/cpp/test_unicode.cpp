// Per-character lowercase mapping and the UTF-8 decoder the engine reads its
// input with.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/unicode_lower.hpp"
#include "core/utf8.hpp"

using namespace lexovia;

namespace {

std::u32string lower_of(char32_t c) {
    char32_t out[3] = {0, 0, 0};
    const std::size_t n = lowercase_code_point(c, out);
    return std::u32string(out, out + n);
}

std::string hex(const std::u32string& s) {
    std::string out;
    char buf[16];
    for (char32_t c : s) {
        std::snprintf(buf, sizeof buf, "%s%04X", out.empty() ? "" : " ", static_cast<unsigned>(c));
        out += buf;
    }
    return out;
}

std::vector<char32_t> decode_all(std::string_view bytes) {
    std::vector<char32_t> out;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t before = pos;
        out.push_back(utf8::decode_next(bytes, pos));
        // Every call consumes at least one byte and never runs past the end.
        EXPECT_GT(pos, before);
        EXPECT_LE(pos, bytes.size());
        if (pos <= before) break;
    }
    return out;
}

constexpr char32_t R = utf8::REPLACEMENT;

}  // namespace

TEST(Lowercase, CodePointTable) {
    struct Case {
        char32_t in;
        std::u32string out;
        const char* what;
    };
    const Case cases[] = {
        {U'A', U"a", "ASCII capital"},
        {U'Z', U"z", "ASCII capital, last"},
        {U'@', U"@", "just before A"},
        {U'[', U"[", "just after Z"},
        {U'a', U"a", "ASCII small"},
        {U'\0', std::u32string(1, U'\0'), "NUL"},
        {U'\u0410', U"\u0430", "Cyrillic А"},
        {U'\u042F', U"\u044F", "Cyrillic Я"},
        {U'\u0400', U"\u0450", "Cyrillic Ѐ"},
        {U'\u0401', U"\u0451", "Cyrillic Ё"},
        {U'\u0404', U"\u0454", "Ukrainian Є"},
        {U'\u0406', U"\u0456", "Ukrainian І"},
        {U'\u0407', U"\u0457", "Ukrainian Ї"},
        {U'\u040F', U"\u045F", "Cyrillic Џ"},
        {U'\u0490', U"\u0491", "Ukrainian Ґ"},
        {U'\u0491', U"\u0491", "ґ stays"},
        {U'\u0430', U"\u0430", "а stays"},
        {U'\u0450', U"\u0450", "ѐ stays"},
        {U'\u045F', U"\u045F", "џ stays"},
        {U'\u0460', U"\u0461", "Cyrillic Omega"},
        {U'\u04C0', U"\u04CF", "palochka"},
        {U'\u0500', U"\u0501", "Cyrillic Supplement"},
        {U'\u1C80', U"\u1C80", "small rounded ve has no lowercase"},
        {U'\u0391', U"\u03B1", "Greek Alpha"},
        {U'\u03A3', U"\u03C3", "capital sigma is always medial sigma"},
        {U'\u03C2', U"\u03C2", "final sigma stays"},
        {U'\u03F4', U"\u03B8", "capital theta symbol"},
        {U'\u0386', U"\u03AC", "Alpha with tonos"},
        {U'\u1F88', U"\u1F80", "Greek with prosgegrammeni"},
        {U'\u0130', U"\u0069\u0307", "dotted capital I expands to two"},
        {U'I', U"i", "dotless capital I"},
        {U'\u0131', U"\u0131", "dotless small i stays"},
        {U'\u1E9E', U"\u00DF", "capital sharp s"},
        {U'\u00DF', U"\u00DF", "sharp s stays"},
        {U'\u0178', U"\u00FF", "Y with diaeresis"},
        {U'\u01C4', U"\u01C6", "DŽ"},
        {U'\u01C5', U"\u01C6", "titlecase Dž"},
        {U'\u212A', U"k", "Kelvin sign"},
        {U'\u2126', U"\u03C9", "Ohm sign"},
        {U'\u212B', U"\u00E5", "Angstrom sign"},
        {U'\u2160', U"\u2170", "Roman numeral one"},
        {U'\u24B6', U"\u24D0", "circled A"},
        {U'\uFF21', U"\uFF41", "fullwidth A"},
        {U'\u10A0', U"\u2D00", "Georgian Asomtavruli first"},
        {U'\u10C5', U"\u2D25", "Georgian Asomtavruli last of run"},
        {U'\u10C7', U"\u2D27", "Georgian Asomtavruli YN"},
        {U'\u10CD', U"\u2D2D", "Georgian Asomtavruli AEN"},
        {U'\u1C90', U"\u10D0", "Georgian Mtavruli"},
        {U'\u1CBD', U"\u10FD", "Georgian Mtavruli AEN"},
        {U'\u10D0', U"\u10D0", "Georgian Mkhedruli stays"},
        {U'\u13A0', U"\uAB70", "Cherokee first"},
        {U'\u13EF', U"\uABBF", "Cherokee last of run"},
        {U'\u13F0', U"\u13F8", "Cherokee YE"},
        {U'\u13F5', U"\u13FD", "Cherokee MV"},
        {U'\uAB70', U"\uAB70", "Cherokee small stays"},
        {U'\u2C00', U"\u2C30", "Glagolitic"},
        {U'\u2C2F', U"\u2C5F", "Glagolitic Caudate Chrivi"},
        {U'\U00010400', U"\U00010428", "Deseret first"},
        {U'\U00010427', U"\U0001044F", "Deseret last"},
        {U'\U00010428', U"\U00010428", "Deseret small stays"},
        {U'\U000104B0', U"\U000104D8", "Osage"},
        {U'\U0001E900', U"\U0001E922", "Adlam"},
        {U'\uFFFD', U"\uFFFD", "replacement character"},
        {U'\U0010FFFF', U"\U0010FFFF", "last code point"},
    };
    for (const Case& c : cases) EXPECT_EQ(hex(lower_of(c.in)), hex(c.out)) << c.what;
}

TEST(Lowercase, Utf8Text) {
    struct Case {
        std::string_view in;
        std::string_view out;
    };
    const Case cases[] = {
        {"", ""},
        {"\u041C\u0410\u041C\u0410", "\u043C\u0430\u043C\u0430"},
        {"\u0490\u0430\u043D\u043E\u043A", "\u0491\u0430\u043D\u043E\u043A"},
        {"\u0130stanbul", "i\u0307stanbul"},
        // No final-sigma rule: every capital sigma becomes σ.
        {"\u039F\u0394\u039F\u03A3", "\u03BF\u03B4\u03BF\u03C3"},
        {"AB-12 x", "ab-12 x"},
        {"\xFF\u0414", "\uFFFD\u0434"},
        {"\xD0", "\uFFFD"},
    };
    for (const Case& c : cases) EXPECT_EQ(lowercase_utf8(c.in), c.out) << c.in;
}

TEST(Utf8, DecodeWellFormedAndIllFormed) {
    struct Case {
        std::string_view bytes;
        std::vector<char32_t> expected;
        const char* what;
    };
    const Case cases[] = {
        {"", {}, "empty"},
        {"a", {U'a'}, "ASCII"},
        {std::string_view("\0", 1), {U'\0'}, "NUL byte"},
        {"\x7F", {0x7F}, "last one-byte"},
        {"\xC2\x80", {0x80}, "first two-byte"},
        {"\xD0\xB0", {0x430}, "Cyrillic а"},
        {"\xDF\xBF", {0x7FF}, "last two-byte"},
        {"\xE0\xA0\x80", {0x800}, "first three-byte"},
        {"\xE2\x80\x99", {0x2019}, "right single quote"},
        {"\xED\x9F\xBF", {0xD7FF}, "just below the surrogates"},
        {"\xEE\x80\x80", {0xE000}, "just above the surrogates"},
        {"\xEF\xBF\xBD", {0xFFFD}, "a real U+FFFD"},
        {"\xF0\x90\x80\x80", {0x10000}, "first four-byte"},
        {"\xF4\x8F\xBF\xBF", {0x10FFFF}, "last code point"},
        {"\x80", {R}, "lone continuation byte"},
        {"\xBF\x41", {R, U'A'}, "continuation byte then ASCII"},
        {"\xC0\xAF", {R, R}, "overlong two-byte"},
        {"\xC1\xBF", {R, R}, "overlong two-byte, C1"},
        {"\xC2", {R}, "truncated two-byte at the end"},
        {"\xC2\x41", {R, U'A'}, "lead byte then ASCII"},
        {"\xD0\xD0\xB0", {R, 0x430}, "lead byte then a full sequence"},
        {"\xE0\x80\xAF", {R, R, R}, "overlong three-byte"},
        {"\xE0\xA0", {R, R}, "truncated three-byte"},
        {"\xE2\x28\xA1", {R, U'(', R}, "bad second byte"},
        {"\xED\xA0\x80", {R, R, R}, "high surrogate"},
        {"\xED\xBF\xBF", {R, R, R}, "low surrogate"},
        {"\xF0\x80\x80\xAF", {R, R, R, R}, "overlong four-byte"},
        {"\xF0\x9F\x98" "a", {R, R, R, U'a'}, "truncated four-byte before ASCII"},
        {"\xF4\x90\x80\x80", {R, R, R, R}, "above U+10FFFF"},
        {"\xF5\x80\x80\x80", {R, R, R, R}, "F5 lead byte"},
        {"\xF8\x88\x80\x80\x80", {R, R, R, R, R}, "five-byte form"},
        {"\xFE\xFF", {R, R}, "FE and FF"},
        {"\xD0\xBC\xFF\xD0\xB0", {0x43C, R, 0x430}, "bad byte inside a word"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(decode_all(c.bytes), c.expected);
    }
}

TEST(Utf8, AppendRoundTripsThroughDecode) {
    for (char32_t c : {U'\0', U'\x7F', U'\x80', U'\u07FF', U'\u0800', U'\u0456', U'\uD7FF', U'\uE000',
                       U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
        std::string s;
        utf8::append(s, c);
        EXPECT_EQ(s.size(), utf8::encoded_size(c)) << static_cast<unsigned>(c);
        std::size_t pos = 0;
        EXPECT_EQ(utf8::decode_next(s, pos), c);
        EXPECT_EQ(pos, s.size());
    }
}
