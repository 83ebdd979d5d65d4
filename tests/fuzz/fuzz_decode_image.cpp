// Fuzzes the image decoder with raw (uncompressed) images.
//
// Each input is decoded twice: from memory in one piece, and pulled through
// a source that cuts it into chunks of 1 to 16 bytes, so that numbers,
// strings and entries straddle chunk edges everywhere. Both must give the
// same dictionary or the same error text. A decoded dictionary's search
// (which reads its first steps from a copy of the keys) must answer exactly
// as a plain binary search over the entries, sorted or not. Run with a low
// -malloc_limit_mb:
// a corrupt count that makes the decoder reserve more than its 1 MiB cap
// then crashes the run.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/bzip2/byte_source.hpp"
#include "core/dict/image_decoder.hpp"
#include "dump.hpp"

using namespace lexovia;

namespace {

class ChunkedSource final : public bzip2::ByteSource {
public:
    ChunkedSource(std::span<const std::uint8_t> bytes, std::uint32_t seed) : bytes_(bytes), state_(seed | 1) {}
    std::span<const std::uint8_t> next() override {
        state_ = state_ * 1103515245u + 12345u;
        const std::size_t n = std::min<std::size_t>(bytes_.size(), 1 + (state_ >> 16) % 16);
        const auto out = bytes_.first(n);
        bytes_ = bytes_.subspan(n);
        return out;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::uint32_t state_;
};

void check_search(const dict::Dictionary& d) {
    const std::size_t n = std::min<std::size_t>(d.entry_count(), 64);
    for (std::size_t i = 0; i < n; ++i) {
        const std::string key(d.key(i * (d.entry_count() / n)));
        for (const std::string& q : {key, key + '\0', key.substr(0, key.size() / 2)}) {
            if (d.find(q) != fuzz::plain_find(d, q)) {
                fuzz::disagree("search tree and plain search", q,
                               std::to_string(d.find(q).value_or(SIZE_MAX)) + " vs " +
                                   std::to_string(fuzz::plain_find(d, q).value_or(SIZE_MAX)));
            }
        }
    }
}

template <typename Decode>
std::string outcome(Decode&& decode) {
    try {
        return "ok\n" + fuzz::dump(decode());
    } catch (const dict::DecodeError& e) {
        return "error " + e.message;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    const std::string whole = outcome([&] {
        dict::Dictionary d = dict::decode_image(image);
        check_search(d);
        return d;
    });
    ChunkedSource chunks(image, static_cast<std::uint32_t>(size));
    const std::string pieces = outcome([&] { return dict::decode_image(chunks); });
    if (whole != pieces) fuzz::disagree("whole and chunked decoding", whole, pieces);
    return 0;
}
