// Fuzzes the stress model with arbitrary bytes. The first byte picks what
// is fuzzed:
// - even: the rest is a word (ill-formed UTF-8 included), scored by a model
//   whose weights are a fixed pseudo-random table; the guess must name one
//   of the word's vowels with a confidence in (0, 1], and be absent exactly
//   when the word has none; the features must come one group per vowel;
// - odd: the rest is a model image, which Model::view must accept only
//   when its header and size hold together, and any accepted one must
//   score a word within the same bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/guess/stress_model.hpp"

using namespace lexovia::guess;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

constexpr std::uint32_t BITS = 12;

std::string random_model() {
    std::string image(MODEL_MAGIC, 4);
    const std::uint32_t version = MODEL_VERSION, bits = BITS;
    const float scale = 0.05f, bias = -1.0f;
    image.append(reinterpret_cast<const char*>(&version), 4);
    image.append(reinterpret_cast<const char*>(&bits), 4);
    image.append(reinterpret_cast<const char*>(&scale), 4);
    image.append(reinterpret_cast<const char*>(&bias), 4);
    std::uint32_t state = 12345;
    for (std::uint32_t i = 0; i < (1u << BITS); ++i) {
        state = state * 1103515245u + 12345u;
        image.push_back(static_cast<char>(state >> 24));
    }
    return image;
}

void check_guess(const Model& model, std::string_view word) {
    const std::size_t vowels = vowel_positions(normalise(word)).size();
    const auto g = model.guess(word);
    check(g.has_value() == (vowels > 0));
    if (g) check(g->vowel < vowels && g->confidence > 0 && g->confidence <= 1.0 + 1e-9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    static const std::string image = random_model();
    static const Model model = *Model::view(image);
    if (data[0] % 2 == 0) {
        check_guess(model, rest);
        std::vector<std::uint32_t> hashes, counts;
        const std::u32string word = normalise(rest);
        feature_hashes(word, hashes, counts);
        check(counts.size() == vowel_positions(word).size());
        std::size_t total = 0;
        for (const std::uint32_t c : counts) total += c;
        check(total == hashes.size());
        return 0;
    }
    const std::string copy(rest);   // the view reads the image in place
    const auto viewed = Model::view(copy);
    std::uint32_t bits = 0;
    if (copy.size() >= MODEL_HEADER_SIZE) std::memcpy(&bits, copy.data() + 8, 4);
    if (viewed) {
        check(bits >= MIN_BITS && bits <= MAX_BITS && copy.size() == MODEL_HEADER_SIZE + (std::size_t{1} << bits));
        check_guess(*viewed, "мама");
    }
    return 0;
}
