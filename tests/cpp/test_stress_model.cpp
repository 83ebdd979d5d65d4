// The stress model's scorer: its hash, the words it reads, the features of
// each vowel, what it accepts as a model image and how it turns weights
// into a guess.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/guess/stress_model.hpp"

using namespace lexovia::guess;

namespace {

constexpr std::uint32_t BITS = 12;
constexpr std::uint32_t MASK = (1u << BITS) - 1;

// A model image of 2^BITS zero weights but the given ones (row -> weight),
// scale 1, bias 0.
std::string model_image(const std::vector<std::pair<std::uint32_t, std::int8_t>>& weights,
                        std::uint32_t bits = BITS, std::uint32_t version = MODEL_VERSION, float scale = 1.0f) {
    std::string image(MODEL_MAGIC, 4);
    const float bias = 0.0f;
    image.append(reinterpret_cast<const char*>(&version), 4);
    image.append(reinterpret_cast<const char*>(&bits), 4);
    image.append(reinterpret_cast<const char*>(&scale), 4);
    image.append(reinterpret_cast<const char*>(&bias), 4);
    image.append(std::size_t{1} << bits, '\0');
    for (const auto& [row, w] : weights) image[MODEL_HEADER_SIZE + row] = static_cast<char>(w);
    return image;
}

std::uint32_t row_of(std::string_view feature) { return crc32(feature) & MASK; }

TEST(StressModelHash, IsZlibCrc32) {
    struct Case { std::string_view bytes; std::uint32_t crc; };
    for (const Case& c : {Case{"", 0u}, Case{"123456789", 0xCBF43926u}, Case{"a", 0xE8B7BE43u},
                          Case{"The quick brown fox jumps over the lazy dog", 0x414FA339u}}) {
        EXPECT_EQ(crc32(c.bytes), c.crc) << c.bytes;
    }
}

TEST(StressModelWords, LowerCasedWithOneApostrophe) {
    struct Case { std::string_view in; std::u32string_view out; };
    for (const Case& c : {Case{"Сім'я", U"сімʼя"}, Case{"СІМ’Я", U"сімʼя"}, Case{"сімʼя", U"сімʼя"},
                          Case{"ҐАНОК", U"ґанок"}, Case{"", U""}, Case{"abc", U"abc"}}) {
        EXPECT_EQ(normalise(c.in), c.out) << c.in;
    }
}

TEST(StressModelWords, VowelsAreTheTenUkrainianOnes) {
    EXPECT_EQ(vowel_positions(U"їжачок"), (std::vector<std::size_t>{0, 2, 4}));
    EXPECT_EQ(vowel_positions(U"єдність"), (std::vector<std::size_t>{0, 3}));
    EXPECT_EQ(vowel_positions(U"brrr ьй"), (std::vector<std::size_t>{}));
    EXPECT_EQ(vowel_positions(U"aeiou"), (std::vector<std::size_t>{}));   // Latin letters are no vowels
}

TEST(StressModelFeatures, OneGroupPerVowelWithItsPlaceAndContext) {
    std::vector<std::uint32_t> hashes, counts;
    feature_hashes(U"мама", hashes, counts);
    ASSERT_EQ(counts.size(), 2u);
    ASSERT_EQ(counts[0] + counts[1], hashes.size());
    const std::vector<std::uint32_t> first(hashes.begin(), hashes.begin() + counts[0]);
    const std::vector<std::uint32_t> second(hashes.begin() + counts[0], hashes.end());
    auto has = [](const std::vector<std::uint32_t>& group, std::string_view feature) {
        return std::find(group.begin(), group.end(), crc32(feature)) != group.end();
    };
    // The first а: one vowel after it, none before; the word seen as ^мама$.
    for (std::string_view f : {"j1", "k0", "j1_2", "w11мам", "s1а$", "s1^мама$", "p0^м", "tма$", "h^м",
                               "x1^ма|ма$"}) {
        EXPECT_TRUE(has(first, f)) << f;
        EXPECT_FALSE(has(second, f)) << f;
    }
    for (std::string_view f : {"j0", "k1", "j0_2", "w00а", "w11ма$", "w22ама$", "s0а$", "p1^м", "t$", "h^мам"}) {
        EXPECT_TRUE(has(second, f)) << f;
    }
    // The whole rest of a word is read only when it is short.
    hashes.clear();
    counts.clear();
    feature_hashes(U"перепрограмування", hashes, counts);
    EXPECT_EQ(std::find(hashes.begin(), hashes.begin() + counts[0], crc32("tрепрограмування$")),
              hashes.begin() + counts[0]);
    EXPECT_NE(std::find(hashes.begin(), hashes.end(), crc32("tння$")), hashes.end());   // the а before -ння
    EXPECT_EQ(std::find(hashes.end() - counts.back(), hashes.end(), crc32("h^перепрограмуван")), hashes.end());
}

TEST(StressModelFeatures, NoVowelNoGroup) {
    std::vector<std::uint32_t> hashes, counts;
    feature_hashes(U"вйськ", hashes, counts);
    feature_hashes(U"", hashes, counts);
    EXPECT_TRUE(hashes.empty());
    EXPECT_TRUE(counts.empty());
}

TEST(StressModelImage, AcceptsOnlyAWholeWellFormedImage) {
    const std::string good = model_image({});
    EXPECT_TRUE(Model::view(good).has_value());
    EXPECT_FALSE(Model::view(good.substr(0, good.size() - 1)).has_value());
    EXPECT_FALSE(Model::view(good + '\0').has_value());
    EXPECT_FALSE(Model::view(good.substr(0, MODEL_HEADER_SIZE - 1)).has_value());
    EXPECT_FALSE(Model::view("").has_value());
    std::string magic = good;
    magic[0] = 'X';
    EXPECT_FALSE(Model::view(magic).has_value());
    EXPECT_FALSE(Model::view(model_image({}, BITS, MODEL_VERSION + 1)).has_value());
    EXPECT_FALSE(Model::view(model_image({}, MIN_BITS - 1)).has_value());
    EXPECT_TRUE(Model::view(model_image({}, MIN_BITS)).has_value());
    EXPECT_FALSE(Model::view(model_image({}, BITS, MODEL_VERSION, std::nanf(""))).has_value());
    EXPECT_FALSE(Model::view(model_image({}, BITS, MODEL_VERSION, INFINITY)).has_value());
    // A header claiming more bits than the largest model, with nothing after it.
    std::string huge = good.substr(0, MODEL_HEADER_SIZE);
    const std::uint32_t bits = 40;
    std::memcpy(huge.data() + 8, &bits, 4);
    EXPECT_FALSE(Model::view(huge).has_value());
}

TEST(StressModelGuess, TheBestScoredVowelWithItsSoftmaxShare) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint32_t, std::int8_t>> weights;
        std::string_view word;
        std::size_t vowel;
        double confidence;
    };
    const double e2 = std::exp(2.0);
    const std::vector<Case> cases = {
        {"no weights: a tie goes to the first vowel", {}, "мама", 0, 0.5},
        {"the last vowel favoured", {{row_of("j0"), 2}}, "мама", 1, e2 / (1 + e2)},
        {"the first vowel favoured", {{row_of("k0"), 2}}, "молоко", 0, e2 / (2 + e2)},
        {"an ending read from the middle vowel", {{row_of("s1ко$"), 2}}, "молоко", 1, e2 / (2 + e2)},
        {"read lower-cased", {{row_of("s1ко$"), 2}}, "МОЛОКО", 1, e2 / (2 + e2)},
        {"one vowel is sure", {}, "кіт", 0, 1.0},
    };
    for (const Case& c : cases) {
        const std::string image = model_image(c.weights);
        const auto model = Model::view(image);
        ASSERT_TRUE(model.has_value());
        const auto g = model->guess(c.word);
        ASSERT_TRUE(g.has_value()) << c.name;
        EXPECT_EQ(g->vowel, c.vowel) << c.name;
        EXPECT_NEAR(g->confidence, c.confidence, 1e-9) << c.name;
    }
}

TEST(StressModelGuess, NoneWithoutAVowel) {
    const std::string image = model_image({});
    const auto model = Model::view(image);
    ASSERT_TRUE(model.has_value());
    for (std::string_view w : {"", "брр", "xyz", "\xff\xfe"}) EXPECT_FALSE(model->guess(w).has_value()) << w;
}

}  // namespace
