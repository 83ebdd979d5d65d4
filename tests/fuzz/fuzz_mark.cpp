// Fuzzes mark() against the full lookup on random images.
//
// The input is a raw image; whatever decodes is a dictionary, sorted or not,
// with any stress bytes and indexes. For each of its first keys, and for
// variants of them (capitalised, extended, cut, with an ill-formed byte),
// mark() must give exactly what the first reading of lookup() gives, or the
// word unchanged when lookup() has no reading. Input that does not decode
// is ignored (fuzz_decode_image covers the decoder).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/dict/image_decoder.hpp"
#include "core/dict/lookup.hpp"
#include "dump.hpp"

using namespace lexovia;

namespace {

// How many keys of one image are tried: enough to reach entries of every
// shape, few enough that each input runs in a blink.
constexpr std::size_t KEYS_TRIED = 32;

std::string mark_by_lookup(const dict::Dictionary& d, std::string_view word) {
    const dict::LookupResult r = dict::lookup(d, word);
    return r.readings.empty() ? std::string(word) : r.readings.front().stressed_form;
}

void check(const dict::Dictionary& d, const std::string& word) {
    const std::string fast = dict::mark(d, word);
    const std::string full = mark_by_lookup(d, word);
    if (fast != full) fuzz::disagree("mark and the first reading of lookup", fast, full);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dict::Dictionary d;
    try {
        d = dict::decode_image(std::span<const std::uint8_t>(data, size));
    } catch (const dict::DecodeError&) {
        return 0;
    }
    const std::size_t n = std::min(d.entry_count(), KEYS_TRIED);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string key(d.key(i));
        std::string upper = "\xD0\x91";  // Б
        upper += key;
        std::string bad = key;
        bad += '\xC3';
        for (const std::string& w : {key, upper, key.substr(0, key.size() / 2), bad}) check(d, w);
    }
    return 0;
}
