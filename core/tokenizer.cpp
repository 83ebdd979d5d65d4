#include "core/tokenizer.hpp"

#include <array>
#include <cstdint>
#include <string>

#include "core/utf8.hpp"

namespace lexovia {
namespace {

struct LetterIpa {
    char32_t letter;
    std::string_view ipa;
};

constexpr LetterIpa VOWEL_LETTERS[] = {
    {U'а', "\u0251"}, {U'е', "\u025B"}, {U'и', "\u026A"},
    {U'і', "i"},      {U'о', "\u0254"}, {U'у', "u"},
};

struct IotatedLetter {
    char32_t letter;
    std::string_view vowel;
    std::string_view glide;
    bool always_iotated;
};

constexpr IotatedLetter IOTATED_LETTERS[] = {
    {U'я', "\u0251", "j", false},
    {U'ю', "u", "j", false},
    {U'є', "\u025B", "j", false},
    {U'ї', "i", "j", true},
};

constexpr LetterIpa CONSONANT_LETTERS[] = {
    {U'б', "b"},        {U'в', "\u028B"},       {U'г', "\u0266"}, {U'ґ', "\u0261"},
    {U'д', "d"},        {U'ж', "\u0292"},       {U'з', "z"},      {U'й', "j"},
    {U'к', "k"},        {U'л', "l"},            {U'м', "m"},      {U'н', "n"},
    {U'п', "p"},        {U'р', "r"},            {U'с', "s"},      {U'т', "t"},
    {U'ф', "f"},        {U'х', "x"},            {U'ц', "t\u0361s"}, {U'ч', "t\u0361\u0283"},
    {U'ш', "\u0283"},
};

struct Digraph {
    char32_t second;
    std::string_view ipa;
    std::string_view source;
};

constexpr Digraph AFFRICATE_DIGRAPHS[] = {
    {U'ж', "d\u0361\u0292", "дж"},
    {U'з', "d\u0361z", "дз"},
};

// Table rows of the letters' sounds, resolved at compile time so that making
// a token needs no search.
template <std::size_t N>
constexpr auto consonant_rows(const LetterIpa (&letters)[N]) {
    std::array<const ConsonantRow*, N> rows{};
    for (std::size_t i = 0; i < N; ++i) rows[i] = consonant_row(letters[i].ipa);
    return rows;
}

template <std::size_t N>
constexpr auto vowel_rows(const LetterIpa (&letters)[N]) {
    std::array<const VowelRow*, N> rows{};
    for (std::size_t i = 0; i < N; ++i) rows[i] = vowel_row(letters[i].ipa);
    return rows;
}

constexpr auto CONSONANT_LETTER_ROWS = consonant_rows(CONSONANT_LETTERS);
constexpr auto VOWEL_LETTER_ROWS = vowel_rows(VOWEL_LETTERS);
constexpr auto IOTATED_VOWEL_ROWS = [] {
    std::array<const VowelRow*, std::size(IOTATED_LETTERS)> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = vowel_row(IOTATED_LETTERS[i].vowel);
    return rows;
}();
constexpr auto IOTATED_GLIDE_ROWS = [] {
    std::array<const ConsonantRow*, std::size(IOTATED_LETTERS)> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = consonant_row(IOTATED_LETTERS[i].glide);
    return rows;
}();

// Word beginnings after which д is not joined with the next ж or з, and the
// position of that д.
struct BlockingPrefix {
    std::u32string_view prefix;
    std::size_t d_position;
};

constexpr BlockingPrefix BLOCKING_PREFIXES[] = {
    {U"від", 2}, {U"під", 2}, {U"над", 2}, {U"перед", 4},
};

constexpr char32_t SOFT_SIGN = U'ь';
constexpr char32_t SHCHA = U'щ';
constexpr char32_t DE = U'д';

constexpr std::u32string_view IOTATION_VOWELS = U"аеєиіїоуюя";

// Which letter table a character belongs to, and its row there. Every
// Ukrainian letter lies in U+0430..U+0491, so a direct table replaces three
// searches per character.
enum class LetterKind : std::uint8_t { Other, Vowel, Iotated, Consonant };

struct LetterInfo {
    LetterKind kind = LetterKind::Other;
    std::uint8_t row = 0;
};

constexpr char32_t FIRST_LETTER = 0x0430;
constexpr char32_t LAST_LETTER = 0x0491;

constexpr auto LETTER_INFO = [] {
    std::array<LetterInfo, LAST_LETTER - FIRST_LETTER + 1> info{};
    const auto add = [&](char32_t c, LetterKind kind, std::size_t row) {
        info[c - FIRST_LETTER] = {kind, static_cast<std::uint8_t>(row)};
    };
    for (std::size_t i = 0; i < std::size(VOWEL_LETTERS); ++i) add(VOWEL_LETTERS[i].letter, LetterKind::Vowel, i);
    for (std::size_t i = 0; i < std::size(IOTATED_LETTERS); ++i)
        add(IOTATED_LETTERS[i].letter, LetterKind::Iotated, i);
    for (std::size_t i = 0; i < std::size(CONSONANT_LETTERS); ++i)
        add(CONSONANT_LETTERS[i].letter, LetterKind::Consonant, i);
    return info;
}();

constexpr LetterInfo letter_info(char32_t c) {
    return (c >= FIRST_LETTER && c <= LAST_LETTER) ? LETTER_INFO[c - FIRST_LETTER] : LetterInfo{};
}

// The UTF-8 text of one letter, without a heap string.
class LetterText {
public:
    explicit LetterText(char32_t c) : size_(utf8::encode(c, buf_)) {}
    operator std::string_view() const { return {buf_, size_}; }

private:
    char buf_[4];
    std::size_t size_;
};

class Tokenizer {
public:
    explicit Tokenizer(std::u32string_view word) : word_(word) { out_.reserve(word.size() + 4); }

    std::vector<Token> run() {
        while (i_ < word_.size()) step();
        if (out_.size() >= 2) merge_geminates_in_place(out_);
        return std::move(out_);
    }

private:
    void step() {
        const char32_t c = word_[i_];
        if (c == DE && i_ + 1 < word_.size()) {
            if (const Digraph* d = find_digraph(word_[i_ + 1]); d && !digraph_blocked()) {
                append(make_consonant(d->ipa, d->source));
                i_ += 2;
                return;
            }
        }
        if (c == SHCHA) {
            append(make_consonant("\u0283", "щ"));
            append(make_consonant("t\u0361\u0283", ""));
        } else if (c == SOFT_SIGN) {
            soft_sign();
        } else if (is_apostrophe(c)) {
            append(make_glottal(LetterText(c)));
        } else {
            const LetterInfo info = letter_info(c);
            switch (info.kind) {
                case LetterKind::Iotated: iotated(info.row); break;
                case LetterKind::Vowel:
                    append(make_vowel(VOWEL_LETTERS[info.row].ipa, LetterText(c), next_vowel_index(),
                                              VOWEL_LETTER_ROWS[info.row]));
                    break;
                case LetterKind::Consonant:
                    append(make_consonant(CONSONANT_LETTERS[info.row].ipa, LetterText(c),
                                                  CONSONANT_LETTER_ROWS[info.row]));
                    break;
                case LetterKind::Other: break;
            }
        }
        ++i_;
    }

    static const Digraph* find_digraph(char32_t second) {
        for (const Digraph& d : AFFRICATE_DIGRAPHS)
            if (d.second == second) return &d;
        return nullptr;
    }

    bool digraph_blocked() const {
        for (const BlockingPrefix& b : BLOCKING_PREFIXES)
            if (i_ == b.d_position && word_.starts_with(b.prefix)) return true;
        return false;
    }

    std::int8_t next_vowel_index() { return static_cast<std::int8_t>(vowel_counter_++); }

    // Every token goes through here, so that the two backward searches below
    // need no scan: the consonants are remembered as they are made.
    void append(Token t) {
        if (t.type == TokenType::Consonant) {
            hard_consonants_.push_back(out_.size());
            last_consonant_ = out_.size();
        }
        out_.push_back(std::move(t));
    }

    // ь softens the nearest earlier consonant that is not soft yet, passing
    // over any other token. A soft consonant never hardens again, so the ones
    // found soft on top of the stack are dropped for good: each consonant is
    // looked at a bounded number of times, and a run of soft signs after
    // vowels or apostrophes ("оьоь...") costs linear time, not quadratic.
    void soft_sign() {
        while (!hard_consonants_.empty() && ends_with_palatal_mark(out_[hard_consonants_.back()].ipa))
            hard_consonants_.pop_back();
        if (hard_consonants_.empty()) return;
        Token& t = out_[hard_consonants_.back()];
        hard_consonants_.pop_back();
        soften(t);
        t.source += "ь";
    }

    void iotated(std::size_t row) {
        const IotatedLetter& letter = IOTATED_LETTERS[row];
        const VowelRow* vowel = IOTATED_VOWEL_ROWS[row];
        const bool glide = i_ == 0 || letter.always_iotated || is_apostrophe(word_[i_ - 1]) ||
                           word_[i_ - 1] == SOFT_SIGN ||
                           IOTATION_VOWELS.find(word_[i_ - 1]) != std::u32string_view::npos;
        if (glide) {
            append(make_consonant(letter.glide, LetterText(letter.letter), IOTATED_GLIDE_ROWS[row]));
            append(make_vowel(letter.vowel, "", next_vowel_index(), vowel));
            return;
        }
        // The vowel softens the last consonant, unless that one is soft already.
        if (last_consonant_ != NO_CONSONANT && !ends_with_palatal_mark(out_[last_consonant_].ipa))
            soften(out_[last_consonant_]);
        append(make_vowel(letter.vowel, LetterText(letter.letter), next_vowel_index(), vowel));
    }

    static constexpr std::size_t NO_CONSONANT = static_cast<std::size_t>(-1);

    std::u32string_view word_;
    std::vector<Token> out_;
    // Indexes into out_ of the consonants ь may still soften, in order; a
    // soft one may linger below the top until it surfaces.
    std::vector<std::size_t> hard_consonants_;
    std::size_t last_consonant_ = NO_CONSONANT;
    std::size_t i_ = 0;
    std::uint8_t vowel_counter_ = 0;
};

// Two consonants are one long one when they are the same sound with
// softness set aside; the merged token settles softness itself.
std::string_view geminate_base(const TokenText& ipa) { return IpaKey(ipa).without_palatal_mark().text(); }

Token merged_geminate(const Token& a, const Token& b) {
    const bool palatal = a.palatalized || b.palatalized;
    Token m = a;
    m.ipa = geminate_base(a.ipa);
    if (palatal) m.ipa += PALATAL_MARK;
    m.ipa += LENGTH_MARK;
    m.source += b.source;
    m.palatalized = palatal;
    if (palatal && b.palatalized && b.consonant_features) {
        m.consonant_features = b.consonant_features;
    } else if (palatal && !b.palatalized && m.consonant_features) {
        m.consonant_features->palatalized = true;
    }
    return m;
}

}  // namespace

std::vector<Token> tokenize(std::u32string_view word) { return Tokenizer(word).run(); }

std::vector<Token> tokenize(std::string_view word) {
    std::u32string chars;
    chars.reserve(word.size());
    for (std::size_t pos = 0; pos < word.size();) chars.push_back(utf8::decode_next(word, pos));
    return tokenize(std::u32string_view(chars));
}

std::vector<Token> merge_geminates(const std::vector<Token>& tokens) {
    std::vector<Token> out = tokens;
    merge_geminates_in_place(out);
    return out;
}

void merge_geminates_in_place(std::vector<Token>& tokens) {
    std::size_t w = 0;
    for (std::size_t i = 0; i < tokens.size(); ++w) {
        const Token& a = tokens[i];
        if (a.type != TokenType::Vowel && a.type != TokenType::Glottal && i + 1 < tokens.size()) {
            const Token& b = tokens[i + 1];
            if ((b.type == TokenType::Consonant || b.type == TokenType::Glide) &&
                geminate_base(a.ipa) == geminate_base(b.ipa)) {
                tokens[w] = merged_geminate(a, b);
                i += 2;
                continue;
            }
        }
        if (w != i) tokens[w] = std::move(tokens[i]);
        ++i;
    }
    tokens.resize(w);
}

}  // namespace lexovia
