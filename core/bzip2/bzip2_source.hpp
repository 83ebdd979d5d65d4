// Sequential bzip2 inflation as a ByteSource.
//
// Inflates one bzip2 stream with libbz2 into a fixed buffer, one chunk per
// call, so the decoder consumes the image while it is being inflated. A
// corrupt or truncated stream throws SourceError with libbz2's verdict.
#pragma once

#include <bzlib.h>

#include <memory>
#include <span>

#include "core/bzip2/byte_source.hpp"

namespace lexovia::bzip2 {

class Bzip2Source final : public ByteSource {
public:
    explicit Bzip2Source(std::span<const std::uint8_t> compressed, std::size_t chunk_size = 1u << 20);
    ~Bzip2Source() override;
    Bzip2Source(const Bzip2Source&) = delete;
    Bzip2Source& operator=(const Bzip2Source&) = delete;

    std::span<const std::uint8_t> next() override;

private:
    bz_stream stream_{};
    bool initialised_ = false;
    bool ended_ = false;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t chunk_size_;
};

// The text of a libbz2 return code, e.g. "data integrity error (BZ_DATA_ERROR)".
std::string bzip2_error_text(int code);

}  // namespace lexovia::bzip2
