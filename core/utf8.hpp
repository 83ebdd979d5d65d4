// UTF-8 decoding and encoding of single code points.
//
// The engine accepts any byte string. Well-formed UTF-8 decodes to its code
// points; each byte of an ill-formed sequence decodes to U+FFFD on its own,
// so decoding never fails and always makes progress. Both directions are
// inline: they run once per character of every word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lexovia::utf8 {

inline constexpr char32_t REPLACEMENT = 0xFFFD;

// Decodes the code point at s[pos] (pos < s.size()) and advances pos past it.
inline char32_t decode_next(std::string_view s, std::size_t& pos) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t b0 = byte(pos);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    std::size_t len;
    char32_t cp;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return REPLACEMENT;
    }
    if (pos + len > s.size()) {
        ++pos;
        return REPLACEMENT;
    }
    for (std::size_t i = 1; i < len; ++i) {
        const std::uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return REPLACEMENT;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return REPLACEMENT;
    }
    pos += len;
    return cp;
}

// Number of bytes the UTF-8 encoding of c takes.
constexpr std::size_t encoded_size(char32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Writes the UTF-8 encoding of c to out (room for 4 bytes); returns its length.
inline std::size_t encode(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// Appends the UTF-8 encoding of c to out.
inline void append(std::string& out, char32_t c) {
    char buf[4];
    out.append(buf, encode(c, buf));
}

}  // namespace lexovia::utf8
