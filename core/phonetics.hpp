// Phonetic types and constant tables shared by every transcription pass.
//
// A word is transcribed as a list of Tokens, one per sound. Tokens are made
// only by the three constructors below (or by copying a token and changing
// named fields), which attach the articulatory features of the consonant or
// vowel table row whose IPA matches. The tables and the sets and maps derived
// from them are compile-time constants: they need no initialisation, cannot
// change, and are safe to read from any thread.
//
// Set and map keys are IPA strings compared exactly (diacritics included).
// Every key is at most seven bytes of UTF-8, so a key is packed into one
// 64-bit integer (bytes plus length) and membership is a scan over a handful
// of integers; a string that cannot be packed is a member of no set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/inline_text.hpp"

namespace lexovia {

enum class TokenType : std::uint8_t { Consonant, Vowel, Glide, Glottal };
enum class Manner : std::uint8_t { Stop, Fricative, Affricate, Trill, Lateral, Nasal, Approximant };
enum class Place : std::uint8_t { Labial, Alveolar, Postalveolar, Palatal, Velar, Glottal };
enum class Voicing : std::uint8_t { Voiceless, Voiced, Sonorant };
enum class Height : std::uint8_t { Close, NearClose, Mid, Open };
enum class Backness : std::uint8_t { Front, Central, Back };

// The display name of a token type: exactly the variant name.
std::string_view token_type_name(TokenType type);

// The articulation of a consonant, starting from its table row. palatalized
// says what the sound is: set from the row ("j" and every row written with
// ʲ have it) and by soften(); Token::palatalized says what happened to the
// segment in the word.
struct ConsonantFeatures {
    bool palatalized = false;
    bool nasal = false;
    Voicing voicing = Voicing::Voiceless;
    Place place = Place::Labial;
    Manner manner = Manner::Stop;
    friend bool operator==(const ConsonantFeatures&, const ConsonantFeatures&) = default;
};

struct VowelFeatures {
    Height height = Height::Close;
    Backness backness = Backness::Front;
    bool rounded = false;
    bool tense = false;
    friend bool operator==(const VowelFeatures&, const VowelFeatures&) = default;
};

// The IPA or the source letters of one token.
using TokenText = InlineText<15>;

// One phonetic segment of a word. Trivially copyable.
struct Token {
    TokenText ipa;
    TokenText source;  // the letters the segment stands for; may be empty
    std::optional<VowelFeatures> vowel_features;
    bool stressed = false;
    // Softened within this word (by ь, by я ю є, or by a soft neighbour), as
    // the caller sees it. Not the same as consonant_features->palatalized: a
    // constructor never sets this one, so "j", palatal by nature, is not
    // softened; and a soft sibilant that a later pass turns into "ʃ" keeps
    // it, because the word was softened there even if the sound is no longer
    // written with ʲ. soften() sets both.
    bool palatalized = false;
    std::optional<ConsonantFeatures> consonant_features;
    TokenType type = TokenType::Consonant;
    std::int8_t vowel_index = -1;  // ordinal among the word's vowels; -1 elsewhere
    friend bool operator==(const Token&, const Token&) = default;
};

struct ConsonantRow;
struct VowelRow;

// Token constructors. The consonant constructor makes a Glide when ipa is
// exactly "j"; none of them sets the token's own palatalized flag.
Token make_consonant(std::string_view ipa, std::string_view source);
Token make_vowel(std::string_view ipa, std::string_view source, std::int8_t vowel_index);
Token make_glottal(std::string_view source);

// Structural IPA marks.
inline constexpr std::string_view PALATAL_MARK = "\u02B2";  // ʲ
inline constexpr std::string_view LENGTH_MARK = "\u02D0";   // ː

inline bool ends_with_palatal_mark(std::string_view ipa) { return ipa.ends_with(PALATAL_MARK); }

// ---------------------------------------------------------------------------
// Packed keys, sets and maps.

constexpr std::uint64_t pack_ipa(std::string_view s) {
    if (s.empty() || s.size() > 7) return 0;
    std::uint64_t v = std::uint64_t(s.size()) << 56;
    for (std::size_t i = 0; i < s.size(); ++i) v |= std::uint64_t(std::uint8_t(s[i])) << (8 * i);
    return v;
}

// ---------------------------------------------------------------------------
// IPA comparison keys.
//
// Every pass compares segments by their IPA with some structural marks set
// aside, and each rule is stated over one projection of the segment:
//
//   without_length_mark()   one trailing ː off. Voicing, place assimilation
//                           and the affricate merge: a long consonant
//                           assimilates like its short one.
//   without_palatal_mark()  one trailing ʲ off. Geminates: "т" + "ть" is one
//                           long consonant, softness settled separately.
//   sonority_base()         every trailing ʲ, then every trailing ː off. The
//                           sonority of a token without table features.
//   plain_packed(), plain() every ʲ and ː anywhere off. The palatalization
//                           pass: which hard alveolar a segment is built on.
//
// An IpaKey views text it does not own, so it lives no longer than the token
// or string it was made from; the constructors from temporaries are deleted.

namespace detail {
// Calls out(byte) for every byte of ipa outside the palatal and length marks;
// stops early when out returns false.
template <typename Out>
constexpr void for_each_plain_byte(std::string_view ipa, Out&& out) {
    for (std::size_t i = 0; i < ipa.size();) {
        const std::string_view rest = ipa.substr(i);
        if (rest.starts_with(PALATAL_MARK)) i += PALATAL_MARK.size();
        else if (rest.starts_with(LENGTH_MARK)) i += LENGTH_MARK.size();
        else if (!out(ipa[i++])) return;
    }
}
}  // namespace detail

class IpaKey {
public:
    constexpr explicit IpaKey(std::string_view ipa) : ipa_(ipa) {}
    constexpr explicit IpaKey(const char* ipa) : ipa_(ipa) {}
    explicit IpaKey(std::string&&) = delete;
    template <std::size_t N>
    explicit IpaKey(InlineText<N>&&) = delete;
    template <std::size_t N>
    constexpr explicit IpaKey(const InlineText<N>& ipa) : ipa_(ipa.view()) {}

    constexpr std::string_view text() const { return ipa_; }
    // The key packed for PhoneSet and PhoneMap lookups (0 when it cannot pack).
    constexpr std::uint64_t packed() const { return pack_ipa(ipa_); }

    constexpr IpaKey without_length_mark() const { return IpaKey(drop_one(ipa_, LENGTH_MARK)); }
    constexpr IpaKey without_palatal_mark() const { return IpaKey(drop_one(ipa_, PALATAL_MARK)); }
    constexpr IpaKey sonority_base() const {
        std::string_view s = ipa_;
        while (s.ends_with(PALATAL_MARK)) s.remove_suffix(PALATAL_MARK.size());
        while (s.ends_with(LENGTH_MARK)) s.remove_suffix(LENGTH_MARK.size());
        return IpaKey(s);
    }

    // The plain segment packed, without building a string: the marks are
    // interleaved anywhere, so this is no prefix view.
    constexpr std::uint64_t plain_packed() const {
        char buf[8]{};
        std::size_t n = 0;
        bool fits = true;
        detail::for_each_plain_byte(ipa_, [&](char c) { return (fits = n < sizeof buf) && (buf[n++] = c, true); });
        return fits ? pack_ipa(std::string_view(buf, n)) : 0;
    }
    std::string plain() const {
        std::string key;
        detail::for_each_plain_byte(ipa_, [&](char c) { return key.push_back(c), true; });
        return key;
    }

private:
    static constexpr std::string_view drop_one(std::string_view s, std::string_view mark) {
        if (s.ends_with(mark)) s.remove_suffix(mark.size());
        return s;
    }

    std::string_view ipa_;
};

static_assert(IpaKey("n\u02B2\u02D0").without_length_mark().text() == "n\u02B2");
static_assert(IpaKey("n\u02B2\u02D0").without_palatal_mark().text() == "n\u02B2\u02D0");
static_assert(IpaKey("t\u02B2\u02D0").sonority_base().text() == "t\u02B2");
static_assert(IpaKey("t\u02B2\u02D0").plain_packed() == pack_ipa("t"));


template <std::size_t N>
class PhoneSet {
public:
    constexpr explicit PhoneSet(const std::array<std::string_view, N>& members) : members_(members) {
        for (std::size_t i = 0; i < N; ++i) keys_[i] = pack_ipa(members[i]);
    }
    constexpr bool contains(std::string_view s) const { return contains_key(pack_ipa(s)); }
    // Membership of an already packed key (0 is never a member).
    constexpr bool contains_key(std::uint64_t k) const {
        if (k == 0) return false;
        for (std::uint64_t m : keys_)
            if (m == k) return true;
        return false;
    }
    constexpr const std::array<std::string_view, N>& members() const { return members_; }
    static constexpr std::size_t size() { return N; }

private:
    std::array<std::string_view, N> members_;
    std::array<std::uint64_t, N> keys_{};
};

struct PhonePair {
    std::string_view key;
    std::string_view value;
};

template <std::size_t N>
class PhoneMap {
public:
    constexpr explicit PhoneMap(const std::array<PhonePair, N>& pairs) : pairs_(pairs) {
        for (std::size_t i = 0; i < N; ++i) keys_[i] = pack_ipa(pairs[i].key);
    }
    // The value for key s, or nullopt.
    constexpr std::optional<std::string_view> find(std::string_view s) const { return find_key(pack_ipa(s)); }
    constexpr std::optional<std::string_view> find_key(std::uint64_t k) const {
        if (k == 0) return std::nullopt;
        for (std::size_t i = 0; i < N; ++i)
            if (keys_[i] == k) return pairs_[i].value;
        return std::nullopt;
    }
    constexpr const std::array<PhonePair, N>& pairs() const { return pairs_; }
    static constexpr std::size_t size() { return N; }

private:
    std::array<PhonePair, N> pairs_;
    std::array<std::uint64_t, N> keys_{};
};

// ---------------------------------------------------------------------------
// Phoneme tables.

struct ConsonantRow {
    std::string_view ipa;
    std::string_view voiced;     // voiced counterpart, empty when none
    std::string_view voiceless;  // voiceless counterpart, empty when none
    Manner manner;
    Place place;
    Voicing voicing;
    bool palatalized;
};

struct VowelRow {
    std::string_view ipa;
    Height height;
    Backness backness;
    bool rounded;
    bool tense;
};

inline constexpr std::array<ConsonantRow, 36> CONSONANTS = [] {
    using M = Manner;
    using P = Place;
    using V = Voicing;
    return std::array<ConsonantRow, 36>{{
    {"b", "", "p", M::Stop, P::Labial, V::Voiced, false},
    {"p", "b", "", M::Stop, P::Labial, V::Voiceless, false},
    {"f", "", "", M::Fricative, P::Labial, V::Voiceless, false},
    {"d", "", "t", M::Stop, P::Alveolar, V::Voiced, false},
    {"t", "d", "", M::Stop, P::Alveolar, V::Voiceless, false},
    {"z", "", "s", M::Fricative, P::Alveolar, V::Voiced, false},
    {"s", "z", "", M::Fricative, P::Alveolar, V::Voiceless, false},
    {"d\u0361z", "", "t\u0361s", M::Affricate, P::Alveolar, V::Voiced, false},
    {"t\u0361s", "d\u0361z", "", M::Affricate, P::Alveolar, V::Voiceless, false},
    {"\u0261", "", "k", M::Stop, P::Velar, V::Voiced, false},
    {"k", "\u0261", "", M::Stop, P::Velar, V::Voiceless, false},
    {"x", "\u0266", "", M::Fricative, P::Velar, V::Voiceless, false},
    {"\u0266", "", "x", M::Fricative, P::Glottal, V::Voiced, false},
    {"\u0292", "", "\u0283", M::Fricative, P::Postalveolar, V::Voiced, false},
    {"\u0283", "\u0292", "", M::Fricative, P::Postalveolar, V::Voiceless, false},
    {"d\u0361\u0292", "", "t\u0361\u0283", M::Affricate, P::Postalveolar, V::Voiced, false},
    {"t\u0361\u0283", "d\u0361\u0292", "", M::Affricate, P::Postalveolar, V::Voiceless, false},
    {"m", "", "", M::Nasal, P::Labial, V::Sonorant, false},
    {"n", "", "", M::Nasal, P::Alveolar, V::Sonorant, false},
    {"l", "", "", M::Lateral, P::Alveolar, V::Sonorant, false},
    {"r", "", "", M::Trill, P::Alveolar, V::Sonorant, false},
    {"j", "", "", M::Approximant, P::Palatal, V::Sonorant, true},
    {"\u028B", "", "", M::Approximant, P::Labial, V::Sonorant, false},
    {"d\u02B2", "", "t\u02B2", M::Stop, P::Alveolar, V::Voiced, true},
    {"t\u02B2", "d\u02B2", "", M::Stop, P::Alveolar, V::Voiceless, true},
    {"z\u02B2", "", "s\u02B2", M::Fricative, P::Alveolar, V::Voiced, true},
    {"s\u02B2", "z\u02B2", "", M::Fricative, P::Alveolar, V::Voiceless, true},
    {"d\u0361z\u02B2", "", "t\u0361s\u02B2", M::Affricate, P::Alveolar, V::Voiced, true},
    {"t\u0361s\u02B2", "d\u0361z\u02B2", "", M::Affricate, P::Alveolar, V::Voiceless, true},
    {"n\u02B2", "", "", M::Nasal, P::Alveolar, V::Sonorant, true},
    {"l\u02B2", "", "", M::Lateral, P::Alveolar, V::Sonorant, true},
    {"r\u02B2", "", "", M::Trill, P::Alveolar, V::Sonorant, true},
    {"b\u02B2", "", "p\u02B2", M::Stop, P::Labial, V::Voiced, true},
    {"p\u02B2", "b\u02B2", "", M::Stop, P::Labial, V::Voiceless, true},
    {"m\u02B2", "", "", M::Nasal, P::Labial, V::Sonorant, true},
    {"f\u02B2", "", "", M::Fricative, P::Labial, V::Voiceless, true},
    }};
}();

inline constexpr std::array<VowelRow, 6> VOWELS{{
    {"i", Height::Close, Backness::Front, false, true},
    {"\u026A", Height::NearClose, Backness::Front, false, false},
    {"\u025B", Height::Mid, Backness::Front, false, false},
    {"u", Height::Close, Backness::Back, true, true},
    {"\u0254", Height::Mid, Backness::Back, true, false},
    {"\u0251", Height::Open, Backness::Back, false, true},
}};

// The CONSONANTS row whose IPA is exactly ipa, or nullptr.
const ConsonantRow* find_consonant(std::string_view ipa);
// The VOWELS row whose IPA is exactly ipa, or nullptr.
const VowelRow* find_vowel(std::string_view ipa);

// The same lookups for constant expressions (tables resolved at compile time).
constexpr const ConsonantRow* consonant_row(std::string_view ipa) {
    for (const ConsonantRow& row : CONSONANTS)
        if (row.ipa == ipa) return &row;
    return nullptr;
}
constexpr const VowelRow* vowel_row(std::string_view ipa) {
    for (const VowelRow& row : VOWELS)
        if (row.ipa == ipa) return &row;
    return nullptr;
}

// The consonant and vowel constructors for an ipa whose table row (or its
// absence, nullptr) is already known: the same tokens, without the search.
Token make_consonant(std::string_view ipa, std::string_view source, const ConsonantRow* row);
Token make_vowel(std::string_view ipa, std::string_view source, std::int8_t vowel_index, const VowelRow* row);
// The features a consonant constructor attaches for row.
ConsonantFeatures features_of(const ConsonantRow& row);

// Sets both palatalised flags of t (the token's and, if it has features, its
// features'), leaving its IPA alone.
void mark_palatalized(Token& t);
// Softens consonant t: its IPA becomes its plain base (IpaKey::plain) with
// the palatal mark, a trailing length mark kept after it ("dː" gives "dʲː"),
// and both palatalised flags are set. The tokenizer and the palatalization
// pass both soften through here.
void soften(Token& t);

// ---------------------------------------------------------------------------
// Shared sets and maps.

// The five apostrophe characters, as code points.
inline constexpr std::array<char32_t, 5> APOSTROPHES{U'\u0027', U'\u02BC', U'\u2019', U'\u2018', U'\u0060'};
constexpr bool is_apostrophe(char32_t c) {
    for (char32_t a : APOSTROPHES)
        if (a == c) return true;
    return false;
}

inline constexpr PhoneSet<11> VOICED_OBSTRUENTS{std::array<std::string_view, 11>{
    "b", "d", "d\u02B2", "\u0261", "z", "z\u02B2", "\u0292", "\u0266", "d\u0361z", "d\u0361z\u02B2",
    "d\u0361\u0292"}};

inline constexpr PhoneSet<12> VOICELESS_OBSTRUENTS{std::array<std::string_view, 12>{
    "p", "t", "t\u02B2", "k", "s", "s\u02B2", "\u0283", "x", "f", "t\u0361s", "t\u0361s\u02B2",
    "t\u0361\u0283"}};

namespace detail {
// Indexes, not pointers, in these compile-time checks: GCC's sanitizer
// builds do not take a comparison of a table address as a constant.
constexpr bool all_rows_voiced_as(const auto& set, Voicing voicing) {
    for (std::string_view ipa : set.members()) {
        bool found = false;
        for (const ConsonantRow& row : CONSONANTS)
            if (row.ipa == ipa) found = row.voicing == voicing;
        if (!found) return false;
    }
    return true;
}
}  // namespace detail

// The obstruent sets are chosen lists, not every voiced or voiceless row:
// the soft labials stay out, so voicing assimilation passes them by. What
// the lists must agree with is the table's voicing of each member.
static_assert(detail::all_rows_voiced_as(VOICED_OBSTRUENTS, Voicing::Voiced));
static_assert(detail::all_rows_voiced_as(VOICELESS_OBSTRUENTS, Voicing::Voiceless));

inline constexpr PhoneSet<11> SONORANTS{std::array<std::string_view, 11>{
    "m", "n", "n\u02B2", "l", "l\u02B2", "r", "r\u02B2", "\u028B", "j", "w", "u\u032F"}};

namespace detail {
constexpr std::size_t count_alveolar_rows() {
    std::size_t n = 0;
    for (const auto& row : CONSONANTS)
        if (row.place == Place::Alveolar) ++n;
    return n;
}
constexpr auto alveolar_members() {
    std::array<std::string_view, count_alveolar_rows()> out{};
    std::size_t n = 0;
    for (const auto& row : CONSONANTS)
        if (row.place == Place::Alveolar) out[n++] = row.ipa;
    return out;
}
constexpr std::size_t count_voicing_pairs() {
    std::size_t n = 0;
    for (const auto& row : CONSONANTS)
        if (!row.voiced.empty() || !row.voiceless.empty()) ++n;
    return n;
}
constexpr auto voicing_pairs() {
    std::array<PhonePair, count_voicing_pairs()> out{};
    std::size_t n = 0;
    for (const auto& row : CONSONANTS) {
        if (!row.voiced.empty()) out[n++] = {row.ipa, row.voiced};
        else if (!row.voiceless.empty()) out[n++] = {row.ipa, row.voiceless};
    }
    return out;
}
}  // namespace detail

// Every CONSONANTS row whose place is Alveolar.
inline constexpr PhoneSet<detail::count_alveolar_rows()> ALVEOLARS{detail::alveolar_members()};
// The same set under the name the palatalization rule is stated in: the
// table does not tell dentals from alveolars, so there is one set.
inline constexpr const auto& DENTALS = ALVEOLARS;

static_assert(ALVEOLARS.size() == 18);
static_assert(detail::count_voicing_pairs() == 24);

namespace detail {
// The index of the row written as row's IPA plus the palatal mark, or
// CONSONANTS.size() when there is none.
constexpr std::size_t soft_row_of(const ConsonantRow& row) {
    for (std::size_t i = 0; i < CONSONANTS.size(); ++i) {
        const std::string_view soft = CONSONANTS[i].ipa;
        if (soft.size() == row.ipa.size() + PALATAL_MARK.size() && soft.starts_with(row.ipa) &&
            soft.ends_with(PALATAL_MARK))
            return i;
    }
    return CONSONANTS.size();
}
constexpr bool softens(const ConsonantRow& row) {
    return row.place == Place::Alveolar && !row.palatalized && soft_row_of(row) < CONSONANTS.size();
}
constexpr std::size_t count_softening_pairs() {
    std::size_t n = 0;
    for (const auto& row : CONSONANTS) n += softens(row);
    return n;
}
constexpr auto softening_pairs() {
    std::array<PhonePair, count_softening_pairs()> out{};
    std::size_t n = 0;
    for (const auto& row : CONSONANTS)
        if (softens(row)) out[n++] = {row.ipa, CONSONANTS[soft_row_of(row)].ipa};
    return out;
}
// Every alveolar is a hard one with a soft row or is itself soft: a plain
// key (marks removed) that is an alveolar is therefore always softenable.
constexpr bool every_alveolar_pairs_up() {
    for (const auto& row : CONSONANTS)
        if (row.place == Place::Alveolar && !row.palatalized && !softens(row)) return false;
    return true;
}
}  // namespace detail

// Each hard alveolar mapped to its soft row: the consonants the
// palatalization pass softens. Each value is its key with the palatal mark,
// which is what lets soften() write the mark instead of looking it up.
inline constexpr PhoneMap<detail::count_softening_pairs()> SOFTENING_PAIRS{detail::softening_pairs()};

static_assert(SOFTENING_PAIRS.size() == 9);
static_assert(detail::every_alveolar_pairs_up());

// Each CONSONANTS row that has a counterpart, mapped to that counterpart.
inline constexpr PhoneMap<detail::count_voicing_pairs()> VOICING_PAIRS{detail::voicing_pairs()};

}  // namespace lexovia
