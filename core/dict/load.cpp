#include "core/dict/load.hpp"

#include <cstdio>

#include "core/bzip2/parallel_bzip2.hpp"
#include "core/dict/image_decoder.hpp"

namespace lexovia::dict {

std::string debug_quote(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[12];
                    std::snprintf(buf, sizeof buf, "\\u{%x}", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

Dictionary load_compressed_image(std::span<const std::uint8_t> compressed) {
    try {
        bzip2::ParallelBzip2Source source(compressed);
        return decode_image(source);
    } catch (const bzip2::SourceError& e) {
        throw LoadError{debug_quote(e.message)};
    } catch (const DecodeError& e) {
        throw LoadError{debug_quote("failed to deserialize binary DB: " + e.message)};
    }
}

}  // namespace lexovia::dict
