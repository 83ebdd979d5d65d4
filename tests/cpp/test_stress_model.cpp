// The stress model's scorer: the features of each vowel, the model
// images it accepts and how it turns weights into a guess.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/guess/stress_model.hpp"

using namespace lexovia::guess;

namespace {

constexpr std::uint32_t BITS = 12;

// A model image of zero weights but the given features' (scale 1, bias 0).
std::string model_image(const std::vector<std::pair<std::string_view, std::int8_t>>& weights,
                        std::uint32_t bits = BITS, std::uint32_t version = MODEL_VERSION, float scale = 1.0f) {
    std::string image(MODEL_MAGIC, 4);
    const float bias = 0.0f;
    for (const void* field : {static_cast<const void*>(&version), static_cast<const void*>(&bits),
                              static_cast<const void*>(&scale), static_cast<const void*>(&bias)}) {
        image.append(static_cast<const char*>(field), 4);
    }
    image.append(std::size_t{1} << bits, '\0');
    for (const auto& [feature, w] : weights) image[MODEL_HEADER_SIZE + (crc32(feature) & ((1u << bits) - 1))] = w;
    return image;
}

TEST(StressModel, FeaturesOfEachVowel) {
    struct Case { std::u32string_view word; std::size_t vowel; std::string_view feature; bool present; };
    const std::vector<Case> cases = {
        // ^мама$: place from the end and the start, the vowel count, letters
        // around, endings and beginnings seen from the vowel, the rest of
        // the word after and before it, beginning with ending.
        {U"мама", 0, "j1", true}, {U"мама", 0, "k0", true}, {U"мама", 0, "j1_2", true}, {U"мама", 0, "w11мам", true},
        {U"мама", 0, "s1^мама$", true}, {U"мама", 0, "p0^м", true}, {U"мама", 0, "tма$", true},
        {U"мама", 0, "h^м", true}, {U"мама", 0, "x1^ма|ма$", true},
        {U"мама", 1, "j0", true}, {U"мама", 1, "s0а$", true}, {U"мама", 1, "j1", false},
        // the rest of a long word is read only near its edges
        {U"перепрограмування", 5, "tння$", true}, {U"перепрограмування", 0, "tрепрограмування$", false},
        {U"перепрограмування", 6, "h^перепрограмуван", false},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> hashes, counts;
        feature_hashes(c.word, hashes, counts);
        ASSERT_LT(c.vowel, counts.size());
        std::size_t from = 0;
        for (std::size_t v = 0; v < c.vowel; ++v) from += counts[v];
        const auto begin = hashes.begin() + static_cast<std::ptrdiff_t>(from);
        const bool found = std::find(begin, begin + counts[c.vowel], crc32(c.feature)) != begin + counts[c.vowel];
        EXPECT_EQ(found, c.present) << c.feature;
    }
}

TEST(StressModel, AcceptsOnlyAWholeWellFormedImage) {
    const std::string good = model_image({});
    std::string magic = good;
    magic[0] = 'X';
    struct Case { const char* name; std::string image; bool accepted; };
    const std::vector<Case> cases = {
        {"well formed", good, true},
        {"smallest table", model_image({}, MIN_BITS), true},
        {"one byte short", good.substr(0, good.size() - 1), false},
        {"empty", "", false},
        {"wrong magic", magic, false},
        {"later version", model_image({}, BITS, MODEL_VERSION + 1), false},
        {"too few bits", model_image({}, MIN_BITS - 1), false},
        {"scale not a number", model_image({}, BITS, MODEL_VERSION, std::nanf("")), false},
    };
    for (const Case& c : cases) EXPECT_EQ(Model::view(c.image).has_value(), c.accepted) << c.name;
}

TEST(StressModel, GuessIsTheBestScoredVowelWithItsSoftmaxShare) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string_view, std::int8_t>> weights;
        std::string_view word;
        std::optional<std::size_t> vowel;
        double confidence;
    };
    const double e2 = std::exp(2.0);
    const std::vector<Case> cases = {
        {"no weights: a tie goes to the first vowel", {}, "мама", 0, 0.5},
        {"the last vowel favoured", {{"j0", 2}}, "мама", 1, e2 / (1 + e2)},
        {"the first vowel favoured", {{"k0", 2}}, "молоко", 0, e2 / (2 + e2)},
        {"read lower-cased", {{"s1ко$", 2}}, "МОЛОКО", 1, e2 / (2 + e2)},
        {"no vowel, no guess", {}, "брр", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const std::string image = model_image(c.weights);
        const auto g = Model::view(image)->guess(c.word);
        ASSERT_EQ(g.has_value(), c.vowel.has_value()) << c.name;
        if (!g) continue;
        EXPECT_EQ(g->vowel, *c.vowel) << c.name;
        EXPECT_NEAR(g->confidence, c.confidence, 1e-9) << c.name;
    }
    EXPECT_EQ(normalise("СІМ’Я"), U"сімʼя");
}

}  // namespace
