#include "core/place.hpp"

#include <bit>
#include <cstring>
#include <optional>
#include <utility>

namespace lexovia {
namespace {

// A rule table with its (first, next) keys packed at compile time.
template <std::size_t N>
struct PackedRules {
    constexpr explicit PackedRules(const std::array<PairRule, N>& rules) : rules(rules) {
        for (std::size_t i = 0; i < N; ++i) keys[i] = {pack_ipa(rules[i].first), pack_ipa(rules[i].next)};
    }
    std::array<PairRule, N> rules;
    std::array<std::pair<std::uint64_t, std::uint64_t>, N> keys{};
};

constexpr PackedRules SIBILANT_RULES{SIBILANT_ASSIMILATION_RULES};
constexpr PackedRules MERGE_RULES{AFFRICATE_MERGE_RULES};

// The comparison key of a token, packed: a long consonant takes part in a
// rule like its short one.
// IpaKey(t.ipa).without_length_mark().packed(), computed from one load of
// the token's text, which always has room for eight bytes: this runs for
// every token twice. The load puts the first byte lowest only on a
// little-endian machine; elsewhere the key is packed byte by byte.
std::uint64_t key_of(const Token& t) {
    static_assert(sizeof(TokenText) >= 8 + 1, "eight bytes of text before the size byte");
    if constexpr (std::endian::native != std::endian::little) return IpaKey(t.ipa).without_length_mark().packed();
    std::string_view ipa = t.ipa.view();
    if (ipa.ends_with(LENGTH_MARK)) ipa.remove_suffix(LENGTH_MARK.size());
    if (ipa.empty() || ipa.size() > 7) return 0;
    std::uint64_t bytes;
    std::memcpy(&bytes, ipa.data(), sizeof bytes);
    return (bytes & ((std::uint64_t(1) << (8 * ipa.size())) - 1)) | std::uint64_t(ipa.size()) << 56;
}

template <std::size_t N>
std::optional<std::string_view> match(const PackedRules<N>& table, std::uint64_t ka, std::uint64_t kb) {
    if (ka == 0) return std::nullopt;
    for (std::size_t i = 0; i < N; ++i)
        if (table.keys[i].first == ka && table.keys[i].second == kb) return table.rules[i].result;
    return std::nullopt;
}

}  // namespace

void apply_place_assimilation(std::vector<Token>& tokens) {
    if (tokens.size() < 2) return;
    std::vector<std::pair<std::size_t, std::string_view>> changes;
    std::uint64_t next = key_of(tokens[0]);
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        const std::uint64_t key = next;
        next = key_of(tokens[i + 1]);
        if (auto result = match(SIBILANT_RULES, key, next)) changes.emplace_back(i, *result);
    }
    for (const auto& [i, result] : changes) tokens[i].ipa = result;
}

std::vector<Token> merge_affricates(const std::vector<Token>& tokens) {
    std::vector<Token> out = tokens;
    merge_affricates_in_place(out);
    return out;
}

void merge_affricates_in_place(std::vector<Token>& tokens) {
    const std::size_t n = tokens.size();
    std::size_t w = 0;
    std::uint64_t key = n > 0 ? key_of(tokens[0]) : 0;  // key of token i
    for (std::size_t i = 0; i < n; ++w) {
        const std::uint64_t next = i + 1 < n ? key_of(tokens[i + 1]) : 0;
        if (i + 1 < n) {
            if (auto result = match(MERGE_RULES, key, next)) {
                // Token i's fields, the rule's ipa, both sources joined.
                Token merged = tokens[i];
                merged.ipa = *result;
                merged.source += tokens[i + 1].source;
                tokens[w] = merged;
                i += 2;
                key = i < n ? key_of(tokens[i]) : 0;
                continue;
            }
        }
        if (w != i) tokens[w] = tokens[i];
        ++i;
        key = next;
    }
    tokens.resize(w);
}

}  // namespace lexovia
