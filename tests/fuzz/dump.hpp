// Shared by the fuzz targets and the C++ tests: a dictionary, or the failure
// that stopped it from loading, as one string, so that two ways of loading
// can be compared; and the plain binary search the dictionary's own search
// must agree with.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/dict/dictionary.hpp"

namespace lexovia::fuzz {

// Binary search straight over the entries: the probes dict::Dictionary::find
// must make, so the answers agree even where the keys are not sorted.
inline std::optional<std::size_t> plain_find(const dict::Dictionary& d, std::string_view wanted) {
    std::size_t lo = 0, hi = d.entry_count();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const int c = d.key(mid).compare(wanted);
        if (c == 0) return mid;
        if (c < 0) lo = mid + 1;
        else hi = mid;
    }
    return std::nullopt;
}

// Every table text and every entry's key and records. Reading the records
// walks all of an entry's compact bytes, so a decoder that wrote them wrong
// trips the sanitizers here.
inline std::string dump(const dict::Dictionary& d) {
    std::string out;
    const auto bytes = [&](std::span<const std::uint8_t> b) {
        out.append(reinterpret_cast<const char*>(b.data()), b.size());
        out += '|';
    };
    for (const dict::StringTable* t : {&d.pos_tags, &d.feature_keys, &d.feature_values, &d.lemmas, &d.definitions}) {
        for (std::size_t i = 0; i < t->size(); ++i) (out += (*t)[i]) += '\n';
        out += "--\n";
    }
    for (std::size_t i = 0; i < d.entry_count(); ++i) {
        (out += d.key(i)) += ':';
        for (const dict::RecordView& r : d.records(i)) {
            bytes(r.stress_positions);
            bytes(r.pos);
            for (const dict::FeaturePair& f : r.features) {
                out += std::to_string(f.key) + '=';
                bytes(f.values);
            }
            out += r.lemma ? std::to_string(*r.lemma) : "-";
            out += r.definition ? std::to_string(*r.definition) : "-";
            out += ';';
        }
        out += '\n';
        // Keys of a fuzzed image need not be sorted, so only run the search.
        (void)d.find(d.key(i));
    }
    return out;
}

[[noreturn]] inline void disagree(const char* what, const std::string& a, const std::string& b) {
    std::fprintf(stderr, "%s disagree:\n--- first (%zu bytes)\n%.2000s\n--- second (%zu bytes)\n%.2000s\n", what,
                 a.size(), a.c_str(), b.size(), b.c_str());
    std::abort();
}

}  // namespace lexovia::fuzz
