// Chunked byte sources for the image decoder.
//
// The decoder pulls the image through a ByteSource one chunk at a time, so
// an image can be decoded straight from a decompressor's output without the
// whole inflated image ever existing in memory. An entry may straddle
// chunks; the decoder handles that.
//
// This interface is where the inflaters (core/bzip2) and the dictionary
// decoder (core/dict) meet: the inflaters implement it, the decoder only
// reads through it, so it lives with the inflaters and the decoder names it
// as bzip2::ByteSource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lexovia::bzip2 {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next chunk of the image; an empty span once the image has ended.
    // The chunk stays valid until the following call. Throws SourceError when
    // the bytes cannot be produced (a decompressor failure).
    virtual std::span<const std::uint8_t> next() = 0;
};

// A failure to produce bytes, e.g. a corrupt compressed stream. The message
// is the text reported as the cause of a failed load.
struct SourceError {
    std::string message;
};

// The whole image already in memory, as one chunk.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::span<const std::uint8_t> next() override {
        auto out = bytes_;
        bytes_ = {};
        return out;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace lexovia::bzip2
