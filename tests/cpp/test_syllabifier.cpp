// Syllabifier: the sonority predicates, coda_length and the cut of a token
// list into syllables.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/syllabifier.hpp"

#include "token_lists.hpp"

using namespace lexovia;
using namespace lexovia::test;

namespace {

Token bare(std::string_view ipa, TokenType type = TokenType::Consonant) {
    Token t;
    t.ipa = ipa;
    t.type = type;
    return t;
}

Token with_voicing(std::string_view ipa, Voicing v, TokenType type = TokenType::Consonant) {
    Token t = make_consonant(ipa, "");
    if (!t.consonant_features) t.consonant_features = ConsonantFeatures{};
    t.consonant_features->voicing = v;
    t.type = type;
    return t;
}

}  // namespace

TEST(Sonority, IsSonorant) {
    struct Case {
        Token token;
        bool sonorant;
        const char* what;
    };
    const Case cases[] = {
        {make_consonant("m", ""), true, "row says Sonorant"},
        {make_consonant("j", ""), true, "glide row"},
        {make_consonant("\u028B", ""), true, "ʋ row"},
        {make_consonant("m\u02B2", ""), true, "mʲ row is Sonorant though not in the set"},
        {make_consonant("z", ""), false, "voiced obstruent"},
        {make_consonant("t", ""), false, "voiceless obstruent"},
        // features decide over the ipa
        {with_voicing("n", Voicing::Voiced), false, "n with Voiced features"},
        {with_voicing("t", Voicing::Sonorant), true, "t with Sonorant features"},
        // without features the ipa is looked up after stripping trailing marks
        {bare("w"), true, "w"},
        {bare("u\u032F", TokenType::Glide), true, "non-syllabic u"},
        {bare("n\u02B2\u02D0"), true, "long soft n"},
        {bare("l\u02D0"), true, "long l"},
        {bare("\u028B\u02D0"), true, "long ʋ"},
        {bare("m\u02B2"), true, "mʲ loses its mark"},
        {bare("n\u02B2\u02B2"), true, "several palatal marks"},
        // palatal marks go first, so those before the length marks stay
        {bare("n\u02B2\u02B2\u02D0\u02D0"), false, "two palatal then two length marks"},
        {bare("n\u02D0\u02B2"), true, "length then palatal"},
        {bare("t"), false, "featureless t"},
        {bare("\u0294", TokenType::Glottal), false, "glottal stop"},
        {bare(""), false, "empty"},
        {bare("\u0251", TokenType::Vowel), false, "vowel"},
    };
    for (const Case& c : cases) EXPECT_EQ(is_sonorant(c.token), c.sonorant) << c.what;
}

TEST(Sonority, IsVoicedObstruent) {
    struct Case {
        Token token;
        bool voiced;
        const char* what;
    };
    const Case cases[] = {
        {make_consonant("z", ""), true, "z"},
        {make_consonant("d\u02B2", ""), true, "dʲ"},
        {make_consonant("b\u02B2", ""), true, "bʲ row is Voiced"},
        {make_consonant("\u0266", ""), true, "ɦ"},
        {make_consonant("s", ""), false, "s"},
        {make_consonant("n", ""), false, "sonorant"},
        {with_voicing("z", Voicing::Voiced, TokenType::Glide), true, "glide with Voiced features"},
        {with_voicing("z", Voicing::Voiced, TokenType::Vowel), false, "vowel type"},
        {with_voicing("z", Voicing::Voiced, TokenType::Glottal), false, "glottal type"},
        {bare("z"), false, "no features: the set is not consulted"},
        {bare("d\u02D0"), false, "long d without features"},
        {bare("n"), false, "featureless sonorant"},
    };
    for (const Case& c : cases) EXPECT_EQ(is_voiced_obstruent(c.token), c.voiced) << c.what;
}

TEST(CodaLength, Clusters) {
    struct Case {
        std::string_view cluster;
        std::size_t coda;
    };
    const Case cases[] = {
        {"", 0},
        {"k", 0},
        {"r", 0},
        {"j", 0},
        // two sonorants: split unless the second is exactly j or ʋ
        {"r n", 1},
        {"l\u02B2 j", 0},
        {"r \u028B", 0},
        {"n \u028B\u02D0", 1},
        {"r w", 1},
        {"m l", 1},
        // sonorant + obstruent, obstruent + sonorant
        {"r k", 1},
        {"j s", 1},
        {"k r", 0},
        {"s n\u02B2", 0},
        // two obstruents
        {"s t", 0},
        {"s d", 1},
        {"z t", 1},
        {"z d", 1},
        {"d z", 1},
        {"b d", 0},
        {"z \u0292", 0},
        {"\u0292 d\u0361\u0292", 1},
        {"d\u0361\u0292 b", 0},
        {"\u0266 z", 0},
        // a glottal stop is neither sonorant nor voiced
        {"\u0294 t", 0},
        {"\u0294 d", 1},
        {"\u0294 r", 0},
        {"r \u0294", 1},
        // three or more: only the first token counts
        {"r s t", 1},
        {"j s t", 1},
        {"s t r", 0},
        {"z d r", 0},
        {"\u0294 j \u028B", 0},
        {"m \u0294 j", 1},
        {"n s t r", 1},
    };
    for (const Case& c : cases) {
        const std::vector<Token> ts = parse(c.cluster);
        EXPECT_EQ(coda_length(ts), c.coda) << c.cluster;
    }
}

TEST(CodaLength, FeaturelessVoicedTokensCountAsVoiceless) {
    // Long voiced obstruents have no row: both count as not voiced, so stay together.
    const std::vector<Token> cluster = {bare("z\u02D0"), make_consonant("d", "")};
    EXPECT_EQ(coda_length(cluster), 1u);
    const std::vector<Token> both_bare = {bare("z\u02D0"), bare("d\u02D0")};
    EXPECT_EQ(coda_length(both_bare), 0u);
}

TEST(Syllabify, Cuts) {
    struct Case {
        std::string_view tokens;
        std::string_view syllables;
        std::string_view open;  // one letter per syllable: o open, c closed
    };
    const Case cases[] = {
        {"m \u0251 m k \u0251", "m\u0251m.k\u0251", "co"},
        {"\u0251 r m i", "\u0251r.mi", "co"},
        {"m i l\u02B2 j \u0254 n", "mi.l\u02B2j\u0254n", "oc"},
        {"s \u025B s t r \u0251", "s\u025B.str\u0251", "oo"},
        {"\u0251 z d \u0251", "\u0251z.d\u0251", "co"},
        {"\u0251 b d \u0251", "\u0251.bd\u0251", "oo"},
        {"\u0292 \u026A t\u02B2\u02D0 \u0251", "\u0292\u026A.t\u02B2\u02D0\u0251", "oo"},
        // vowels side by side
        {"\u0251 \u0251", "\u0251.\u0251", "oo"},
        // glides and glottal stops never make a syllable
        {"s i m \u0294 j \u0251", "sim.\u0294j\u0251", "co"},
        {"\u0251 u\u032F", "\u0251u\u032F", "c"},
        {"j \u0251", "j\u0251", "o"},
        {"\u0251 j", "\u0251j", "c"},
        // everything after the last vowel closes the last syllable
        {"\u0251 s t r", "\u0251str", "c"},
        {"k \u0251", "k\u0251", "o"},
        {"\u0251", "\u0251", "o"},
        {"s t r \u0251 s t r \u0251 s t r", "str\u0251.str\u0251str", "oc"},
        // no vowels: one closed syllable with every token
        {"\u0283", "\u0283", "c"},
        {"\u0283 t\u0361\u0283", "\u0283t\u0361\u0283", "c"},
        {"", "", "c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tokens));
        const std::vector<Token> ts = parse(c.tokens);
        const std::vector<Syllable> ss = syllabify(ts, 255);
        EXPECT_EQ(cut(ss), c.syllables);
        std::string open;
        for (const Syllable& s : ss) open += s.is_open ? 'o' : 'c';
        EXPECT_EQ(open, c.open);
        // The syllables cover the token list in order, each token once.
        std::size_t next = 0;
        for (const Syllable& s : ss) {
            EXPECT_EQ(s.token_begin, next);
            next += s.token_count;
            EXPECT_FALSE(s.stressed);
        }
        EXPECT_EQ(next, ts.size());
    }
}

TEST(Syllabify, WordIsTheSourcesJoined) {
    std::vector<Token> ts = {make_consonant("s", "с"), make_vowel("i", "і", 0),
                             make_consonant("m", "м"), make_glottal("'"),
                             make_consonant("j", "я"), make_vowel("\u0251", "", 1)};
    const std::vector<Syllable> ss = syllabify(ts, 0);
    ASSERT_EQ(ss.size(), 2u);
    EXPECT_EQ(ss[0].word, "сім");
    EXPECT_EQ(ss[1].word, "'я");
    EXPECT_EQ(ss[0].token_count, 3u);
    EXPECT_EQ(ss[1].token_begin, 3u);
    EXPECT_EQ(ss[1].token_count, 3u);

    const std::vector<Syllable> empty = syllabify({}, 0);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].ipa, "");
    EXPECT_EQ(empty[0].word, "");
    EXPECT_EQ(empty[0].token_count, 0u);
    EXPECT_FALSE(empty[0].stressed);
    EXPECT_FALSE(empty[0].is_open);
}

TEST(Syllabify, StressNeedsTheFlagAndTheIndex) {
    struct Case {
        std::string_view tokens;
        std::uint8_t stress;
        std::string_view stressed;  // one digit per syllable
    };
    const Case cases[] = {
        {"m \u0251 m \u0251!", 1, "01"},
        {"m \u0251! m \u0251", 0, "10"},
        // the flag without a matching index
        {"m \u0251 m \u0251!", 0, "00"},
        // the index without the flag
        {"m \u0251 m \u0251", 1, "00"},
        // beyond the vowels
        {"m \u0251 m \u0251", 2, "00"},
        {"m \u0251 m \u0251", 255, "00"},
        // no vowels
        {"\u0283", 0, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tokens));
        std::string stressed;
        for (const Syllable& s : syllabify(parse(c.tokens), c.stress)) stressed += s.stressed ? '1' : '0';
        EXPECT_EQ(stressed, c.stressed);
    }
}

TEST(Syllabify, IndexIsComparedAsEightBits) {
    std::vector<Token> ts = {make_vowel("\u0251", "", -1), make_vowel("\u0251", "", -128)};
    ts[0].stressed = true;
    ts[1].stressed = true;
    std::vector<Syllable> ss = syllabify(ts, 255);
    ASSERT_EQ(ss.size(), 2u);
    EXPECT_TRUE(ss[0].stressed);
    EXPECT_FALSE(ss[1].stressed);
    ss = syllabify(ts, 128);
    EXPECT_FALSE(ss[0].stressed);
    EXPECT_TRUE(ss[1].stressed);
}
