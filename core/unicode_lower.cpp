#include "core/unicode_lower.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "core/utf8.hpp"

namespace lexovia {
namespace {

struct LowerRun {
    char32_t first;
    char32_t last;
    std::uint8_t stride;
    std::int32_t delta;
};

struct LowerMulti {
    char32_t code;
    std::uint8_t length;
    char32_t lower[3];
};

#include "core/unicode_lower_table.inc"

}  // namespace

std::size_t lowercase_code_point(char32_t c, char32_t* out) {
    // Fast paths for the scripts this module is about.
    if (c < 0x80) {
        out[0] = (c >= 'A' && c <= 'Z') ? c + 32 : c;
        return 1;
    }
    if (c >= 0x0410 && c <= 0x042F) {  // Cyrillic А..Я
        out[0] = c + 32;
        return 1;
    }
    if (c >= 0x0430 && c <= 0x045F) {  // Cyrillic а..я and ѐ..џ are lowercase
        out[0] = c;
        return 1;
    }
    for (const LowerMulti& m : LOWER_MULTI) {
        if (m.code == c) {
            std::copy_n(m.lower, m.length, out);
            return m.length;
        }
    }
    // The last run whose first code point is <= c is the only candidate.
    const auto it = std::upper_bound(std::begin(LOWER_RUNS), std::end(LOWER_RUNS), c,
                                     [](char32_t v, const LowerRun& r) { return v < r.first; });
    if (it != std::begin(LOWER_RUNS)) {
        const LowerRun& r = *std::prev(it);
        if (c <= r.last && (c - r.first) % r.stride == 0) {
            out[0] = static_cast<char32_t>(static_cast<std::int64_t>(c) + r.delta);
            return 1;
        }
    }
    out[0] = c;
    return 1;
}

std::string lowercase_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    for_each_lowercase(text, [&](char32_t c) { utf8::append(out, c); });
    return out;
}

}  // namespace lexovia
