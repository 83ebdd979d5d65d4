// Whole words through transcribe(): lowercasing, the order of the passes,
// stress marking, syllables and the final IPA string.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/transcription.hpp"

#include "token_lists.hpp"

using namespace lexovia;
using namespace lexovia::test;

namespace {

std::string syllable_ipa(const Transcription& t) {
    std::string out;
    for (std::size_t i = 0; i < t.syllables.size(); ++i) {
        if (i) out += '.';
        out += t.syllables[i].ipa;
    }
    return out;
}

std::string syllable_words(const Transcription& t) {
    std::string out;
    for (std::size_t i = 0; i < t.syllables.size(); ++i) {
        if (i) out += '|';
        out += t.syllables[i].word;
    }
    return out;
}

std::string stressed_syllables(const Transcription& t) {
    std::string out;
    for (const Syllable& s : t.syllables) out += s.stressed ? '1' : '0';
    return out;
}

std::size_t count_stressed_tokens(const Transcription& t) {
    std::size_t n = 0;
    for (const Token& tok : t.tokens) n += tok.stressed ? 1 : 0;
    return n;
}

// Properties every transcription has, whatever the word.
void expect_consistent(const Transcription& t) {
    ASSERT_FALSE(t.syllables.empty());
    std::string from_syllables;
    std::string from_tokens;
    for (const Syllable& s : t.syllables) from_syllables += s.ipa;
    for (const Token& tok : t.tokens) from_tokens += tok.ipa;
    EXPECT_EQ(t.ipa, from_syllables);
    EXPECT_EQ(t.ipa, from_tokens);
    std::size_t next = 0;
    for (const Syllable& s : t.syllables) {
        EXPECT_EQ(s.token_begin, next);
        next += s.token_count;
    }
    EXPECT_EQ(next, t.tokens.size());
    for (const Token& tok : t.tokens) {
        if (tok.stressed) {
            EXPECT_EQ(tok.type, TokenType::Vowel);
            EXPECT_EQ(static_cast<std::uint8_t>(tok.vowel_index), t.stress_index);
        }
        if (tok.type != TokenType::Vowel) {
            EXPECT_EQ(tok.vowel_index, -1) << tok.ipa;
        }
    }
}

struct WordCase {
    std::string_view word;
    std::uint8_t stress;
    std::string_view syllables;  // syllable ipa joined by '.'
    std::string_view stressed;   // one digit per syllable
};

const WordCase kWords[] = {
    {"мама", 0, "m\u0251.m\u0251", "10"},
    {"мама", 1, "m\u0251.m\u0251", "01"},
    // palatalization
    {"пісня", 0, "pi.s\u02B2n\u02B2\u0251", "10"},
    {"радість", 1, "r\u0251.dis\u02B2t\u02B2", "01"},
    {"щастя", 0, "\u0283t\u0361\u0283\u0251.s\u02B2t\u02B2\u0251", "10"},
    {"смерть", 0, "sm\u025Br\u02B2t\u02B2", "1"},
    {"свято", 0, "s\u028B\u02B2\u0251.t\u0254", "10"},
    {"сьогодні", 1, "s\u02B2\u0254.\u0266\u0254.dni", "010"},
    {"тьотя", 0, "t\u02B2\u0254.t\u02B2\u0251", "10"},
    // voicing
    {"вокзал", 1, "\u028B\u0254\u0261.z\u0251l", "01"},
    {"легко", 0, "l\u025B.xk\u0254", "10"},
    {"кігті", 0, "ki.xti", "10"},
    {"футбол", 1, "fu.db\u0254l", "01"},
    {"боротьба", 2, "b\u0254.r\u0254.d\u02B2b\u0251", "001"},
    {"просьба", 0, "pr\u0254z\u02B2.b\u0251", "10"},
    // the devoiced soft stop keeps Voiced features, so it closes the syllable
    {"дядька", 0, "d\u02B2\u0251t\u02B2.k\u0251", "10"},
    {"сніг", 0, "sni\u0266", "1"},
    {"світ", 0, "s\u028Bit", "1"},
    {"дуб", 0, "dub", "1"},
    {"з'їсти", 1, "z\u0294ji.st\u026A", "01"},
    // place assimilation after voicing
    {"безшумний", 1, "b\u025B\u031D.\u0283\u0283um.n\u026Aj", "010"},
    {"розчин", 0, "r\u0254.\u0283t\u0361\u0283\u026An", "10"},
    {"зжити", 0, "\u0292\u0292\u026A.t\u026A", "10"},
    // s is voiced before дж first, and only then assimilates
    {"сджу", 0, "\u0292d\u0361\u0292u", "1"},
    // affricate merging after voicing and place assimilation
    {"людство", 0, "l\u02B2u.t\u0361st\u028B\u0254", "10"},
    {"братство", 0, "br\u0251.t\u0361st\u028B\u0254", "10"},
    {"отці", 1, "\u0254\u031D.t\u0361s\u02D0i", "01"},
    {"тсш", 0, "t\u0283\u0283", "0"},
    {"вчиться", 0, "\u028Bt\u0361\u0283\u026A.t\u02B2s\u02B2\u0251", "10"},
    // tokenizer cases through the whole pipeline
    {"знання", 1, "zn\u0251.n\u02B2\u02D0\u0251", "01"},
    {"життя", 1, "\u0292\u026A.t\u02B2\u02D0\u0251", "01"},
    {"ззаду", 1, "z\u02D0\u0251.du", "01"},
    {"ввічливий", 0, "\u028B\u02D0i.t\u0361\u0283l\u026A.u\u032F\u026Aj", "100"},
    {"джерело", 2, "d\u0361\u0292\u025B.r\u025B.l\u0254", "001"},
    {"віджати", 1, "\u028Bid.\u0292\u0251.t\u026A", "010"},
    {"піджак", 1, "pid.\u0292\u0251k", "01"},
    {"надзвичайно", 2, "n\u0251.dz\u028B\u026A.t\u0361\u0283\u0251j.n\u0254", "0010"},
    {"щука", 0, "\u0283t\u0361\u0283u.k\u0251", "10"},
    {"день", 0, "d\u025Bn\u02B2", "1"},
    {"сім'я", 1, "sim.\u0294j\u0251", "01"},
    {"дія", 0, "di.j\u0251", "10"},
    {"їжак", 1, "ji.\u0292\u0251k", "01"},
    {"заїзд", 1, "z\u0251.jizd", "01"},
    {"досьє", 1, "d\u0254.s\u02B2j\u025B", "01"},
    {"будь-який", 1, "bu.d\u02B2\u0251.k\u026Aj", "010"},
    // vowel allophones
    {"веду", 1, "\u028B\u025B\u031D.du", "01"},
    {"веду", 0, "\u028B\u025B.du", "10"},
    {"ходжу", 1, "x\u0254\u031D.d\u0361\u0292u", "01"},
    {"сидіти", 1, "s\u026A\u031E.di.t\u026A", "010"},
    {"передзвін", 2, "p\u025B.r\u025B\u031D.dz\u028Bin", "001"},
    // the nearest earlier vowel is і, so the е before it stays
    {"берію", 2, "b\u025B.ri.ju", "001"},
    // labial glide
    {"вовк", 0, "\u028B\u0254wk", "1"},
    {"лев", 0, "l\u025Bu\u032F", "1"},
    {"мова", 0, "m\u0254.u\u032F\u0251", "10"},
    {"київ", 1, "k\u026A\u031E.jiu\u032F", "01"},
    {"солов'ї", 2, "s\u0254.l\u0254\u031Du\u032F.\u0294ji", "001"},
    // words without vowels, or without tokens
    {"щ", 0, "\u0283t\u0361\u0283", "0"},
    {"ш", 0, "\u0283", "0"},
    {"й", 0, "j", "0"},
    {"в", 0, "\u028B", "0"},
    {"ав", 0, "\u0251u\u032F", "1"},
    {"а", 0, "\u0251", "1"},
    {"ь", 0, "", "0"},
    {"", 0, "", "0"},
    // stress index beyond the vowels
    {"мама", 2, "m\u0251.m\u0251", "00"},
    {"мама", 255, "m\u0251.m\u0251", "00"},
    {"веду", 255, "\u028B\u025B.du", "00"},
    {"ш", 255, "\u0283", "0"},
    // the labial glide does not depend on stress
    {"лев", 255, "l\u025Bu\u032F", "0"},
};

}  // namespace

TEST(Transcribe, Words) {
    for (const WordCase& c : kWords) {
        SCOPED_TRACE(std::string(c.word) + " @" + std::to_string(c.stress));
        const Transcription t = transcribe(c.word, c.stress);
        EXPECT_EQ(t.word, c.word);
        EXPECT_EQ(t.stress_index, c.stress);
        EXPECT_EQ(syllable_ipa(t), c.syllables);
        EXPECT_EQ(stressed_syllables(t), c.stressed);
        const std::size_t stressed = std::count(c.stressed.begin(), c.stressed.end(), '1');
        EXPECT_EQ(count_stressed_tokens(t), stressed);
        expect_consistent(t);
    }
}

TEST(Transcribe, TokenDetails) {
    struct Case {
        std::string_view word;
        std::string_view ipa;
        std::string_view sources;
    };
    const Case cases[] = {
        {"сім'я", "s i m \u0294 j \u0251", "с|і|м|'|я|"},
        {"людство", "l\u02B2 u t\u0361s t \u028B \u0254", "л|ю|дс|т|в|о"},
        {"отці", "\u0254\u031D t\u0361s\u02D0 i", "о|тц|і"},
        {"знання", "z n \u0251 n\u02B2\u02D0 \u0251", "з|н|а|нн|я"},
        {"щука", "\u0283 t\u0361\u0283 u k \u0251", "щ||у|к|а"},
        {"вовк", "\u028B \u0254 w k", "в|о|в|к"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word));
        const Transcription t = transcribe(c.word, 1);
        EXPECT_EQ(join_ipa(t.tokens), c.ipa);
        EXPECT_EQ(join_sources(t.tokens), c.sources);
    }
}

TEST(Transcribe, SyllableWordsAndOpenness) {
    struct Case {
        std::string_view word;
        std::string_view words;
        std::string_view open;
    };
    const Case cases[] = {
        {"мама", "ма|ма", "oo"},
        {"сім'я", "сім|'я", "co"},
        {"вокзал", "вок|зал", "cc"},
        {"будь-який", "бу|дья|кий", "ooc"},
        {"щука", "щу|ка", "oo"},
        {"дія", "ді|я", "oo"},
        {"лев", "лев", "c"},
        {"ш", "ш", "c"},
        {"ab", "", "c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word));
        const Transcription t = transcribe(c.word, 0);
        EXPECT_EQ(syllable_words(t), c.words);
        std::string open;
        for (const Syllable& s : t.syllables) open += s.is_open ? 'o' : 'c';
        EXPECT_EQ(open, c.open);
    }
}

TEST(Transcribe, StressedTokenAndRaisedVowelFeatures) {
    const Transcription t = transcribe("веду", 1);
    ASSERT_EQ(join_ipa(t.tokens), "\u028B \u025B\u031D d u");
    EXPECT_FALSE(t.tokens[1].stressed);
    EXPECT_TRUE(t.tokens[3].stressed);
    ASSERT_TRUE(t.tokens[1].vowel_features.has_value());
    EXPECT_EQ(t.tokens[1].vowel_features->height, Height::NearClose);
    EXPECT_EQ(t.tokens[1].vowel_features->backness, Backness::Front);
}

TEST(Transcribe, DevoicedSoftStopFeatures) {
    const Transcription t = transcribe("дядька", 0);
    ASSERT_EQ(join_ipa(t.tokens), "d\u02B2 \u0251 t\u02B2 k \u0251");
    EXPECT_TRUE(t.tokens[2].palatalized);
    EXPECT_EQ(t.tokens[2].source, "дь");
    EXPECT_EQ(t.tokens[2].consonant_features,
              (ConsonantFeatures{true, false, Voicing::Voiced, Place::Alveolar, Manner::Stop}));
}

TEST(Transcribe, LowercasesFirst) {
    struct Case {
        std::string_view input;
        std::string_view word;
        std::string_view ipa;
    };
    const Case cases[] = {
        {"МАМА", "мама", "m\u0251m\u0251"},
        {"Мама", "мама", "m\u0251m\u0251"},
        // the blocking prefix is recognised after lowercasing
        {"ВІДЖАТИ", "віджати", "\u028Bid\u0292\u0251t\u026A"},
        {"ЇЖАК", "їжак", "ji\u0292\u0251k"},
        {"ҐАНОК", "ґанок", "\u0261\u0251n\u0254k"},
        {"ЄВА", "єва", "j\u025Bu\u032F\u0251"},
        {"КИЇВ", "київ", "k\u026Aj\u0069u\u032F"},
        {"ЎЪЁ", "ўъё", ""},
        // Latin letters, digits, hyphens and spaces give no tokens but stay
        {"ab", "ab", ""},
        {"AB-12 Cd", "ab-12 cd", ""},
        {"\u0130", "i\u0307", ""},
        {"\u03A3\u0391\u03A3", "\u03C3\u03B1\u03C3", ""},
        {"Ма-ма 2", "ма-ма 2", "m\u0251m\u0251"},
        // ill-formed bytes are read as U+FFFD
        {"\xFF\xD0\x9C\xD0\x90", "\uFFFDма", "m\u0251"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.input));
        const Transcription t = transcribe(c.input, 0);
        EXPECT_EQ(t.word, c.word);
        EXPECT_EQ(t.ipa, c.ipa);
        expect_consistent(t);
    }
}

TEST(Transcribe, UppercaseGivesTheSameTokensAsLowercase) {
    for (std::string_view pair : {"МАМА|мама", "ВІДЖАТИ|віджати", "СІМ'Я|сім'я", "ДЯДЬКА|дядька"}) {
        const std::size_t bar = pair.find('|');
        const Transcription upper = transcribe(pair.substr(0, bar), 1);
        const Transcription lower = transcribe(pair.substr(bar + 1), 1);
        EXPECT_EQ(upper.tokens, lower.tokens) << pair;
        EXPECT_EQ(upper.syllables, lower.syllables) << pair;
    }
}

TEST(Transcribe, EmptyWord) {
    const Transcription t = transcribe("", 0);
    EXPECT_EQ(t.word, "");
    EXPECT_TRUE(t.tokens.empty());
    ASSERT_EQ(t.syllables.size(), 1u);
    EXPECT_EQ(t.syllables[0].ipa, "");
    EXPECT_EQ(t.syllables[0].word, "");
    EXPECT_EQ(t.syllables[0].token_count, 0u);
    EXPECT_FALSE(t.syllables[0].stressed);
    EXPECT_FALSE(t.syllables[0].is_open);
    EXPECT_EQ(t.ipa, "");
}

TEST(Transcribe, DottedCapitalIBecomesTwoCharactersWithoutTokens) {
    const Transcription t = transcribe("\u0130", 0);
    EXPECT_EQ(t.word, "i\u0307");
    EXPECT_TRUE(t.tokens.empty());
    ASSERT_EQ(t.syllables.size(), 1u);
    EXPECT_EQ(t.ipa, "");
}

TEST(Transcribe, StressIndexWrapsWithTheVowelCounter) {
    std::string word;
    for (int i = 0; i < 257; ++i) word += "а";

    // Vowel 256 has index 0 again, so stress 0 marks two vowels.
    Transcription t = transcribe(word, 0);
    ASSERT_EQ(t.tokens.size(), 257u);
    ASSERT_EQ(t.syllables.size(), 257u);
    EXPECT_EQ(count_stressed_tokens(t), 2u);
    EXPECT_TRUE(t.tokens[0].stressed);
    EXPECT_TRUE(t.tokens[256].stressed);
    EXPECT_TRUE(t.syllables[0].stressed);
    EXPECT_TRUE(t.syllables[256].stressed);
    EXPECT_FALSE(t.syllables[1].stressed);

    // Vowel 128 is stored as -128 and still matches stress 128.
    t = transcribe(word, 128);
    EXPECT_EQ(count_stressed_tokens(t), 1u);
    EXPECT_EQ(t.tokens[128].vowel_index, -128);
    EXPECT_TRUE(t.tokens[128].stressed);
    EXPECT_TRUE(t.syllables[128].stressed);
    expect_consistent(t);

    // Vowel 255 is stored as -1, like a non-vowel, but only the vowel matches 255.
    t = transcribe(word + "к", 255);
    EXPECT_EQ(count_stressed_tokens(t), 1u);
    EXPECT_TRUE(t.tokens[255].stressed);
    EXPECT_FALSE(t.tokens[257].stressed);
    EXPECT_TRUE(t.syllables[255].stressed);
    EXPECT_EQ(t.stress_index, 255);
}

TEST(Transcribe, OnlyTheFirstStressedVowelDrivesRaising) {
    // Stress 0 marks vowel 0 (а) and vowel 256 (у); only the first counts, and
    // а triggers nothing, so the е before у is not raised.
    std::string word;
    for (int i = 0; i < 255; ++i) word += "а";
    word += "еу";
    const Transcription t = transcribe(word, 0);
    ASSERT_EQ(t.tokens.size(), 257u);
    EXPECT_TRUE(t.tokens[256].stressed);
    EXPECT_EQ(t.tokens[255].ipa, "\u025B");

    // With the high vowel first, the raising happens in front of it.
    const Transcription u = transcribe("еу" + word, 1);
    EXPECT_EQ(u.tokens[0].ipa, "\u025B\u031D");
    EXPECT_EQ(u.tokens[257].ipa, "\u025B");
}

TEST(Transcribe, SpeechReadingOfTheLabialGlide) {
    struct Case {
        std::string_view word;
        std::uint8_t stress;
        std::string_view word_level;  // syllables, as transcribe() gives them by default
        std::string_view speech;
    };
    const Case cases[] = {
        {"слово", 0, "sl\u0254.u\u032F\u0254", "sl\u0254.\u028B\u0254"},
        {"нові", 1, "n\u0254\u031D.u\u032Fi", "n\u0254\u031D.\u028Bi"},
        {"голова", 2, "\u0266\u0254.l\u0254.u\u032F\u0251", "\u0266\u0254.l\u0254.\u028B\u0251"},
        {"живий", 1, "\u0292\u026A.u\u032F\u026Aj", "\u0292\u026A.\u028B\u026Aj"},
        {"кров'ю", 0, "kr\u0254u\u032F.\u0294ju", "kr\u0254\u028B.\u0294ju"},
        {"корова", 1, "k\u0254.r\u0254.u\u032F\u0251", "k\u0254.r\u0254.\u028B\u0251"},
        {"слова", 0, "sl\u0254.u\u032F\u0251", "sl\u0254.\u028B\u0251"},
        // the same both ways: no vowel follows
        {"левів", 0, "l\u025B.\u028Biu\u032F", "l\u025B.\u028Biu\u032F"},
        {"вовк", 0, "\u028B\u0254wk", "\u028B\u0254wk"},
        {"знов", 0, "zn\u0254u\u032F", "zn\u0254u\u032F"},
        {"правда", 0, "pr\u0251w.d\u0251", "pr\u0251w.d\u0251"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.word));
        const Transcription by_default = transcribe(c.word, c.stress);
        const Transcription word_level = transcribe(c.word, c.stress, {LabialGlide::WordLevel});
        const Transcription speech = transcribe(c.word, c.stress, {LabialGlide::Speech});
        EXPECT_EQ(syllable_ipa(word_level), c.word_level);
        EXPECT_EQ(syllable_ipa(speech), c.speech);
        EXPECT_EQ(by_default.tokens, word_level.tokens);
        EXPECT_EQ(by_default.syllables, word_level.syllables);
        expect_consistent(speech);
        // Only the glide tokens differ, and they differ in nothing else than
        // being ʋ again.
        ASSERT_EQ(speech.tokens.size(), word_level.tokens.size());
        for (std::size_t i = 0; i < speech.tokens.size(); ++i) {
            if (speech.tokens[i] == word_level.tokens[i]) continue;
            EXPECT_EQ(word_level.tokens[i].ipa, "u\u032F") << i;
            EXPECT_EQ(speech.tokens[i].ipa, "\u028B") << i;
            EXPECT_EQ(speech.tokens[i].source, word_level.tokens[i].source) << i;
        }
    }
}

TEST(Transcribe, ConcurrentCallsAgreeWithSequentialOnes) {
    std::vector<Transcription> expected;
    for (const WordCase& c : kWords) expected.push_back(transcribe(c.word, c.stress));

    std::vector<int> mismatches(8, 0);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < mismatches.size(); ++k) {
        threads.emplace_back([&, k] {
            for (int round = 0; round < 20; ++round) {
                for (std::size_t i = 0; i < std::size(kWords); ++i) {
                    const Transcription t = transcribe(kWords[i].word, kWords[i].stress);
                    if (t.ipa != expected[i].ipa || t.tokens != expected[i].tokens ||
                        t.syllables != expected[i].syllables)
                        ++mismatches[k];
                }
            }
        });
    }
    for (std::thread& t : threads) t.join();
    for (std::size_t k = 0; k < mismatches.size(); ++k) EXPECT_EQ(mismatches[k], 0) << "thread " << k;
}
