// mark() and the dictionary's hash index against the slow paths they stand
// for, on random images: mark() must give what lookup()'s first reading
// gives (or the word unchanged), and find() what a plain binary search over
// the entries gives, sorted or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/dict/image_decoder.hpp"
#include "core/dict/lookup.hpp"
#include "image_builder.hpp"
#include "tests/fuzz/dump.hpp"

using namespace lexovia;
using namespace lexovia::dict;
using namespace lexovia::testing;

namespace {

// What mark() is defined as: the first reading of the full lookup.
std::string mark_by_lookup(const Dictionary& d, std::string_view word) {
    const LookupResult r = lookup(d, word);
    return r.readings.empty() ? std::string(word) : r.readings.front().stressed_form;
}

// Pieces words are made of: vowels (counted and not), consonants, capitals
// (normalised before the search), every apostrophe variant, a typed stress
// mark, Latin letters and an ill-formed byte.
const std::vector<std::string> PIECES = {
    "а", "е", "и", "і", "ї", "є", "о", "у", "ю", "я", "б", "в", "д", "ж", "з", "л", "м", "н", "р", "с", "т",
    "ш", "щ", "ь", "А", "О", "І", "Я", "Б", "'", "’", "ʼ", "`", "\u0301", "a", "E", "x", "\xC3", "ё", "ы",
};
const std::string ILL_FORMED = "\xC3";

class RandomImages {
public:
    explicit RandomImages(std::uint32_t seed) : rng_(seed) {}

    // Image keys are well-formed UTF-8 (the decoder checks); queries need not be.
    std::string word(bool well_formed = false) {
        std::string w;
        const int n = pick(0, 9);
        for (int i = 0; i < n; ++i) {
            const std::string& piece = PIECES[pick(0, static_cast<int>(PIECES.size()) - 1)];
            if (!well_formed || piece != ILL_FORMED) w += piece;
        }
        return w;
    }

    // Keys as the image writer stores them (normalised) or, now and then,
    // as typed; positions anywhere, including past the vowels, repeated,
    // absent, or none in any record.
    ImageContent image(bool sorted) {
        ImageContent c;
        c.pos_tags = {"NOUN", "VERB"};
        c.feature_keys = {"Case"};
        c.feature_values = {"Nom"};
        c.lemmas = {"L"};
        c.definitions = {"D"};
        const int entries = pick(0, 40);
        for (int e = 0; e < entries; ++e) {
            const std::string typed = word(true);
            Entry entry{pick(0, 3) == 0 ? typed : normalize_word(typed), {}};
            const int records = pick(0, 4);
            for (int r = 0; r < records; ++r) {
                Record rec;
                const int positions = pick(0, 3);
                for (int p = 0; p < positions; ++p)
                    rec.positions.push_back(static_cast<std::uint8_t>(pick(0, 9) == 0 ? pick(0, 255) : pick(0, 5)));
                rec.pos = {static_cast<std::uint8_t>(pick(0, 2))};
                if (pick(0, 1)) rec.features.push_back({0, {0}});
                if (pick(0, 1)) rec.lemma = static_cast<std::uint32_t>(pick(0, 1));
                if (pick(0, 1)) rec.definition = static_cast<std::uint32_t>(pick(0, 1));
                entry.records.push_back(std::move(rec));
            }
            c.entries.push_back(std::move(entry));
            if (pick(0, 7) == 0) c.entries.push_back(c.entries.back());  // a repeated key
        }
        if (sorted) {
            std::stable_sort(c.entries.begin(), c.entries.end(),
                             [](const Entry& a, const Entry& b) { return a.key < b.key; });
        }
        return c;
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

private:
    std::mt19937 rng_;
};

// The words to try on an image: every key, variants of it, random words.
std::vector<std::string> queries(const ImageContent& c, RandomImages& random) {
    std::vector<std::string> out;
    for (const Entry& e : c.entries) {
        out.push_back(e.key);
        out.emplace_back(e.key).append("а");
        out.push_back(e.key.substr(0, e.key.size() / 2));
        out.push_back("Б");
        out.back().append(e.key);
    }
    for (int i = 0; i < 40; ++i) out.push_back(random.word());
    return out;
}

// Calls check(d, w, where) for every query on 300 random images, each once
// with sorted keys and once without.
template <typename Check>
void on_random_images(Check&& check) {
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        RandomImages random(seed);
        for (const bool sorted : {true, false}) {
            const ImageContent c = random.image(sorted);
            const Dictionary d = decode_image(encode(c));
            const std::string where = "seed " + std::to_string(seed) + " sorted " + std::to_string(sorted);
            for (const std::string& w : queries(c, random)) check(d, w, where);
        }
    }
}

TEST(MarkFastPath, EqualsTheFirstReadingOfLookupOnRandomImages) {
    on_random_images([](const Dictionary& d, const std::string& w, const std::string& where) {
        ASSERT_EQ(mark(d, w), mark_by_lookup(d, w)) << where << " word " << w;
        const auto position = first_stress(d, normalize_word(w));
        ASSERT_EQ(position.has_value(), !lookup(d, w).readings.empty()) << w;
    });
}

TEST(HashIndex, FindsWhatTheBinarySearchFinds) {
    on_random_images([](const Dictionary& d, const std::string& w, const std::string& where) {
        std::string with_nul = w;
        with_nul.push_back('\0');
        for (const std::string& q : {w, normalize_word(w), with_nul})
            ASSERT_EQ(d.find(q), fuzz::plain_find(d, q)) << where << " key " << q;
    });
}

TEST(HashIndex, EveryKeyOfALargeDictionaryIsFoundAtItsEntry) {
    // Enough entries for long probe runs and for tags of few bits to collide.
    ImageContent c;
    for (int i = 0; i < 70000; ++i) {
        std::string key = "k";
        key += std::to_string(i);
        c.entries.push_back({std::move(key), {}});
    }
    c.entries.push_back({"", {}});
    std::sort(c.entries.begin(), c.entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    const Dictionary d = decode_image(encode(c));
    for (std::size_t i = 0; i < d.entry_count(); ++i) ASSERT_EQ(d.find(d.key(i)), i);
    for (const std::string& q : {std::string("k"), std::string("k70000"), std::string("k1x"), std::string("k0\0", 3)})
        EXPECT_EQ(d.find(q), std::nullopt) << q;
}

}  // namespace
