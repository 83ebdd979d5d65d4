// Fuzzes the stress model with arbitrary bytes as a word (ill-formed UTF-8
// included), scored by a model whose weights are a fixed pseudo-random
// table: the guess must name one of the word's vowels with a confidence in
// (0, 1], be absent exactly when the word has none, and come from one group
// of features per vowel.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/guess/stress_model.hpp"

using namespace lexovia::guess;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Weights from a linear congruential sequence; scale 0.05, bias -1.
std::string random_model() {
    const std::uint32_t header[] = {MODEL_VERSION, MIN_BITS, 0x3D4CCCCDu, 0xBF800000u};
    std::string image = std::string(MODEL_MAGIC, 4) + std::string(reinterpret_cast<const char*>(header), sizeof header);
    for (std::uint32_t i = 0, state = 12345; i < (1u << MIN_BITS); ++i, state = state * 1103515245u + 12345u)
        image.push_back(static_cast<char>(state >> 24));
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string image = random_model();
    static const Model model = *Model::view(image);
    const std::string_view word(reinterpret_cast<const char*>(data), size);
    const std::u32string normal = normalise(word);
    const std::size_t vowels = vowel_positions(normal).size();
    std::vector<std::uint32_t> hashes, counts;
    feature_hashes(normal, hashes, counts);
    check(counts.size() == vowels);
    std::size_t total = 0;
    for (const std::uint32_t c : counts) total += c;
    check(total == hashes.size());
    const auto g = model.guess(word);
    check(g.has_value() == (vowels > 0));
    if (g) check(g->vowel < vowels && g->confidence > 0 && g->confidence <= 1.0 + 1e-9);
    return 0;
}
