// Lookup and marking on small dictionaries written for each test: grouping
// of records into readings, index resolution, the one-vowel shortcut,
// normalisation of the query and placement of the stress mark.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/dict/image_decoder.hpp"
#include "core/dict/lookup.hpp"
#include "core/unicode_lower.hpp"
#include "core/transcription.hpp"
#include "image_builder.hpp"

using namespace lexovia;
using namespace lexovia::dict;
using namespace lexovia::testing;

namespace {

const std::string ACUTE = "\u0301";
const std::string STRESS = "\u02C8";  // ˈ

// The dictionary of c, its entries put in key order first.
Dictionary dictionary_of(ImageContent c) {
    std::stable_sort(c.entries.begin(), c.entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    return decode_image(encode(c));
}

// A record told apart from the others by its lemma index.
Record with_positions(std::vector<std::uint8_t> positions, std::uint32_t lemma) {
    return {std::move(positions), {0}, {}, lemma, std::nullopt};
}

MorphAnalysis noun(std::string_view lemma) { return {{"NOUN"}, {}, lemma, std::nullopt}; }

ImageContent base_tables() {
    ImageContent c;
    c.pos_tags = {"NOUN", "VERB"};
    c.feature_keys = {"Case", "Number"};
    c.feature_values = {"Nom", "Acc", "Plur"};
    c.lemmas = {"R1", "R2", "R3", "R4"};
    c.definitions = {"castle"};
    return c;
}

std::vector<std::string> stressed_forms(const LookupResult& r) {
    std::vector<std::string> out;
    for (const Reading& reading : r.readings) out.push_back(reading.stressed_form);
    return out;
}

// The phonetic fields of a reading are the transcription of its form at
// its stress position.
void expect_transcription_of(const Reading& r, std::uint8_t position) {
    const Transcription t = transcribe(r.form, position);
    EXPECT_EQ(r.ipa, t.ipa);
    EXPECT_EQ(r.tokens, t.tokens);
    ASSERT_EQ(r.syllable_count, t.syllables.size());
    ASSERT_EQ(r.word_syllables.size(), t.syllables.size());
    ASSERT_EQ(r.ipa_syllables.size(), t.syllables.size());
    for (std::size_t i = 0; i < t.syllables.size(); ++i) {
        EXPECT_EQ(r.word_syllables[i], t.syllables[i].word);
        EXPECT_EQ(r.ipa_syllables[i], (t.syllables[i].stressed ? STRESS : "") + t.syllables[i].ipa);
    }
    EXPECT_EQ(r.stress_from_end + r.syllable_index, r.syllable_count);
}

// ---------------------------------------------------------------------------
// Grouping records into readings

TEST(Lookup, RecordsAreGroupedByStressPosition) {
    ImageContent c = base_tables();
    c.entries = {{"замок",
                  {with_positions({1}, 0), with_positions({0}, 1), with_positions({1}, 2),
                   with_positions({0, 1}, 3)}}};
    const Dictionary d = dictionary_of(c);
    const LookupResult r = lookup(d, "замок");
    EXPECT_EQ(r.form, "замок");
    ASSERT_EQ(r.readings.size(), 2u);
    EXPECT_EQ(stressed_forms(r), (std::vector<std::string>{"за" + ACUTE + "мок", "замо" + ACUTE + "к"}));

    const Reading& first = r.readings[0];
    const Reading& second = r.readings[1];
    EXPECT_EQ(first.morph, (std::vector<MorphAnalysis>{noun("R2"), noun("R4")}));
    EXPECT_EQ(second.morph, (std::vector<MorphAnalysis>{noun("R1"), noun("R3"), noun("R4")}));
    EXPECT_EQ(first.confidence, std::nullopt);
    EXPECT_EQ(second.confidence, std::nullopt);
    for (const Reading& reading : r.readings) EXPECT_EQ(reading.form, "замок");

    EXPECT_EQ((std::vector<std::uint64_t>{first.syllable_index, first.stress_from_end, first.syllable_count}),
              (std::vector<std::uint64_t>{0, 2, 2}));
    EXPECT_EQ((std::vector<std::uint64_t>{second.syllable_index, second.stress_from_end, second.syllable_count}),
              (std::vector<std::uint64_t>{1, 1, 2}));
    EXPECT_EQ(first.ipa_syllables, (std::vector<std::string>{"ˈzɑ", "mɔk"}));
    EXPECT_EQ(second.ipa_syllables, (std::vector<std::string>{"zɑ", "ˈmɔk"}));
    EXPECT_EQ(first.word_syllables, (std::vector<std::string>{"за", "мок"}));
    expect_transcription_of(first, 0);
    expect_transcription_of(second, 1);
}

TEST(Lookup, ReadingsComeInAscendingPositionWhateverTheStoredOrder) {
    ImageContent c = base_tables();
    c.entries = {{"молоко", {with_positions({2, 0}, 0), with_positions({1}, 1), with_positions({2}, 2)}}};
    const Dictionary d = dictionary_of(c);
    const LookupResult r = lookup(d, "молоко");
    EXPECT_EQ(stressed_forms(r), (std::vector<std::string>{"мо" + ACUTE + "локо", "моло" + ACUTE + "ко",
                                                             "молоко" + ACUTE}));
    ASSERT_EQ(r.readings.size(), 3u);
    EXPECT_EQ(r.readings[0].morph, std::vector<MorphAnalysis>{noun("R1")});
    EXPECT_EQ(r.readings[1].morph, std::vector<MorphAnalysis>{noun("R2")});
    EXPECT_EQ(r.readings[2].morph, (std::vector<MorphAnalysis>{noun("R1"), noun("R3")}));
    for (std::uint8_t p = 0; p < 3; ++p) {
        expect_transcription_of(r.readings[p], p);
        EXPECT_EQ(r.readings[p].syllable_index, p);
        EXPECT_EQ(r.readings[p].stress_from_end, 3u - p);
    }
}

TEST(Lookup, EntriesWithoutStressPositions) {
    ImageContent c = base_tables();
    c.entries = {
        // No record has a position: every record goes to position 0.
        {"мама", {with_positions({}, 0), with_positions({}, 1)}},
        // No records at all: one reading at position 0, no analyses.
        {"рука", {}},
        // A record without positions beside ones with positions goes nowhere.
        {"сила", {with_positions({}, 0), with_positions({1}, 1)}},
    };
    const Dictionary d = dictionary_of(c);

    const LookupResult mama = lookup(d, "мама");
    ASSERT_EQ(mama.readings.size(), 1u);
    EXPECT_EQ(mama.readings[0].stressed_form, "ма" + ACUTE + "ма");
    EXPECT_EQ(mama.readings[0].morph, (std::vector<MorphAnalysis>{noun("R1"), noun("R2")}));
    expect_transcription_of(mama.readings[0], 0);

    const LookupResult ruka = lookup(d, "рука");
    ASSERT_EQ(ruka.readings.size(), 1u);
    EXPECT_EQ(ruka.readings[0].stressed_form, "ру" + ACUTE + "ка");
    EXPECT_TRUE(ruka.readings[0].morph.empty());
    EXPECT_EQ(ruka.readings[0].confidence, std::nullopt);
    expect_transcription_of(ruka.readings[0], 0);

    const LookupResult syla = lookup(d, "сила");
    ASSERT_EQ(syla.readings.size(), 1u);
    EXPECT_EQ(syla.readings[0].stressed_form, "сила" + ACUTE);
    EXPECT_EQ(syla.readings[0].morph, std::vector<MorphAnalysis>{noun("R2")});
}

TEST(Lookup, PositionRepeatedInARecordCopiesItsAnalysisEachTime) {
    ImageContent c = base_tables();
    c.entries = {{"мама", {with_positions({1, 1}, 0), with_positions({1}, 1)}}};
    const Dictionary d = dictionary_of(c);
    const LookupResult r = lookup(d, "мама");
    ASSERT_EQ(r.readings.size(), 1u);
    EXPECT_EQ(r.readings[0].morph, (std::vector<MorphAnalysis>{noun("R1"), noun("R1"), noun("R2")}));
}

TEST(Lookup, StressPositionBeyondTheVowels) {
    ImageContent c = base_tables();
    c.entries = {{"мама", {with_positions({2}, 0), with_positions({200}, 1)}}};
    const Dictionary d = dictionary_of(c);
    const LookupResult r = lookup(d, "мама");
    ASSERT_EQ(r.readings.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const Reading& reading = r.readings[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(reading.stressed_form, "мама");
        EXPECT_EQ(reading.syllable_count, 2u);
        EXPECT_EQ(reading.syllable_index, 0u);
        EXPECT_EQ(reading.stress_from_end, 2u);
        for (const std::string& s : reading.ipa_syllables) EXPECT_EQ(s.find(STRESS), std::string::npos) << s;
        for (const Token& t : reading.tokens) EXPECT_FALSE(t.stressed);
        expect_transcription_of(reading, i == 0 ? 2 : 200);
    }
    EXPECT_EQ(r.readings[0].morph, std::vector<MorphAnalysis>{noun("R1")});
    EXPECT_EQ(r.readings[1].morph, std::vector<MorphAnalysis>{noun("R2")});
}

TEST(Lookup, WordOfMoreThan256VowelsStressesEveryVowelOfTheSameEightBitOrdinal) {
    // Vowel ordinals are counted in eight bits: position 5 stresses vowels 5
    // and 261; the reading reports the first stressed syllable.
    std::string word;
    for (int i = 0; i < 300; ++i) word += "ба";
    ImageContent c = base_tables();
    c.entries = {{word, {with_positions({5}, 0)}}};
    const Dictionary d = dictionary_of(c);
    const LookupResult r = lookup(d, word);
    ASSERT_EQ(r.readings.size(), 1u);
    const Reading& reading = r.readings[0];
    EXPECT_EQ(reading.syllable_count, 300u);
    EXPECT_EQ(reading.syllable_index, 5u);
    EXPECT_EQ(reading.stress_from_end, 295u);
    std::vector<std::size_t> stressed;
    for (std::size_t i = 0; i < reading.ipa_syllables.size(); ++i)
        if (reading.ipa_syllables[i].starts_with(STRESS)) stressed.push_back(i);
    EXPECT_EQ(stressed, (std::vector<std::size_t>{5, 261}));
    EXPECT_EQ(reading.stressed_form, add_stress_mark(word, 5));
    expect_transcription_of(reading, 5);
}

// ---------------------------------------------------------------------------
// Resolving indexes

// feats as a name -> values map; the order of names is not part of the result.
std::map<std::string, std::vector<std::string>> feats_of(const MorphAnalysis& m) {
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& [name, values] : m.feats) {
        const std::string key(name);
        EXPECT_FALSE(out.count(key)) << "name twice: " << name;
        out[key].assign(values.begin(), values.end());
    }
    return out;
}

TEST(Resolve, IndexesOutOfRangeAreDropped) {
    ImageContent c;
    c.pos_tags = {"NOUN", "VERB"};
    c.feature_keys = {"Case", "Number", "Case"};  // one name at two indexes
    c.feature_values = {"Nom", "Acc", "Plur"};
    c.lemmas = {"l0", "l1"};
    c.definitions = {"d0"};
    using Feats = std::map<std::string, std::vector<std::string>>;
    struct Case {
        const char* name;
        Record record;
        std::vector<std::string_view> pos;
        Feats feats;
        std::optional<std::string> lemma;
        std::optional<std::string> definition;
    };
    const std::vector<Case> cases = {
        {"all in range", {{0}, {1, 0}, {{0, {0, 1}}, {1, {2}}}, 1, 0}, {"VERB", "NOUN"},
         {{"Case", {"Nom", "Acc"}}, {"Number", {"Plur"}}}, "l1", "d0"},
        {"pos index equal to the table size", {{0}, {2, 0, 255, 1}, {}, std::nullopt, std::nullopt},
         {"NOUN", "VERB"}, {}, std::nullopt, std::nullopt},
        {"lemma and definition equal to the table size", {{0}, {}, {}, 2, 1}, {}, {}, std::nullopt, std::nullopt},
        {"lemma and definition far out of range", {{0}, {}, {}, 0xFFFFFFFFu, 0x80000000u}, {}, {}, std::nullopt,
         std::nullopt},
        {"feature key out of range skips the pair", {{0}, {}, {{3, {0}}, {255, {1}}, {1, {0}}}, 0, std::nullopt},
         {}, {{"Number", {"Nom"}}}, "l0", std::nullopt},
        {"value indexes out of range are skipped", {{0}, {}, {{0, {3, 1, 255, 0}}}, std::nullopt, std::nullopt},
         {}, {{"Case", {"Acc", "Nom"}}}, std::nullopt, std::nullopt},
        {"all values out of range keep the name", {{0}, {}, {{1, {3, 4}}, {0, {}}}, std::nullopt, std::nullopt},
         {}, {{"Number", {}}, {"Case", {}}}, std::nullopt, std::nullopt},
        {"repeats are kept", {{0}, {0, 0}, {{0, {1, 1, 0, 1}}}, std::nullopt, std::nullopt}, {"NOUN", "NOUN"},
         {{"Case", {"Acc", "Acc", "Nom", "Acc"}}}, std::nullopt, std::nullopt},
        {"the later pair of a name wins", {{0}, {}, {{0, {0}}, {1, {2}}, {0, {1, 2}}}, std::nullopt, std::nullopt},
         {}, {{"Case", {"Acc", "Plur"}}, {"Number", {"Plur"}}}, std::nullopt, std::nullopt},
        {"a name wins by its text, not its index", {{0}, {}, {{0, {0}}, {2, {1}}}, std::nullopt, std::nullopt},
         {}, {{"Case", {"Acc"}}}, std::nullopt, std::nullopt},
        {"a later pair with no values in range empties the name",
         {{0}, {}, {{0, {0}}, {0, {9}}}, std::nullopt, std::nullopt}, {}, {{"Case", {}}}, std::nullopt,
         std::nullopt},
        {"a later pair with a key out of range changes nothing",
         {{0}, {}, {{0, {0}}, {7, {1}}}, std::nullopt, std::nullopt}, {}, {{"Case", {"Nom"}}}, std::nullopt,
         std::nullopt},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c.entries = {{"мама", {k.record}}};
        const Dictionary d = dictionary_of(c);
        const MorphAnalysis direct = resolve(d, *d.records(0).begin());
        EXPECT_EQ(direct.pos, k.pos);
        EXPECT_EQ(feats_of(direct), k.feats);
        EXPECT_EQ(direct.lemma, k.lemma);
        EXPECT_EQ(direct.definition, k.definition);
        // Lookup reports the same analysis.
        const LookupResult r = lookup(d, "мама");
        ASSERT_EQ(r.readings.size(), 1u);
        EXPECT_EQ(r.readings[0].morph, std::vector<MorphAnalysis>{direct});
    }
}

TEST(Resolve, LaterPairReplacesTheValuesInPlace) {
    ImageContent c = base_tables();
    c.entries = {{"мама", {{{0}, {}, {{0, {0}}, {1, {2}}, {0, {1}}}, std::nullopt, std::nullopt}}}};
    const Dictionary d = dictionary_of(c);
    const MorphAnalysis m = resolve(d, *d.records(0).begin());
    using Feats = std::vector<std::pair<std::string_view, std::vector<std::string_view>>>;
    EXPECT_EQ(m.feats, (Feats{{"Case", {"Acc"}}, {"Number", {"Plur"}}}));
}

// ---------------------------------------------------------------------------
// The one-vowel shortcut and the query's spelling

TEST(Lookup, OneVowelWordsAreNeverLookedUp) {
    ImageContent c = base_tables();
    // "кіт" is in the dictionary with a record at another position; the
    // shortcut ignores it.
    c.entries = {{"кіт", {with_positions({3}, 0), with_positions({0}, 1)}}};
    const Dictionary d = dictionary_of(c);
    struct Case {
        const char* word;
        std::string form;
        std::string stressed;
    };
    const std::vector<Case> cases = {
        {"кіт", "кіт", "кі" + ACUTE + "т"},
        {"КІТ", "кіт", "кі" + ACUTE + "т"},
        {"дім", "дім", "ді" + ACUTE + "м"},
        {"Я", "я", "я" + ACUTE},
        {"п'ять", "пʼять", "пʼя" + ACUTE + "ть"},
        {"ві\u0301н", "ві\u0301н", "ві" + ACUTE + ACUTE + "н"},  // a typed mark is kept, a second one added
        {"ёж і", "ёж і", "ёж і" + ACUTE},                      // ё is no vowel letter
        {"i\u0307ї", "i\u0307ї", "i\u0307ї" + ACUTE},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.word);
        const LookupResult r = lookup(d, k.word);
        EXPECT_EQ(r.form, k.form);
        ASSERT_EQ(r.readings.size(), 1u);
        const Reading& reading = r.readings[0];
        EXPECT_EQ(reading.form, k.form);
        EXPECT_EQ(reading.stressed_form, k.stressed);
        EXPECT_EQ(reading.confidence, std::optional<std::string>("single-syllable"));
        EXPECT_TRUE(reading.morph.empty());
        EXPECT_EQ(reading.syllable_index, 0u);
        EXPECT_EQ(reading.stress_from_end, std::max<std::uint64_t>(1, reading.syllable_count));
        const Transcription t = transcribe(k.form, 0);
        EXPECT_EQ(reading.ipa, t.ipa);
        EXPECT_EQ(reading.tokens, t.tokens);
        EXPECT_EQ(reading.syllable_count, t.syllables.size());
        EXPECT_EQ(mark(d, k.word), k.stressed);
    }
}

TEST(Lookup, EmptyWord) {
    ImageContent c = base_tables();
    c.entries = {{"мама", {with_positions({0}, 0)}}};
    const Dictionary d = dictionary_of(c);
    const LookupResult r = lookup(d, "");
    EXPECT_EQ(r.form, "");
    EXPECT_TRUE(r.readings.empty());
    EXPECT_EQ(mark(dictionary_of(c), ""), "");
    const Dictionary empty = decode_image(std::vector<std::uint8_t>(48, 0));
    EXPECT_TRUE(lookup(empty, "").readings.empty());

    // An image that holds an empty key is searched like any other.
    c.entries.insert(c.entries.begin(), Entry{"", {with_positions({0}, 1)}});
    const Dictionary with_empty_key = dictionary_of(c);
    const LookupResult found = lookup(with_empty_key, "");
    ASSERT_EQ(found.readings.size(), 1u);
    EXPECT_EQ(found.readings[0].stressed_form, "");
    EXPECT_EQ(found.readings[0].morph, std::vector<MorphAnalysis>{noun("R2")});
}

TEST(Lookup, QueryIsNormalisedBeforeTheSearch) {
    ImageContent c = base_tables();
    c.entries = {
        {"i\u0307вана", {with_positions({1}, 0)}},
        {"пст", {with_positions({0}, 0)}},
        {"пʼятьох", {with_positions({1}, 0)}},
        {"україна", {with_positions({2}, 0)}},
    };
    const Dictionary d = dictionary_of(c);
    const std::string p_yatokh = "пʼятьо" + ACUTE + "х";
    struct Case {
        const char* word;
        std::string form;
        std::optional<std::string> marked;  // nullopt: not found
    };
    const std::vector<Case> cases = {
        {"пʼятьох", "пʼятьох", p_yatokh},
        {"п'ятьох", "пʼятьох", p_yatokh},
        {"п\u2019ятьох", "пʼятьох", p_yatokh},
        {"п\u2018ятьох", "пʼятьох", p_yatokh},
        {"п`ятьох", "пʼятьох", p_yatokh},
        {"П'ЯТЬОХ", "пʼятьох", p_yatokh},
        {"Україна", "україна", "украї" + ACUTE + "на"},
        {"İВАНА", "i\u0307вана", "i\u0307вана" + ACUTE},
        {"ПСТ", "пст", "пст"},  // known, no vowel: normalised, no mark
        // Not found: nothing is trimmed and a typed stress mark stays.
        {" україна", " україна", std::nullopt},
        {"україна ", "україна ", std::nullopt},
        {"украї\u0301на", "украї\u0301на", std::nullopt},
        {"п\"ятьох", "п\"ятьох", std::nullopt},
        {"ХМ", "хм", std::nullopt},
        {"ҐуґлоБлабла", "ґуґлоблабла", std::nullopt},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.word);
        const LookupResult r = lookup(d, k.word);
        EXPECT_EQ(r.form, k.form);
        if (k.marked) {
            ASSERT_EQ(r.readings.size(), 1u);
            EXPECT_EQ(r.readings[0].form, k.form);
            EXPECT_EQ(r.readings[0].stressed_form, *k.marked);
            EXPECT_EQ(mark(d, k.word), *k.marked);
        } else {
            EXPECT_TRUE(r.readings.empty());
            EXPECT_EQ(mark(d, k.word), k.word);  // byte for byte as given
        }
    }
}

TEST(Lookup, PhoneticsOutliveTheDictionaryAndMorphologyViewsItsTables) {
    LookupResult r;
    {
        ImageContent c = base_tables();
        c.entries = {{"замок", {{{0}, {0, 1}, {{0, {0, 1}}}, 0, 0}}}};
        const Dictionary d = dictionary_of(c);
        r = lookup(d, "Замок");
        ASSERT_EQ(r.readings.size(), 1u);
        const MorphAnalysis expected{{"NOUN", "VERB"}, {{"Case", {"Nom", "Acc"}}}, "R1", "castle"};
        EXPECT_EQ(r.readings[0].morph, std::vector<MorphAnalysis>{expected});
        EXPECT_EQ(r.readings[0].morph[0].lemma->data(), d.lemmas[0].data());
    }
    // Everything but the morphology is owned by the result.
    const Reading& reading = r.readings[0];
    EXPECT_EQ(r.form, "замок");
    EXPECT_EQ(reading.stressed_form, "за" + ACUTE + "мок");
    EXPECT_EQ(reading.word_syllables, (std::vector<std::string>{"за", "мок"}));
    EXPECT_EQ(reading.ipa_syllables, (std::vector<std::string>{"ˈzɑ", "mɔk"}));
    EXPECT_EQ(reading.ipa, "zɑmɔk");
}

TEST(Lookup, ConcurrentLookupsAgree) {
    ImageContent c = base_tables();
    c.entries = {{"замок", {with_positions({1}, 0), with_positions({0}, 1)}}, {"мама", {with_positions({0}, 2)}}};
    const Dictionary d = dictionary_of(c);
    const LookupResult zamok = lookup(d, "замок");
    const LookupResult mama = lookup(d, "мама");
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const LookupResult a = lookup(d, "замок");
                const LookupResult b = lookup(d, "мама");
                if (stressed_forms(a) != stressed_forms(zamok) || a.readings[1].morph != zamok.readings[1].morph ||
                    stressed_forms(b) != stressed_forms(mama))
                    ++mismatches[t];
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(NormalizeWord, LowercasesAndUnifiesApostrophes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Руки", "руки"},
        {"ЇЖАК Є Ґ", "їжак є ґ"},
        {"İ", "i\u0307"},
        {"İВАН", "i\u0307ван"},
        {"ΟΔΟΣ", "οδοσ"},  // per character, no final-sigma rule
        {"ẞ", "ß"},
        {"'", "\u02BC"},
        {"\u02BC", "\u02BC"},
        {"\u2019", "\u02BC"},
        {"\u2018", "\u02BC"},
        {"`", "\u02BC"},
        {"п'ять п\u2019ять п\u2018ять п`ять пʼять", "пʼять пʼять пʼять пʼять пʼять"},
        {"\"«»\u201B\u2032", "\"«»\u201B\u2032"},  // other quote-like marks stay
        {"  А-б (В)\t1,2. ", "  а-б (в)\t1,2. "},
        {"РУ\u0301КИ", "ру\u0301ки"},
        {"", ""},
        {"ABC xyz Ü", "abc xyz ü"},
        // Ill-formed bytes, each a U+FFFD, also amid the Cyrillic pairs.
        {"\xD0", "\uFFFD"},
        {"\xD0" "A", "\uFFFDa"},
        {"Я\xD1", "я\uFFFD"},
        {"\xB0\xD0\x90", "\uFFFDа"},
        {"\xC0\xAF", "\uFFFD\uFFFD"},
    };
    for (const auto& [word, normal] : cases) {
        SCOPED_TRACE(word);
        EXPECT_EQ(normalize_word(word), normal);
    }
}

std::string utf8_of(char32_t c) {
    std::string s;
    utf8::append(s, c);
    return s;
}

TEST(NormalizeWord, EveryCharacterAsTheFullMappingGivesIt) {
    // normalize_char() maps the common letters inline; every character must
    // come out as the lowercase table has it, apostrophes then unified.
    const auto expected = [](char32_t c) {
        std::string out;
        for_each_lowercase(utf8_of(c), [&](char32_t l) { utf8::append(out, is_apostrophe(l) ? U'\u02BC' : l); });
        return out;
    };
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        char direct[NORMALIZED_CHAR_MAX];
        const std::string want = expected(c);
        ASSERT_EQ(normalize_word(utf8_of(c)), want) << std::hex << std::uint32_t(c);
        ASSERT_EQ(std::string(direct, normalize_char(c, direct)), want) << std::hex << std::uint32_t(c);
    }
}

// ---------------------------------------------------------------------------
// Marking

TEST(AddStressMark, MarksTheVowelAtTheIndex) {
    struct Case {
        std::string text;
        std::uint8_t index;
        std::string expected;
    };
    std::vector<Case> cases = {
        {"мама", 0, "ма" + ACUTE + "ма"},
        {"мама", 1, "мама" + ACUTE},
        {"мама", 2, "мама"},
        {"мама", 255, "мама"},
        {"", 0, ""},
        {"пст", 0, "пст"},
        {"МАМА", 1, "МАМА" + ACUTE},
        {"мАмА", 0, "мА" + ACUTE + "мА"},
        // Not counted: ё, э, ы, Latin vowels, the apostrophe, a typed mark.
        {"ёэыaeiouа", 0, "ёэыaeiouа" + ACUTE},
        {"ма\u0301ма", 1, "ма\u0301ма" + ACUTE},
        {"ма\u0301ма", 0, "ма\u0301" + ACUTE + "ма"},
        {"пʼя'є", 1, "пʼя'є" + ACUTE},
        // The mark goes directly after the vowel, before what follows it.
        {"а-б", 0, "а" + ACUTE + "-б"},
        // Ill-formed bytes are copied as they are and never counted.
        {"\xD0а\xD0", 0, "\xD0а" + ACUTE + "\xD0"},
        {"\xB0\xD0а", 0, "\xB0\xD0а" + ACUTE},
    };
    // Each of the twenty marking vowels, alone and after another vowel.
    const std::vector<std::string> vowels = {"а", "е", "є", "и", "і", "ї", "о", "у", "ю", "я",
                                             "А", "Е", "Є", "И", "І", "Ї", "О", "У", "Ю", "Я"};
    for (const std::string& v : vowels) {
        cases.push_back({v, 0, v + ACUTE});
        cases.push_back({"б" + v + "в", 0, "б" + v + ACUTE + "в"});
        cases.push_back({v + "о", 1, v + "о" + ACUTE});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " at " + std::to_string(c.index));
        EXPECT_EQ(add_stress_mark(c.text, c.index), c.expected);
    }
}

// Positions (vowel ordinals) after which add_stress_mark put a mark, for a
// text of n vowels "а" separated by "б".
std::vector<int> marked_vowels(int n, std::uint8_t index) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "ба";
    const std::string out = add_stress_mark(text, index);
    std::vector<int> marked;
    int vowel = -1;
    for (std::size_t i = 0; i < out.size();) {
        if (out.compare(i, 2, "а") == 0) {
            ++vowel;
            i += 2;
        } else if (out.compare(i, 2, ACUTE) == 0) {
            marked.push_back(vowel);
            i += 2;
        } else {
            i += 2;  // "б"
        }
    }
    EXPECT_EQ(vowel, n - 1);
    return marked;
}

TEST(AddStressMark, CounterIsEightBitsAndWraps) {
    struct Case {
        int vowels;
        std::uint8_t index;
        std::vector<int> marked;
    };
    const std::vector<Case> cases = {
        {300, 44, {44}},
        {301, 44, {44, 300}},
        {256, 255, {255}},
        {512, 255, {255, 511}},
        {256, 0, {0}},
        {257, 0, {0, 256}},
        {600, 3, {3, 259, 515}},
        {255, 255, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.vowels) + " vowels, index " + std::to_string(c.index));
        EXPECT_EQ(marked_vowels(c.vowels, c.index), c.marked);
    }
}

TEST(Mark, FirstReadingOrTheWordUnchanged) {
    ImageContent c = base_tables();
    c.entries = {
        {"замок", {with_positions({1}, 0), with_positions({0}, 1)}},
        {"мама", {with_positions({5}, 0)}},
        {"пʼять-шість", {with_positions({1}, 0), with_positions({0}, 0)}},
    };
    const Dictionary d = dictionary_of(c);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"замок", "за" + ACUTE + "мок"},  // the lowest position only
        {"ЗАМОК", "за" + ACUTE + "мок"},
        {"мама", "мама"},  // a position past the vowels: no mark
        {"МАМА", "мама"},
        {"П\u2019ЯТЬ-ШІСТЬ", "пʼя" + ACUTE + "ть-шість"},
        {"ЗАМКИ", "ЗАМКИ"},
        {"за\u0301мок", "за\u0301мок"},
        {"замок ", "замок "},
        {std::string("\xFF\xFEзамок"), std::string("\xFF\xFEзамок")},
    };
    for (const auto& [word, marked] : cases) {
        SCOPED_TRACE(word);
        EXPECT_EQ(mark(d, word), marked);
    }
}

}  // namespace
