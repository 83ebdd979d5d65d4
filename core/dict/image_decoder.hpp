// Decoder of the dictionary image.
//
// The image is six lists back to back: five lists of UTF-8 strings (part-of-
// speech tags, feature names, feature values, lemmas, definitions) and the
// list of entries (key string, then analysis records: stress-position byte
// list, part-of-speech byte list, feature pairs of a u8 name index and a byte
// list of value indexes, optional u32 lemma, optional u32 definition). Every
// count and length is a u64, every number little-endian, an optional is a tag
// byte 0/1 followed by the value when 1. There is no header or checksum.
//
// Decoding is one forward pass. It checks exactly three things: that the data
// does not end inside a field, that strings are valid UTF-8, and that option
// tags are 0 or 1; indexes, sort order and uniqueness are not checked. Bytes
// after the last entry are ignored. Storage for a list is reserved for at most
// 1 MiB worth of elements up front, so a corrupt count fails at the end of the
// data instead of allocating.
//
// The image's fixed-width records are re-encoded into the dictionary's
// compact in-memory form (record_encoding.hpp) as they are read, through
// EntryWriter; nothing of the image is kept once decoding returns.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "core/bzip2/byte_source.hpp"
#include "core/dict/dictionary.hpp"

namespace lexovia::dict {

// A malformed image; message is the decoder's text, e.g.
// "io error: unexpected end of file".
struct DecodeError {
    std::string message;
};

// Decodes the image pulled from source. Throws DecodeError for a malformed
// image and lets the source's bzip2::SourceError through.
Dictionary decode_image(bzip2::ByteSource& source);

// Decodes an image held in memory.
Dictionary decode_image(std::span<const std::uint8_t> image);

// Why bytes are not valid UTF-8, worded as "invalid utf-8 sequence of N bytes
// from index I" or "incomplete utf-8 byte sequence from index I"; nullopt when
// they are valid.
std::optional<std::string> utf8_error(std::span<const std::uint8_t> bytes);

}  // namespace lexovia::dict
