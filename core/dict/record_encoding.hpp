// The in-memory form of a dictionary entry: how EntryWriter writes an
// entry's key and records and how RecordView reads them back.
//
// An entry is one contiguous byte run:
//
//   key       varint length, then the UTF-8 bytes
//   records   varint count, then per record:
//               stress positions   varint count, then one byte each
//               part of speech     varint count, then one byte each
//               features           varint count, then per pair a name byte
//                                  and a varint-counted list of value bytes
//               presence byte      HAS_LEMMA | HAS_DEFINITION
//               lemma, definition  4 bytes little-endian each, when present
//
// Varints are LEB128: seven bits a byte, low bits first, the top bit set on
// every byte but the last.
//
// Why this is not the image's form (image_decoder.hpp: every count and length
// a fixed u64, each optional a tag byte): almost every count and length in
// the dictionary is below 128, so a varint stores it in one byte where the
// image spends eight, and one presence byte replaces two tags. The records of
// an entry shrink to a fraction of their image size, which is what keeps
// three million entries small in memory and an entry's key and records
// together within a cache line or two, the bytes a lookup reads. The image
// keeps its fixed-width form; the decoder re-encodes while it reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lexovia::dict {

// Flag bits of a record's presence byte.
inline constexpr std::uint8_t HAS_LEMMA = 1;
inline constexpr std::uint8_t HAS_DEFINITION = 2;

// The most bytes a varint of a 64-bit value takes: seven bits a byte.
inline constexpr std::size_t MAX_VARINT_BYTES = (64 + 6) / 7;
// Bytes of a stored lemma or definition index.
inline constexpr std::size_t U32_BYTES = 4;

// Writes v as a varint at p, which has room for MAX_VARINT_BYTES; returns the
// bytes written.
inline std::size_t write_varint(std::uint8_t* p, std::uint64_t v) {
    std::size_t n = 0;
    while (v >= 0x80) {
        p[n++] = static_cast<std::uint8_t>(v | 0x80);
        v >>= 7;
    }
    p[n++] = static_cast<std::uint8_t>(v);
    return n;
}

// LEB128 decoding of a value written by write_varint; advances p.
inline std::uint64_t read_varint(const std::uint8_t*& p) {
    std::uint64_t v = 0;
    for (unsigned shift = 0;; shift += 7) {
        const std::uint8_t b = *p++;
        v |= std::uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return v;
    }
}

// Writes v little-endian at p, which has room for U32_BYTES.
inline void write_u32(std::uint8_t* p, std::uint32_t v) {
    for (std::size_t i = 0; i < U32_BYTES; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint32_t read_u32(const std::uint8_t*& p) {
    std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                      std::uint32_t(p[3]) << 24;
    p += U32_BYTES;
    return v;
}

// A varint-counted byte list, as a slice of the entry's run; advances p past
// it. The slice lives as long as the Dictionary holding the run.
inline std::span<const std::uint8_t> read_byte_list(const std::uint8_t*& p) {
    const std::uint64_t n = read_varint(p);
    std::span<const std::uint8_t> out(p, static_cast<std::size_t>(n));
    p += n;
    return out;
}

}  // namespace lexovia::dict
