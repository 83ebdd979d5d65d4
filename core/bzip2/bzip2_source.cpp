#include "core/bzip2/bzip2_source.hpp"

#include <limits>
#include <string>

namespace lexovia::bzip2 {

std::string bzip2_error_text(int code) {
    switch (code) {
        case BZ_DATA_ERROR: return "data integrity error in the compressed stream (BZ_DATA_ERROR)";
        case BZ_DATA_ERROR_MAGIC: return "not a bzip2 stream (BZ_DATA_ERROR_MAGIC)";
        case BZ_MEM_ERROR: return "out of memory (BZ_MEM_ERROR)";
        case BZ_PARAM_ERROR: return "invalid parameter (BZ_PARAM_ERROR)";
        case BZ_SEQUENCE_ERROR: return "call out of sequence (BZ_SEQUENCE_ERROR)";
        case BZ_CONFIG_ERROR: return "libbz2 misconfigured (BZ_CONFIG_ERROR)";
        case BZ_UNEXPECTED_EOF: return "compressed stream ends before its end-of-stream marker (BZ_UNEXPECTED_EOF)";
        default: return "libbz2 error " + std::to_string(code);
    }
}

namespace {

[[noreturn]] void fail(int code) { throw SourceError{"bzip2 decompression failed: " + bzip2_error_text(code)}; }

}  // namespace

Bzip2Source::Bzip2Source(std::span<const std::uint8_t> compressed, std::size_t chunk_size)
    : buffer_(std::make_unique<std::uint8_t[]>(chunk_size)), chunk_size_(chunk_size) {
    const int rc = BZ2_bzDecompressInit(&stream_, 0, 0);
    if (rc != BZ_OK) fail(rc);
    initialised_ = true;
    // libbz2 counts input in unsigned int; the image is far below that.
    if (compressed.size() > std::numeric_limits<unsigned>::max()) fail(BZ_PARAM_ERROR);
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(compressed.data()));
    stream_.avail_in = static_cast<unsigned>(compressed.size());
}

Bzip2Source::~Bzip2Source() {
    if (initialised_) BZ2_bzDecompressEnd(&stream_);
}

std::span<const std::uint8_t> Bzip2Source::next() {
    if (ended_) return {};
    stream_.next_out = reinterpret_cast<char*>(buffer_.get());
    stream_.avail_out = static_cast<unsigned>(chunk_size_);
    while (stream_.avail_out > 0) {
        const unsigned in_before = stream_.avail_in;
        const unsigned out_before = stream_.avail_out;
        const int rc = BZ2_bzDecompress(&stream_);
        if (rc == BZ_STREAM_END) {
            ended_ = true;
            break;
        }
        if (rc != BZ_OK) fail(rc);
        if (stream_.avail_in == 0 && in_before == 0 && stream_.avail_out == out_before) fail(BZ_UNEXPECTED_EOF);
    }
    return {buffer_.get(), chunk_size_ - stream_.avail_out};
}

}  // namespace lexovia::bzip2
