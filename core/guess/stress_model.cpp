#include "core/guess/stress_model.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/dict/lookup.hpp"
#include "core/utf8.hpp"

namespace lexovia::guess {
namespace {

constexpr char32_t WORD_START = U'^';
constexpr char32_t WORD_END = U'$';

// The model numbers vowels as the dictionary numbers its stresses.
bool is_vowel(char32_t c) { return dict::is_marking_vowel(c); }

// Places are counted up to these and pooled beyond: words with the stress
// nine vowels from either edge are too few to learn each place apart.
constexpr std::size_t MAX_PLACE = 8;
constexpr std::size_t MAX_VOWELS = 9;
// The letters around a vowel, as (before, after) counts: the vowel itself
// alone, short contexts on either side, and longer lopsided ones, which
// catch suffixes (-ува́-) and roots.
constexpr std::array<std::pair<std::size_t, std::size_t>, 14> WINDOWS = {{
    {0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 1}, {1, 2}, {2, 2},
    {3, 1}, {1, 3}, {3, 3}, {0, 3}, {3, 0}, {2, 4}, {4, 2},
}};
// Endings and beginnings of these lengths (markers included) are read.
constexpr std::size_t MIN_EDGE = 2;
constexpr std::size_t MAX_ENDING = 9;
constexpr std::size_t MAX_BEGINNING = 6;
// The rest of the word after the vowel, or before it, when it is this short:
// the whole inflected ending or prefix.
constexpr std::size_t MAX_TAIL = 7;
constexpr std::size_t MAX_HEAD = 5;
// Letters of each edge in the beginning-with-ending feature (which tells a
// stressed prefix, ви́-, from an unstressed one by the word's ending).
constexpr std::size_t EDGE_PAIR = 3;

std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

const std::array<std::uint32_t, 256> CRC_TABLE = make_crc_table();

// Builds one feature string at a time (a tag, then letters of the word)
// and hashes it.
class FeatureWriter {
public:
    FeatureWriter(std::u32string_view word, std::vector<std::uint32_t>& out) : word_(word), out_(out) {}

    FeatureWriter& start(std::string_view tag) {
        text_.assign(tag);
        return *this;
    }
    // Appends word[from, to).
    FeatureWriter& letters(std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) utf8::append(text_, word_[i]);
        return *this;
    }
    FeatureWriter& mark(char c) {
        text_ += c;
        return *this;
    }
    void finish() { out_.push_back(crc32(text_)); }

    // tag + word[from, to)
    void add(std::string_view tag, std::size_t from, std::size_t to) { start(tag).letters(from, to).finish(); }

private:
    std::u32string_view word_;
    std::vector<std::uint32_t>& out_;
    std::string text_;
};

std::string tag(char letter, std::size_t digit) {
    return std::string{letter, static_cast<char>('0' + digit)};
}

}  // namespace

std::uint32_t crc32(std::string_view bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes) c = CRC_TABLE[(c ^ static_cast<unsigned char>(b)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::u32string normalise(std::string_view utf8_word) {
    const std::string key = dict::normalize_word(utf8_word);
    std::u32string out;
    out.reserve(key.size());
    for (std::size_t pos = 0; pos < key.size();) out += utf8::decode_next(key, pos);
    return out;
}

std::vector<std::size_t> vowel_positions(std::u32string_view word) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (is_vowel(word[i])) out.push_back(i);
    return out;
}

void feature_hashes(std::u32string_view word, std::vector<std::uint32_t>& hashes,
                    std::vector<std::uint32_t>& counts) {
    std::u32string x;
    x.reserve(word.size() + 2);
    x += WORD_START;
    x += word;
    x += WORD_END;
    const std::size_t n = x.size();
    const std::vector<std::size_t> vowels = vowel_positions(x);
    const std::size_t nv = vowels.size();
    FeatureWriter w(x, hashes);
    for (std::size_t k = 0; k < nv; ++k) {
        const std::size_t before = hashes.size();
        const std::size_t i = vowels[k];
        const std::size_t j = std::min(nv - 1 - k, MAX_PLACE);
        const std::size_t from_start = std::min(k, MAX_PLACE);
        w.add(tag('j', j), 0, 0);
        w.add(tag('k', from_start), 0, 0);
        w.add(tag('j', j) + "_" + static_cast<char>('0' + std::min(nv, MAX_VOWELS)), 0, 0);
        for (const auto& [a, b] : WINDOWS) {
            w.add(std::string{'w', static_cast<char>('0' + a), static_cast<char>('0' + b)}, i - std::min(i, a),
                  std::min(n, i + b + 1));
        }
        for (std::size_t len = MIN_EDGE; len <= std::min(n, MAX_ENDING); ++len) w.add(tag('s', j), n - len, n);
        for (std::size_t len = MIN_EDGE; len <= std::min(n, MAX_BEGINNING); ++len) w.add(tag('p', from_start), 0, len);
        if (n - i - 1 <= MAX_TAIL) w.add("t", i + 1, n);
        if (i <= MAX_HEAD) w.add("h", 0, i);
        const std::size_t edge = std::min(n, EDGE_PAIR);
        w.start(tag('x', j)).letters(0, edge).mark('|').letters(n - edge, n).finish();
        counts.push_back(static_cast<std::uint32_t>(hashes.size() - before));
    }
}

std::optional<Model> Model::view(std::string_view image) {
    if (image.size() < MODEL_HEADER_SIZE || std::memcmp(image.data(), MODEL_MAGIC, 4) != 0) return std::nullopt;
    std::uint32_t version, bits;
    float scale, bias;
    std::memcpy(&version, image.data() + 4, 4);
    std::memcpy(&bits, image.data() + 8, 4);
    std::memcpy(&scale, image.data() + 12, 4);
    std::memcpy(&bias, image.data() + 16, 4);
    if (version != MODEL_VERSION || bits < MIN_BITS || bits > MAX_BITS || !std::isfinite(scale) ||
        !std::isfinite(bias) || image.size() != MODEL_HEADER_SIZE + (std::size_t{1} << bits)) {
        return std::nullopt;
    }
    const auto* weights = reinterpret_cast<const std::int8_t*>(image.data() + MODEL_HEADER_SIZE);
    return Model(weights, (std::uint32_t{1} << bits) - 1, scale, bias);
}

std::optional<Guess> Model::guess(std::string_view utf8_word) const {
    thread_local std::vector<std::uint32_t> hashes, counts;
    hashes.clear();
    counts.clear();
    feature_hashes(normalise(utf8_word), hashes, counts);
    if (counts.empty()) return std::nullopt;
    std::vector<double> scores;
    scores.reserve(counts.size());
    std::size_t at = 0;
    for (const std::uint32_t count : counts) {
        std::int32_t sum = 0;
        for (std::uint32_t f = 0; f < count; ++f) sum += weights_[hashes[at + f] & mask_];
        at += count;
        scores.push_back(static_cast<double>(bias_) + static_cast<double>(scale_) * sum);
    }
    const std::size_t best = static_cast<std::size_t>(std::max_element(scores.begin(), scores.end()) - scores.begin());
    double total = 0;
    for (const double s : scores) total += std::exp(s - scores[best]);
    return Guess{best, 1.0 / total};
}

}  // namespace lexovia::guess
