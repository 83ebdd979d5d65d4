// The stress model: guesses the stressed vowel of a word the dictionary
// lacks, from its spelling alone.
//
// Each vowel of the word is a candidate, described by hashed features of
// the spelling around it: the letters on either side, its place counted
// from the start and from the end, the word's ending and beginning as seen
// from that place (how far the stress lies from an ending is what Ukrainian
// paradigms keep), and the part of the word after it. A linear model scores
// every candidate; the best one is the guess, and its softmax share among
// the word's candidates the confidence.
//
// The features are the contract between the trainer (tools/text_data,
// which reads them through lexovia_text._guesser.feature_rows so that both
// sides hash the very same strings) and this scorer. Each feature is a
// short UTF-8 string, a tag followed by letters, hashed with CRC-32 (zlib's
// polynomial); a model of `bits` keeps the low `bits` bits as the row of
// its weight table. Words are read lower-cased, with every apostrophe as
// U+02BC, as the dictionary spells them.
//
// The model image, as shipped (little-endian):
//   "LXSM" | u32 version (1) | u32 bits | f32 scale | f32 bias | i8[2^bits]
// A weight is scale * i8. Model views an image it does not own: the image
// must outlive the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lexovia::guess {

inline constexpr char MODEL_MAGIC[4] = {'L', 'X', 'S', 'M'};
inline constexpr std::uint32_t MODEL_VERSION = 1;
inline constexpr std::size_t MODEL_HEADER_SIZE = 20;
// Tables smaller than this collide too much to be a model; larger ones
// would not fit the wheel's budget for the model.
inline constexpr std::uint32_t MIN_BITS = 10;
inline constexpr std::uint32_t MAX_BITS = 26;

// The words the model reads: a word as the dictionary normalises its keys
// (lower-cased, apostrophes as U+02BC), as code points.
std::u32string normalise(std::string_view utf8_word);

// The vowels of a normalised word (indexes into it).
std::vector<std::size_t> vowel_positions(std::u32string_view word);

// Appends the CRC-32 of every feature of each vowel of `word` (normalised)
// to `hashes`, and for each vowel, in order, the number it appended to
// `counts`. A word without a vowel appends nothing.
void feature_hashes(std::u32string_view word, std::vector<std::uint32_t>& hashes,
                    std::vector<std::uint32_t>& counts);

// CRC-32 as zlib computes it.
std::uint32_t crc32(std::string_view bytes);

struct Guess {
    std::size_t vowel;   // 0-based among the word's vowels
    double confidence;   // the guess's softmax share, in (0, 1]
};

class Model {
public:
    // nullopt when `image` is no model image (wrong magic, version or size).
    static std::optional<Model> view(std::string_view image);

    // The stressed vowel of a word (UTF-8, any case); nullopt for a word
    // without a vowel.
    std::optional<Guess> guess(std::string_view utf8_word) const;

private:
    Model(const std::int8_t* weights, std::uint32_t mask, float scale, float bias)
        : weights_(weights), mask_(mask), scale_(scale), bias_(bias) {}

    const std::int8_t* weights_;
    std::uint32_t mask_;
    float scale_;
    float bias_;
};

}  // namespace lexovia::guess
