#include "place.hpp"

#include <optional>
#include <utility>

namespace lexovia {
namespace {

template <std::size_t N>
std::optional<std::string_view> match(const std::array<PairRule, N>& rules, const Token& a,
                                      const Token& b) {
    const std::uint64_t ka = pack_ipa(strip_one_length_mark(a.ipa));
    const std::uint64_t kb = pack_ipa(strip_one_length_mark(b.ipa));
    if (ka == 0 || kb == 0) return std::nullopt;
    for (const PairRule& r : rules)
        if (pack_ipa(r.first) == ka && pack_ipa(r.next) == kb) return r.result;
    return std::nullopt;
}

}  // namespace

void apply_place_assimilation(std::vector<Token>& tokens) {
    if (tokens.size() < 2) return;
    std::vector<std::pair<std::size_t, std::string_view>> changes;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (auto result = match(SIBILANT_ASSIMILATION_RULES, tokens[i], tokens[i + 1]))
            changes.emplace_back(i, *result);
    }
    for (const auto& [i, result] : changes) tokens[i].ipa = result;
}

std::vector<Token> merge_affricates(const std::vector<Token>& tokens) {
    std::vector<Token> out;
    out.reserve(tokens.capacity());
    for (std::size_t i = 0; i < tokens.size();) {
        if (i + 1 < tokens.size()) {
            if (auto result = match(AFFRICATE_MERGE_RULES, tokens[i], tokens[i + 1])) {
                Token merged = tokens[i];
                merged.ipa = *result;
                merged.source += tokens[i + 1].source;
                out.push_back(std::move(merged));
                i += 2;
                continue;
            }
        }
        out.push_back(tokens[i]);
        ++i;
    }
    return out;
}

}  // namespace lexovia
