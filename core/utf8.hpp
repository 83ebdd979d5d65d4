// UTF-8 decoding and encoding of single code points.
//
// The engine accepts any byte string. Well-formed UTF-8 decodes to its code
// points; each byte of an ill-formed sequence decodes to U+FFFD on its own,
// so decoding never fails and always makes progress.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lexovia::utf8 {

inline constexpr char32_t REPLACEMENT = 0xFFFD;

// Decodes the code point at s[pos] and advances pos past it.
char32_t decode_next(std::string_view s, std::size_t& pos);

// Appends the UTF-8 encoding of c to out.
void append(std::string& out, char32_t c);

// Number of bytes the UTF-8 encoding of c takes.
constexpr std::size_t encoded_size(char32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

}  // namespace lexovia::utf8
