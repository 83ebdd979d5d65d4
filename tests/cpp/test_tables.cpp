// Constant phoneme tables, shared sets and maps, token constructors and the
// small string helpers every pass relies on. Expected members are typed out
// here independently of the engine's own definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/palatalization.hpp"
#include "core/phonetics.hpp"

using namespace lexovia;

namespace {

using Strings = std::vector<std::string>;

template <std::size_t N>
Strings members_of(const PhoneSet<N>& set) {
    Strings out;
    for (std::string_view m : set.members()) out.emplace_back(m);
    std::sort(out.begin(), out.end());
    return out;
}

Strings sorted(Strings v) {
    std::sort(v.begin(), v.end());
    return v;
}

// A set holds exactly `expected`: same members, each found by contains(),
// nothing found for the listed near misses or for a member with a length mark.
template <std::size_t N>
void expect_exact_set(const PhoneSet<N>& set, const Strings& expected, const Strings& not_members) {
    EXPECT_EQ(set.size(), expected.size());
    EXPECT_EQ(members_of(set), sorted(expected));
    for (const std::string& m : expected) {
        EXPECT_TRUE(set.contains(m)) << m;
        EXPECT_FALSE(set.contains(m + "\u02D0")) << m << "ː";
    }
    for (const std::string& m : not_members) EXPECT_FALSE(set.contains(m)) << m;
    EXPECT_FALSE(set.contains(""));
}

struct ExpectedPair {
    std::string_view key;
    std::string_view value;
};

template <std::size_t N>
void expect_exact_map(const PhoneMap<N>& map, const std::vector<ExpectedPair>& expected,
                      const Strings& not_keys) {
    EXPECT_EQ(map.size(), expected.size());
    for (const ExpectedPair& p : expected) {
        const auto found = map.find(p.key);
        ASSERT_TRUE(found.has_value()) << p.key;
        EXPECT_EQ(*found, p.value) << p.key;
    }
    for (const std::string& k : not_keys) EXPECT_FALSE(map.find(k).has_value()) << k;
    EXPECT_FALSE(map.find("").has_value());
}

struct ExpectedConsonant {
    std::string_view ipa;
    std::string_view voiced;     // "" when absent
    std::string_view voiceless;  // "" when absent
    Manner manner;
    Place place;
    Voicing voicing;
    bool palatalized;
};

using M = Manner;
using P = Place;
using Vc = Voicing;

const std::vector<ExpectedConsonant> kConsonants = {
    {"b", "", "p", M::Stop, P::Labial, Vc::Voiced, false},
    {"p", "b", "", M::Stop, P::Labial, Vc::Voiceless, false},
    {"f", "", "", M::Fricative, P::Labial, Vc::Voiceless, false},
    {"d", "", "t", M::Stop, P::Alveolar, Vc::Voiced, false},
    {"t", "d", "", M::Stop, P::Alveolar, Vc::Voiceless, false},
    {"z", "", "s", M::Fricative, P::Alveolar, Vc::Voiced, false},
    {"s", "z", "", M::Fricative, P::Alveolar, Vc::Voiceless, false},
    {"d\u0361z", "", "t\u0361s", M::Affricate, P::Alveolar, Vc::Voiced, false},
    {"t\u0361s", "d\u0361z", "", M::Affricate, P::Alveolar, Vc::Voiceless, false},
    {"\u0261", "", "k", M::Stop, P::Velar, Vc::Voiced, false},
    {"k", "\u0261", "", M::Stop, P::Velar, Vc::Voiceless, false},
    {"x", "\u0266", "", M::Fricative, P::Velar, Vc::Voiceless, false},
    {"\u0266", "", "x", M::Fricative, P::Glottal, Vc::Voiced, false},
    {"\u0292", "", "\u0283", M::Fricative, P::Postalveolar, Vc::Voiced, false},
    {"\u0283", "\u0292", "", M::Fricative, P::Postalveolar, Vc::Voiceless, false},
    {"d\u0361\u0292", "", "t\u0361\u0283", M::Affricate, P::Postalveolar, Vc::Voiced, false},
    {"t\u0361\u0283", "d\u0361\u0292", "", M::Affricate, P::Postalveolar, Vc::Voiceless, false},
    {"m", "", "", M::Nasal, P::Labial, Vc::Sonorant, false},
    {"n", "", "", M::Nasal, P::Alveolar, Vc::Sonorant, false},
    {"l", "", "", M::Lateral, P::Alveolar, Vc::Sonorant, false},
    {"r", "", "", M::Trill, P::Alveolar, Vc::Sonorant, false},
    {"j", "", "", M::Approximant, P::Palatal, Vc::Sonorant, true},
    {"\u028B", "", "", M::Approximant, P::Labial, Vc::Sonorant, false},
    {"d\u02B2", "", "t\u02B2", M::Stop, P::Alveolar, Vc::Voiced, true},
    {"t\u02B2", "d\u02B2", "", M::Stop, P::Alveolar, Vc::Voiceless, true},
    {"z\u02B2", "", "s\u02B2", M::Fricative, P::Alveolar, Vc::Voiced, true},
    {"s\u02B2", "z\u02B2", "", M::Fricative, P::Alveolar, Vc::Voiceless, true},
    {"d\u0361z\u02B2", "", "t\u0361s\u02B2", M::Affricate, P::Alveolar, Vc::Voiced, true},
    {"t\u0361s\u02B2", "d\u0361z\u02B2", "", M::Affricate, P::Alveolar, Vc::Voiceless, true},
    {"n\u02B2", "", "", M::Nasal, P::Alveolar, Vc::Sonorant, true},
    {"l\u02B2", "", "", M::Lateral, P::Alveolar, Vc::Sonorant, true},
    {"r\u02B2", "", "", M::Trill, P::Alveolar, Vc::Sonorant, true},
    {"b\u02B2", "", "p\u02B2", M::Stop, P::Labial, Vc::Voiced, true},
    {"p\u02B2", "b\u02B2", "", M::Stop, P::Labial, Vc::Voiceless, true},
    {"m\u02B2", "", "", M::Nasal, P::Labial, Vc::Sonorant, true},
    {"f\u02B2", "", "", M::Fricative, P::Labial, Vc::Voiceless, true},
};

}  // namespace

TEST(Consonants, EveryRowHasItsColumns) {
    ASSERT_EQ(CONSONANTS.size(), kConsonants.size());
    for (const ExpectedConsonant& e : kConsonants) {
        SCOPED_TRACE(std::string(e.ipa));
        const ConsonantRow* row = find_consonant(e.ipa);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->ipa, e.ipa);
        EXPECT_EQ(row->voiced, e.voiced);
        EXPECT_EQ(row->voiceless, e.voiceless);
        EXPECT_EQ(row->manner, e.manner);
        EXPECT_EQ(row->place, e.place);
        EXPECT_EQ(row->voicing, e.voicing);
        EXPECT_EQ(row->palatalized, e.palatalized);
    }
}

TEST(Consonants, TableHoldsNoOtherRows) {
    for (const ConsonantRow& row : CONSONANTS) {
        const bool listed = std::any_of(kConsonants.begin(), kConsonants.end(),
                                        [&](const ExpectedConsonant& e) { return e.ipa == row.ipa; });
        EXPECT_TRUE(listed) << row.ipa;
        EXPECT_FALSE(!row.voiced.empty() && !row.voiceless.empty()) << row.ipa;
    }
}

TEST(Consonants, LookupIsExact) {
    // Look-alikes, marked forms and strings too long to be keys have no row.
    for (std::string_view ipa : {"g", "v", "w", "t\u02D0", "t\u02B2\u02D0", "n\u02B2\u02D0",
                                 "t\u0361\u0283\u02B2", "\u0294", "\u0251", "", "ts",
                                 "t\u0361s\u02B2\u02D0\u02D0"}) {
        EXPECT_EQ(find_consonant(ipa), nullptr) << ipa;
    }
}

TEST(Vowels, RowsHaveTheirFeatures) {
    struct Case {
        std::string_view ipa;
        Height height;
        Backness backness;
        bool rounded;
        bool tense;
    };
    const Case cases[] = {
        {"i", Height::Close, Backness::Front, false, true},
        {"\u026A", Height::NearClose, Backness::Front, false, false},
        {"\u025B", Height::Mid, Backness::Front, false, false},
        {"u", Height::Close, Backness::Back, true, true},
        {"\u0254", Height::Mid, Backness::Back, true, false},
        {"\u0251", Height::Open, Backness::Back, false, true},
    };
    ASSERT_EQ(VOWELS.size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.ipa));
        const VowelRow* row = find_vowel(c.ipa);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->height, c.height);
        EXPECT_EQ(row->backness, c.backness);
        EXPECT_EQ(row->rounded, c.rounded);
        EXPECT_EQ(row->tense, c.tense);
    }
    for (std::string_view ipa : {"a", "e", "o", "y", "\u025B\u031D", "i\u02D0", "", "\u0268"})
        EXPECT_EQ(find_vowel(ipa), nullptr) << ipa;
}

TEST(FeatureEnums, OrdinalsAreFixed) {
    struct Case {
        int actual;
        int expected;
    };
    const Case cases[] = {
        {int(TokenType::Consonant), 0}, {int(TokenType::Vowel), 1},
        {int(TokenType::Glide), 2},     {int(TokenType::Glottal), 3},
        {int(Manner::Stop), 0},         {int(Manner::Fricative), 1},
        {int(Manner::Affricate), 2},    {int(Manner::Trill), 3},
        {int(Manner::Lateral), 4},      {int(Manner::Nasal), 5},
        {int(Manner::Approximant), 6},  {int(Place::Labial), 0},
        {int(Place::Alveolar), 1},      {int(Place::Postalveolar), 2},
        {int(Place::Palatal), 3},       {int(Place::Velar), 4},
        {int(Place::Glottal), 5},       {int(Voicing::Voiceless), 0},
        {int(Voicing::Voiced), 1},      {int(Voicing::Sonorant), 2},
        {int(Height::Close), 0},        {int(Height::NearClose), 1},
        {int(Height::Mid), 2},          {int(Height::Open), 3},
        {int(Backness::Front), 0},      {int(Backness::Central), 1},
        {int(Backness::Back), 2},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].actual, cases[i].expected) << "case " << i;
}

TEST(TokenTypeName, IsTheVariantName) {
    EXPECT_EQ(token_type_name(TokenType::Consonant), "Consonant");
    EXPECT_EQ(token_type_name(TokenType::Vowel), "Vowel");
    EXPECT_EQ(token_type_name(TokenType::Glide), "Glide");
    EXPECT_EQ(token_type_name(TokenType::Glottal), "Glottal");
}

TEST(Sets, VoicedObstruents) {
    expect_exact_set(VOICED_OBSTRUENTS,
                     {"b", "d", "d\u02B2", "\u0261", "z", "z\u02B2", "\u0292", "\u0266", "d\u0361z",
                      "d\u0361z\u02B2", "d\u0361\u0292"},
                     {"b\u02B2", "g", "p", "t", "\u0292\u02B2", "d\u0361\u0292\u02B2", "m", "j",
                      "\u028B", "dz", "\u0261\u02B2"});
}

TEST(Sets, VoicelessObstruents) {
    expect_exact_set(VOICELESS_OBSTRUENTS,
                     {"p", "t", "t\u02B2", "k", "s", "s\u02B2", "\u0283", "x", "f", "t\u0361s",
                      "t\u0361s\u02B2", "t\u0361\u0283"},
                     {"p\u02B2", "f\u02B2", "k\u02B2", "\u0283\u02B2", "t\u0361\u0283\u02B2", "x\u02B2",
                      "h", "b", "ts"});
}

TEST(Sets, Sonorants) {
    expect_exact_set(SONORANTS,
                     {"m", "n", "n\u02B2", "l", "l\u02B2", "r", "r\u02B2", "\u028B", "j", "w",
                      "u\u032F"},
                     {"m\u02B2", "\u028B\u02B2", "j\u02B2", "u", "v", "w\u02B2", "\u0294"});
}

TEST(Sets, AlveolarsAndDentalsHoldTheSameEighteenMembers) {
    const Strings alveolars = {"d", "t", "z", "s", "d\u0361z", "t\u0361s", "n", "l", "r",
                               "d\u02B2", "t\u02B2", "z\u02B2", "s\u02B2", "d\u0361z\u02B2",
                               "t\u0361s\u02B2", "n\u02B2", "l\u02B2", "r\u02B2"};
    const Strings outside = {"\u0283", "\u0292", "t\u0361\u0283", "d\u0361\u0292", "j", "b", "k",
                             "\u0266", "m\u02B2"};
    expect_exact_set(ALVEOLARS, alveolars, outside);
    expect_exact_set(DENTALS, alveolars, outside);
}

TEST(Sets, AlveolarsAreTheAlveolarRowsOfTheConsonantTable) {
    for (const ExpectedConsonant& e : kConsonants)
        EXPECT_EQ(ALVEOLARS.contains(e.ipa), e.place == Place::Alveolar) << e.ipa;
}

TEST(Maps, SofteningPairs) {
    expect_exact_map(SOFTENING_PAIRS,
                     {{"d", "d\u02B2"},
                      {"t", "t\u02B2"},
                      {"z", "z\u02B2"},
                      {"s", "s\u02B2"},
                      {"d\u0361z", "d\u0361z\u02B2"},
                      {"t\u0361s", "t\u0361s\u02B2"},
                      {"l", "l\u02B2"},
                      {"n", "n\u02B2"},
                      {"r", "r\u02B2"}},
                     {"d\u02B2", "b", "m", "\u0283", "k", "j", "t\u02D0"});
}

TEST(Maps, VoicingPairsGoBothWays) {
    expect_exact_map(VOICING_PAIRS,
                     {{"b", "p"},
                      {"p", "b"},
                      {"d", "t"},
                      {"t", "d"},
                      {"z", "s"},
                      {"s", "z"},
                      {"d\u0361z", "t\u0361s"},
                      {"t\u0361s", "d\u0361z"},
                      {"\u0261", "k"},
                      {"k", "\u0261"},
                      {"x", "\u0266"},
                      {"\u0266", "x"},
                      {"\u0292", "\u0283"},
                      {"\u0283", "\u0292"},
                      {"d\u0361\u0292", "t\u0361\u0283"},
                      {"t\u0361\u0283", "d\u0361\u0292"},
                      {"d\u02B2", "t\u02B2"},
                      {"t\u02B2", "d\u02B2"},
                      {"z\u02B2", "s\u02B2"},
                      {"s\u02B2", "z\u02B2"},
                      {"d\u0361z\u02B2", "t\u0361s\u02B2"},
                      {"t\u0361s\u02B2", "d\u0361z\u02B2"},
                      {"b\u02B2", "p\u02B2"},
                      {"p\u02B2", "b\u02B2"}},
                     {"f", "f\u02B2", "m", "m\u02B2", "n", "j", "\u028B", "t\u02D0", "g"});
}

TEST(Apostrophes, ExactlyTheFiveCharacters) {
    for (char32_t c : {U'\u0027', U'\u02BC', U'\u2019', U'\u2018', U'\u0060'})
        EXPECT_TRUE(is_apostrophe(c)) << std::hex << static_cast<unsigned>(c);
    for (char32_t c : {U'"', U'\u00B4', U'\u02B9', U'\u02BB', U'\u201B', U'\u2032', U'\u0301', U'ь'})
        EXPECT_FALSE(is_apostrophe(c)) << std::hex << static_cast<unsigned>(c);
    EXPECT_EQ(APOSTROPHES.size(), 5u);
}

TEST(Constructors, ConsonantTakesFeaturesFromItsRow) {
    for (const ExpectedConsonant& e : kConsonants) {
        SCOPED_TRACE(std::string(e.ipa));
        const Token t = make_consonant(e.ipa, "\u0431");
        EXPECT_EQ(t.ipa, e.ipa);
        EXPECT_EQ(t.source, "\u0431");
        ASSERT_TRUE(t.consonant_features.has_value());
        const ConsonantFeatures expected{e.palatalized, e.manner == Manner::Nasal, e.voicing, e.place,
                                         e.manner};
        EXPECT_EQ(*t.consonant_features, expected);
        EXPECT_EQ(t.type, e.ipa == "j" ? TokenType::Glide : TokenType::Consonant);
        // The token's own flag is never set by a constructor.
        EXPECT_FALSE(t.palatalized);
        EXPECT_FALSE(t.stressed);
        EXPECT_FALSE(t.vowel_features.has_value());
        EXPECT_EQ(t.vowel_index, -1);
    }
}

TEST(Constructors, ConsonantWithoutRowHasNoFeatures) {
    for (std::string_view ipa : {"w", "u\u032F", "n\u02B2\u02D0", "t\u0361s\u02D0", "j\u02D0",
                                 "\u0251", "q"}) {
        SCOPED_TRACE(std::string(ipa));
        const Token t = make_consonant(ipa, "");
        EXPECT_EQ(t.ipa, ipa);
        EXPECT_FALSE(t.consonant_features.has_value());
        // Only exactly "j" makes a glide.
        EXPECT_EQ(t.type, TokenType::Consonant);
        EXPECT_EQ(t.vowel_index, -1);
    }
}

TEST(Constructors, VowelTakesFeaturesAndIndex) {
    const Token a = make_vowel("\u0251", "\u0430", 3);
    EXPECT_EQ(a.ipa, "\u0251");
    EXPECT_EQ(a.source, "\u0430");
    EXPECT_EQ(a.type, TokenType::Vowel);
    EXPECT_EQ(a.vowel_index, 3);
    ASSERT_TRUE(a.vowel_features.has_value());
    EXPECT_EQ(*a.vowel_features, (VowelFeatures{Height::Open, Backness::Back, false, true}));
    EXPECT_FALSE(a.consonant_features.has_value());
    EXPECT_FALSE(a.stressed);
    EXPECT_FALSE(a.palatalized);

    const Token u = make_vowel("u", "", -128);
    EXPECT_EQ(u.vowel_index, -128);
    ASSERT_TRUE(u.vowel_features.has_value());
    EXPECT_EQ(*u.vowel_features, (VowelFeatures{Height::Close, Backness::Back, true, true}));

    const Token raised = make_vowel("\u025B\u031D", "\u0435", 0);
    EXPECT_EQ(raised.type, TokenType::Vowel);
    EXPECT_FALSE(raised.vowel_features.has_value());
}

TEST(Constructors, GlottalStop) {
    const Token t = make_glottal("\u2019");
    EXPECT_EQ(t.ipa, "\u0294");
    EXPECT_EQ(t.source, "\u2019");
    EXPECT_EQ(t.type, TokenType::Glottal);
    EXPECT_EQ(t.vowel_index, -1);
    EXPECT_FALSE(t.consonant_features.has_value());
    EXPECT_FALSE(t.vowel_features.has_value());
    EXPECT_FALSE(t.stressed);
    EXPECT_FALSE(t.palatalized);
}

TEST(IpaKeys, PlainKeyDropsEveryPalatalAndLengthMark) {
    struct Case {
        std::string_view ipa;
        std::string_view key;
    };
    const Case cases[] = {
        {"t", "t"},
        {"t\u02B2", "t"},
        {"t\u02D0", "t"},
        {"t\u02B2\u02D0", "t"},
        {"n\u02B2\u02B2", "n"},
        {"s\u02D0\u02D0", "s"},
        {"t\u0361s\u02B2", "t\u0361s"},
        {"\u02B2\u02D0", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(IpaKey(c.ipa).plain(), c.key) << c.ipa;
}

TEST(IpaKeys, StripOneLengthMarkRemovesOnlyOne) {
    struct Case {
        std::string_view ipa;
        std::string_view key;
    };
    const Case cases[] = {
        {"s", "s"},
        {"s\u02D0", "s"},
        {"s\u02D0\u02D0", "s\u02D0"},
        {"n\u02B2\u02D0", "n\u02B2"},
        {"n\u02D0\u02B2", "n\u02D0\u02B2"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(IpaKey(c.ipa).without_length_mark().text(), c.key) << c.ipa;
    EXPECT_TRUE(ends_with_palatal_mark("n\u02B2"));
    EXPECT_FALSE(ends_with_palatal_mark("n\u02B2\u02D0"));
    EXPECT_FALSE(ends_with_palatal_mark(""));
}
