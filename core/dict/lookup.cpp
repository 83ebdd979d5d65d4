#include "core/dict/lookup.hpp"

#include <algorithm>

#include "core/transcription.hpp"
#include "core/unicode_lower.hpp"
#include "core/utf8.hpp"

namespace lexovia::dict {
namespace {

constexpr std::string_view STRESS_MARK = "\u0301";
constexpr std::string_view PRIMARY_STRESS = "\u02C8";  // ˈ
constexpr std::string_view SINGLE_SYLLABLE = "single-syllable";
// Above every stress position a byte can hold.
constexpr unsigned NO_POSITION = 256;

constexpr bool is_counted_vowel(char32_t c) {
    switch (c) {
        case U'а': case U'е': case U'и': case U'о': case U'у':
        case U'ю': case U'я': case U'є': case U'і': case U'ї':
            return true;
        default:
            return false;
    }
}

bool has_exactly_one_vowel(std::string_view form) {
    int vowels = 0;
    for (std::size_t pos = 0; pos < form.size();)
        if (is_counted_vowel(utf8::decode_next(form, pos)) && ++vowels > 1) return false;
    return vowels == 1;
}

// Room reserved up front for the items of a stored list: its count, but no
// more than any real entry needs, so that an image announcing absurd counts
// costs no absurd allocation (the list then grows as it is read).
constexpr std::uint64_t RESERVE_MAX = 64;
std::size_t reserved(std::uint64_t count) { return static_cast<std::size_t>(std::min(count, RESERVE_MAX)); }

// The text at index i of table, or nullopt when i is out of range.
std::optional<std::string_view> text_at(const StringTable& table, std::uint64_t i) {
    if (i >= table.size()) return std::nullopt;
    return table[static_cast<std::size_t>(i)];
}

// One reading of form at stress position p, phonetics filled in.
Reading make_reading(const std::string& form, std::uint8_t p) {
    Transcription t = transcribe(form, p);
    Reading r;
    r.form = form;
    r.stressed_form = add_stress_mark(form, p);
    r.word_syllables.reserve(t.syllables.size());
    r.ipa_syllables.reserve(t.syllables.size());
    std::optional<std::size_t> first_stressed;
    for (std::size_t i = 0; i < t.syllables.size(); ++i) {
        Syllable& s = t.syllables[i];
        r.word_syllables.push_back(std::move(s.word));
        if (s.stressed) {
            if (!first_stressed) first_stressed = i;
            r.ipa_syllables.push_back(std::string(PRIMARY_STRESS) + s.ipa);
        } else {
            r.ipa_syllables.push_back(std::move(s.ipa));
        }
    }
    r.ipa = std::move(t.ipa);
    r.tokens = std::move(t.tokens);
    r.syllable_count = t.syllables.size();
    r.syllable_index = first_stressed.value_or(0);
    r.stress_from_end = r.syllable_count > 0 ? r.syllable_count - r.syllable_index : 0;
    return r;
}

// Records of one entry grouped by stress position: (position, record
// numbers), ascending by position, record numbers in stored order.
std::vector<std::pair<std::uint8_t, std::vector<std::size_t>>> group_by_stress(
    const std::vector<Bytes>& positions) {
    std::vector<std::pair<std::uint8_t, std::vector<std::size_t>>> groups;
    for (std::size_t r = 0; r < positions.size(); ++r) {
        for (const std::uint8_t p : positions[r]) {
            auto it = std::lower_bound(groups.begin(), groups.end(), p,
                                       [](const auto& g, std::uint8_t v) { return g.first < v; });
            if (it == groups.end() || it->first != p) it = groups.insert(it, {p, {}});
            it->second.push_back(r);
        }
    }
    if (groups.empty()) {
        std::vector<std::size_t> all(positions.size());
        for (std::size_t r = 0; r < all.size(); ++r) all[r] = r;
        groups.push_back({0, std::move(all)});
    }
    return groups;
}

}  // namespace

char* normalize_rare_char(char32_t c, char* out) {
    char32_t lower[3];
    const std::size_t n = lowercase_code_point(c, lower);
    for (std::size_t i = 0; i < n; ++i) out += utf8::encode(is_apostrophe(lower[i]) ? U'\u02BC' : lower[i], out);
    return out;
}

std::string normalize_word(std::string_view word) {
    // A character grows at most from one byte to three (an ill-formed byte
    // becomes U+FFFD; U+0130 becomes i and U+0307).
    std::string out(word.size() * 3, '\0');
    char* o = out.data();
    for (std::size_t pos = 0; pos < word.size();) {
        const auto b0 = static_cast<std::uint8_t>(word[pos]);
        if (b0 < 0x80) {
            o = normalize_char(b0, o);
            ++pos;
        } else {
            o = normalize_char(utf8::decode_next(word, pos), o);
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string add_stress_mark(std::string_view text, std::uint8_t vowel_index) {
    // The text is copied in runs up to each mark.
    std::string out;
    out.reserve(text.size() + STRESS_MARK.size());
    std::size_t copied = 0;
    for_each_stress_mark(text, vowel_index, [&](std::size_t pos) {
        out.append(text.substr(copied, pos - copied));
        out.append(STRESS_MARK);
        copied = pos;
    });
    out.append(text.substr(copied));
    return out;
}

MorphAnalysis resolve(const Dictionary& d, const RecordView& record) {
    MorphAnalysis m;
    m.pos.reserve(record.pos.size());
    for (const std::uint8_t i : record.pos)
        if (i < d.pos_tags.size()) m.pos.emplace_back(d.pos_tags[i]);
    // A record has up to a dozen features; growing one at a time would
    // reallocate and move them several times.
    m.feats.reserve(reserved(record.features.size()));
    for (const FeaturePair pair : record.features) {
        if (pair.key >= d.feature_keys.size()) continue;
        std::vector<std::string_view> values;
        values.reserve(pair.values.size());
        for (const std::uint8_t v : pair.values)
            if (v < d.feature_values.size()) values.emplace_back(d.feature_values[v]);
        const std::string_view name = d.feature_keys[pair.key];
        auto same = std::find_if(m.feats.begin(), m.feats.end(), [&](const auto& f) { return f.first == name; });
        if (same != m.feats.end()) same->second = std::move(values);
        else m.feats.emplace_back(name, std::move(values));
    }
    if (record.lemma) m.lemma = text_at(d.lemmas, *record.lemma);
    if (record.definition) m.definition = text_at(d.definitions, *record.definition);
    return m;
}

LookupResult lookup(const Dictionary& d, std::string_view word) { return lookup_normalized(d, normalize_word(word)); }

LookupResult lookup_normalized(const Dictionary& d, std::string normalized) {
    LookupResult result;
    result.form = std::move(normalized);
    const std::string& form = result.form;

    if (!form.empty() && has_exactly_one_vowel(form)) {
        Reading r = make_reading(form, 0);
        r.syllable_index = 0;
        r.stress_from_end = std::max<std::uint64_t>(1, r.syllable_count);
        r.confidence = std::string(SINGLE_SYLLABLE);
        result.readings.push_back(std::move(r));
        return result;
    }

    const auto found = d.find_records(form);
    if (!found) return result;

    const RecordList& records = *found;
    std::vector<MorphAnalysis> analyses;
    std::vector<Bytes> positions;
    analyses.reserve(reserved(records.size()));
    positions.reserve(reserved(records.size()));
    for (const RecordView& record : records) {
        analyses.push_back(resolve(d, record));
        positions.push_back(record.stress_positions);
    }
    const auto groups = group_by_stress(positions);
    // Each analysis is copied into every reading that carries it, except the
    // last one, which takes it over.
    std::vector<std::size_t> uses(analyses.size(), 0);
    for (const auto& group : groups)
        for (const std::size_t i : group.second) ++uses[i];
    result.readings.reserve(groups.size());
    for (const auto& [p, records] : groups) {
        Reading r = make_reading(form, p);
        r.morph.reserve(records.size());
        for (const std::size_t i : records) {
            if (--uses[i] == 0) r.morph.push_back(std::move(analyses[i]));
            else r.morph.push_back(analyses[i]);
        }
        result.readings.push_back(std::move(r));
    }
    return result;
}

std::optional<std::uint8_t> first_stress(const Dictionary& d, std::string_view form) {
    // The same decisions as lookup(), in the same order: the one-vowel rule
    // before the dictionary; then the lowest position any record names,
    // which is the first of the ascending readings, or 0 when no record
    // names one (lookup() then makes a single reading at 0, even for an
    // entry without records).
    if (!form.empty() && has_exactly_one_vowel(form)) return 0;
    const auto records = d.find_records(form);
    if (!records) return std::nullopt;
    unsigned lowest = NO_POSITION;
    for (const RecordView& record : *records)
        for (const std::uint8_t p : record.stress_positions) lowest = std::min<unsigned>(lowest, p);
    return static_cast<std::uint8_t>(lowest == NO_POSITION ? 0 : lowest);
}

std::string mark(const Dictionary& d, std::string_view word) {
    const std::string form = normalize_word(word);
    const auto position = first_stress(d, form);
    return position ? add_stress_mark(form, *position) : std::string(word);
}

}  // namespace lexovia::dict
