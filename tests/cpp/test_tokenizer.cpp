// Tokenizer: letters to sound tokens, including soft sign, iotated vowels,
// affricate digraphs with their blocking prefixes, apostrophes, the 8-bit
// vowel counter and the final geminate merge.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/tokenizer.hpp"

#include "token_lists.hpp"

using namespace lexovia;
using namespace lexovia::test;

namespace {

struct WordCase {
    std::string_view word;
    std::string_view ipa;      // token ipa joined by spaces
    std::string_view sources;  // token sources joined by '|'
    std::string_view types;
    std::string_view palatalized;
};

const WordCase kWords[] = {
    // Affricate digraphs and the prefixes that block them.
    {"джерело", "d\u0361\u0292 \u025B r \u025B l \u0254", "дж|е|р|е|л|о", "CVCVCV", "000000"},
    {"ходжу", "x \u0254 d\u0361\u0292 u", "х|о|дж|у", "CVCV", "0000"},
    {"дзвін", "d\u0361z \u028B i n", "дз|в|і|н", "CCVC", "0000"},
    {"віджати", "\u028B i d \u0292 \u0251 t \u026A", "в|і|д|ж|а|т|и", "CVCCVCV", "0000000"},
    {"піджак", "p i d \u0292 \u0251 k", "п|і|д|ж|а|к", "CVCCVC", "000000"},
    {"надзвичайно", "n \u0251 d z \u028B \u026A t\u0361\u0283 \u0251 j n \u0254",
     "н|а|д|з|в|и|ч|а|й|н|о", "CVCCCVCVGCV", "00000000000"},
    {"передзвін", "p \u025B r \u025B d z \u028B i n", "п|е|р|е|д|з|в|і|н", "CVCVCCCVC", "000000000"},
    {"переджати", "p \u025B r \u025B d \u0292 \u0251 t \u026A", "п|е|р|е|д|ж|а|т|и", "CVCVCCVCV",
     "000000000"},
    {"відзначити", "\u028B i d z n \u0251 t\u0361\u0283 \u026A t \u026A", "в|і|д|з|н|а|ч|и|т|и",
     "CVCCCVCVCV", "0000000000"},
    // The prefix must begin the word: here д is at position 4 of "завіджати".
    {"завіджати", "z \u0251 \u028B i d\u0361\u0292 \u0251 t \u026A", "з|а|в|і|дж|а|т|и", "CVCVCVCV",
     "00000000"},
    // д at position 2 pairs with the next д, so the д at 3 joins з.
    {"наддзвінок", "n \u0251 d d\u0361z \u028B i n \u0254 k", "н|а|д|дз|в|і|н|о|к", "CVCCCVCVC",
     "000000000"},
    // щ gives two sounds, the second with an empty source.
    {"щука", "\u0283 t\u0361\u0283 u k \u0251", "щ||у|к|а", "CCVCV", "00000"},
    // Soft sign.
    {"день", "d \u025B n\u02B2", "д|е|нь", "CVC", "001"},
    {"ь", "", "", "", ""},
    {"ьа", "\u0251", "а", "V", "0"},
    {"аь", "\u0251", "а", "V", "0"},
    {"щь", "\u0283 t\u0361\u0283\u02B2", "щ|ь", "CC", "01"},
    // ь passes over a consonant that is already soft and softens an earlier one.
    {"сньь", "s\u02B2 n\u02B2", "сь|нь", "CC", "11"},
    // ь passes over glides and glottal stops.
    {"сйь", "s\u02B2 j", "сь|й", "CG", "10"},
    {"с'ь", "s\u02B2 \u0294", "сь|'", "CQ", "10"},
    // Iotated vowels after a consonant soften it and keep their letter as source.
    {"ля", "l\u02B2 \u0251", "л|я", "CV", "10"},
    {"мя", "m\u02B2 \u0251", "м|я", "CV", "10"},
    {"тю", "t\u02B2 u", "т|ю", "CV", "10"},
    {"сє", "s\u02B2 \u025B", "с|є", "CV", "10"},
    // Iotated vowels with a glide: word start, after a vowel, ь or apostrophe; ї always.
    {"я", "j \u0251", "я|", "GV", "00"},
    {"ю", "j u", "ю|", "GV", "00"},
    {"є", "j \u025B", "є|", "GV", "00"},
    {"дія", "d i j \u0251", "д|і|я|", "CVGV", "0000"},
    {"їжак", "j i \u0292 \u0251 k", "ї||ж|а|к", "GVCVC", "00000"},
    {"заїзд", "z \u0251 j i z d", "з|а|ї||з|д", "CVGVCC", "000000"},
    {"зї", "z j i", "з|ї|", "CGV", "000"},
    {"досьє", "d \u0254 s\u02B2 j \u025B", "д|о|сь|є|", "CVCGV", "00100"},
    {"ья", "j \u0251", "я|", "GV", "00"},
    {"нья", "n\u02B2 j \u0251", "нь|я|", "CGV", "100"},
    {"сім'я", "s i m \u0294 j \u0251", "с|і|м|'|я|", "CVCQGV", "000000"},
    {"в'ю", "\u028B \u0294 j u", "в|'|ю|", "CQGV", "0000"},
    {"'я", "\u0294 j \u0251", "'|я|", "QGV", "000"},
    {"я'", "j \u0251 \u0294", "я||'", "GVQ", "000"},
    // Not iotated after a hyphen, digit or Latin letter: the scan stops at the
    // last consonant and leaves it alone when it is soft already...
    {"будь-який", "b u d\u02B2 \u0251 k \u026A j", "б|у|дь|я|к|и|й", "CVCVCVG", "0010000"},
    {"сть-я", "s t\u02B2 \u0251", "с|ть|я", "CCV", "010"},
    // ...but passes over glides and vowels to reach it.
    {"сй-я", "s\u02B2 j \u0251", "с|й|я", "CGV", "100"},
    {"са-я", "s\u02B2 \u0251 \u0251", "с|а|я", "CVV", "100"},
    {"кxя", "k\u02B2 \u0251", "к|я", "CV", "10"},
    {"1я", "\u0251", "я", "V", "0"},
    {"й-я", "j \u0251", "й|я", "GV", "00"},
    // Characters outside the letter tables give nothing.
    {"ab-1 ", "", "", "", ""},
    {"ъыэё", "", "", "", ""},
    {"g", "", "", "", ""},
    {"ґанок", "\u0261 \u0251 n \u0254 k", "ґ|а|н|о|к", "CVCVC", "00000"},
    {"й", "j", "й", "G", "0"},
    // Geminates.
    {"знання", "z n \u0251 n\u02B2\u02D0 \u0251", "з|н|а|нн|я", "CCVCV", "00010"},
    {"життя", "\u0292 \u026A t\u02B2\u02D0 \u0251", "ж|и|тт|я", "CVCV", "0010"},
    {"ввічливий", "\u028B\u02D0 i t\u0361\u0283 l \u026A \u028B \u026A j", "вв|і|ч|л|и|в|и|й",
     "CVCCVCVG", "00000000"},
    {"ссс", "s\u02D0 s", "сс|с", "CC", "00"},
    {"сссс", "s\u02D0 s\u02D0", "сс|сс", "CC", "00"},
    {"ннь", "n\u02B2\u02D0", "ннь", "C", "1"},
    {"ньн", "n\u02B2\u02D0", "ньн", "C", "1"},
    {"йй", "j\u02D0", "йй", "G", "0"},
    {"аа", "\u0251 \u0251", "а|а", "VV", "00"},
    {"''", "\u0294 \u0294", "'|'", "QQ", "00"},
    {"сз", "s z", "с|з", "CC", "00"},
};

}  // namespace

TEST(Tokenize, Words) {
    for (const WordCase& c : kWords) {
        SCOPED_TRACE(std::string(c.word));
        const std::vector<Token> ts = tokenize(c.word);
        EXPECT_EQ(join_ipa(ts), c.ipa);
        EXPECT_EQ(join_sources(ts), c.sources);
        EXPECT_EQ(types(ts), c.types);
        EXPECT_EQ(palatalized(ts), c.palatalized);
        // Vowels are numbered in order; nothing else carries an index, and the
        // tokenizer never marks stress.
        std::int8_t next = 0;
        for (const Token& t : ts) {
            EXPECT_EQ(t.vowel_index, t.type == TokenType::Vowel ? next++ : -1) << t.ipa;
            EXPECT_FALSE(t.stressed);
        }
    }
}

TEST(Tokenize, AllApostropheCharactersGiveAGlottalStop) {
    for (std::string_view apostrophe : {"'", "\u02BC", "\u2019", "\u2018", "`"}) {
        const std::string word = "сім" + std::string(apostrophe) + "я";
        SCOPED_TRACE(word);
        const std::vector<Token> ts = tokenize(word);
        EXPECT_EQ(join_ipa(ts), "s i m \u0294 j \u0251");
        EXPECT_EQ(join_sources(ts), "с|і|м|" + std::string(apostrophe) + "|я|");
        EXPECT_EQ(types(ts), "CVCQGV");
    }
}

TEST(Tokenize, CodePointAndUtf8EntryPointsAgree) {
    EXPECT_EQ(tokenize(std::string_view("сім'я")), tokenize(std::u32string_view(U"сім'я")));
    EXPECT_EQ(tokenize(std::string_view("переджати")), tokenize(std::u32string_view(U"переджати")));
}

TEST(Tokenize, IllFormedBytesGiveNoToken) {
    const std::vector<Token> ts = tokenize(std::string_view("\xFF\xD0\xBC\xC0\xD0\xB0"));
    EXPECT_EQ(join_ipa(ts), "m \u0251");
}

TEST(Tokenize, SoftenedConsonantFeaturesArePalatalized) {
    struct Case {
        std::string_view word;
        std::size_t index;
        ConsonantFeatures features;
    };
    const Case cases[] = {
        // ь after н
        {"день", 2, {true, true, Voicing::Sonorant, Place::Alveolar, Manner::Nasal}},
        // я after л
        {"ля", 0, {true, false, Voicing::Sonorant, Place::Alveolar, Manner::Lateral}},
        // я after в: a labial gets the mark too
        {"свято", 1, {true, false, Voicing::Sonorant, Place::Labial, Manner::Approximant}},
        // ь after щ's second sound, which has no row once marked
        {"щь", 1, {true, false, Voicing::Voiceless, Place::Postalveolar, Manner::Affricate}},
        // geminate of н + softened н: features of the second
        {"знання", 3, {true, true, Voicing::Sonorant, Place::Alveolar, Manner::Nasal}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word));
        const std::vector<Token> ts = tokenize(c.word);
        ASSERT_LT(c.index, ts.size());
        ASSERT_TRUE(ts[c.index].consonant_features.has_value());
        EXPECT_EQ(*ts[c.index].consonant_features, c.features);
        EXPECT_TRUE(ts[c.index].palatalized);
    }
    // The glide keeps the constructor's flags: features palatalized, token not.
    const std::vector<Token> ya = tokenize("я");
    ASSERT_EQ(ya.size(), 2u);
    EXPECT_FALSE(ya[0].palatalized);
    ASSERT_TRUE(ya[0].consonant_features.has_value());
    EXPECT_TRUE(ya[0].consonant_features->palatalized);
    // Vowel tokens carry their features.
    ASSERT_TRUE(ya[1].vowel_features.has_value());
    EXPECT_EQ(ya[1].vowel_features->height, Height::Open);
}

TEST(Tokenize, VowelCounterWrapsAtEightBits) {
    std::string word;
    for (int i = 0; i < 300; ++i) word += "а";
    const std::vector<Token> ts = tokenize(word);
    ASSERT_EQ(ts.size(), 300u);
    struct Case {
        std::size_t position;
        int index;
    };
    const Case cases[] = {{0, 0},    {1, 1},   {126, 126}, {127, 127}, {128, -128},
                          {129, -127}, {254, -2}, {255, -1},  {256, 0},   {257, 1}, {299, 43}};
    for (const Case& c : cases) EXPECT_EQ(ts[c.position].vowel_index, c.index) << c.position;
}

TEST(Tokenize, VowelCounterIncludesIotatedVowels) {
    const std::vector<Token> ts = tokenize("аяюїо");
    ASSERT_EQ(join_ipa(ts), "\u0251 j \u0251 j u j i \u0254");
    const int expected[] = {0, -1, 1, -1, 2, -1, 3, 4};
    for (std::size_t i = 0; i < ts.size(); ++i) EXPECT_EQ(ts[i].vowel_index, expected[i]) << i;
}

TEST(Tokenize, ReservesFourMoreTokensThanCharacters) {
    for (std::u32string_view word : {std::u32string_view(U"ш"), std::u32string_view(U"мама"),
                                     std::u32string_view(U"щщщщ"), std::u32string_view(U"")}) {
        EXPECT_GE(tokenize(word).capacity(), word.size() + 4) << word.size();
    }
}

// merge_geminates on its own, with hand-built token lists.
TEST(MergeGeminates, PairsOfEqualConsonants) {
    struct Case {
        std::string_view in;
        std::string_view out;
        std::string_view palatalized;
    };
    const Case cases[] = {
        {"t t", "t\u02D0", "0"},
        {"t t\u02B2*", "t\u02B2\u02D0", "1"},
        {"t\u02B2* t", "t\u02B2\u02D0", "1"},
        {"t\u02B2* t\u02B2*", "t\u02B2\u02D0", "1"},
        // Softness comes from the flags, not from the marks in the ipa.
        {"t\u02B2 t\u02B2", "t\u02D0", "0"},
        // Only one trailing mark is removed to find the base.
        {"t\u02B2\u02B2 t\u02B2", "t\u02B2\u02B2 t\u02B2", "00"},
        {"t t t", "t\u02D0 t", "00"},
        {"t t t t", "t\u02D0 t\u02D0", "00"},
        {"n n\u02B2* \u0251", "n\u02B2\u02D0 \u0251", "10"},
        {"j j", "j\u02D0", "0"},
        {"\u0251 \u0251", "\u0251 \u0251", "00"},
        {"\u0294 \u0294", "\u0294 \u0294", "00"},
        {"t \u0251 t", "t \u0251 t", "000"},
        {"t \u0294 t", "t \u0294 t", "000"},
        {"s z", "s z", "00"},
        {"t\u02D0 t", "t\u02D0 t", "00"},
        {"", "", ""},
        {"t", "t", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.in));
        const std::vector<Token> out = merge_geminates(parse(c.in));
        EXPECT_EQ(join_ipa(out), c.out);
        EXPECT_EQ(palatalized(out), c.palatalized);
    }
}

TEST(MergeGeminates, ConsonantBeforeAGlottalTokenWithTheSameIpaStaysApart) {
    std::vector<Token> in = {make_consonant("\u0294", "x"), make_glottal("'")};
    EXPECT_EQ(merge_geminates(in).size(), 2u);
    // A vowel with a consonant's ipa never merges with the consonant after it.
    in = {make_vowel("t", "", 0), make_consonant("t", "")};
    EXPECT_EQ(merge_geminates(in).size(), 2u);
}

TEST(MergeGeminates, MergedTokenFields) {
    const ConsonantFeatures t_row{false, false, Voicing::Voiceless, Place::Alveolar, Manner::Stop};
    const ConsonantFeatures tj_row{true, false, Voicing::Voiceless, Place::Alveolar, Manner::Stop};

    // Second one soft with features: its features are used.
    {
        Token b = make_consonant("t\u02B2", "я");
        b.palatalized = true;
        const auto out = merge_geminates({make_consonant("t", "т"), b});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].source, "тя");
        EXPECT_TRUE(out[0].palatalized);
        EXPECT_EQ(out[0].consonant_features, tj_row);
    }
    // First one soft, second plain: the first's features, marked palatalized.
    {
        Token a = make_consonant("t", "ть");
        a.ipa = "t\u02B2";
        a.palatalized = true;
        a.consonant_features->voicing = Voicing::Voiced;  // tells a's features from b's
        const auto out = merge_geminates({a, make_consonant("t", "т")});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].ipa, "t\u02B2\u02D0");
        EXPECT_EQ(out[0].source, "тьт");
        EXPECT_EQ(out[0].consonant_features,
                  (ConsonantFeatures{true, false, Voicing::Voiced, Place::Alveolar, Manner::Stop}));
    }
    // First one soft without features: none appear.
    {
        Token a = make_consonant("q\u02B2", "");
        a.palatalized = true;
        const auto out = merge_geminates({a, make_consonant("q", "")});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].ipa, "q\u02B2\u02D0");
        EXPECT_FALSE(out[0].consonant_features.has_value());
    }
    // Second one soft without features: the first's features stay as they are.
    {
        Token b;
        b.ipa = "t\u0361\u0283\u02B2";
        b.palatalized = true;
        const auto out = merge_geminates({make_consonant("t\u0361\u0283", ""), b});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].ipa, "t\u0361\u0283\u02B2\u02D0");
        EXPECT_TRUE(out[0].palatalized);
        EXPECT_EQ(out[0].consonant_features,
                  (ConsonantFeatures{false, false, Voicing::Voiceless, Place::Postalveolar,
                                     Manner::Affricate}));
    }
    // Neither soft: the first's features.
    {
        Token b = make_consonant("t", "");
        b.consonant_features->voicing = Voicing::Voiced;
        const auto out = merge_geminates({make_consonant("t", ""), b});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].consonant_features, t_row);
    }
    // Type comes from the first token.
    {
        Token b = make_consonant("j", "й");
        b.type = TokenType::Consonant;
        const auto glide_first = merge_geminates({make_consonant("j", "й"), b});
        ASSERT_EQ(glide_first.size(), 1u);
        EXPECT_EQ(glide_first[0].type, TokenType::Glide);
        const auto consonant_first = merge_geminates({b, make_consonant("j", "й")});
        ASSERT_EQ(consonant_first.size(), 1u);
        EXPECT_EQ(consonant_first[0].type, TokenType::Consonant);
    }
}
