#include "core/bzip2/bzip2_blocks.hpp"

#include <bzlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "core/bzip2/block_decoder.hpp"

namespace lexovia::bzip2 {
namespace {

constexpr std::uint64_t MASK48 = (std::uint64_t(1) << 48) - 1;

// Eight bytes from data[i] on as a big-endian word; bytes past the end read
// as zero.
std::uint64_t load_be64(std::span<const std::uint8_t> data, std::size_t i) {
    std::uint64_t w = 0;
    if (i + 8 <= data.size()) {
        for (std::size_t k = 0; k < 8; ++k) w = (w << 8) | data[i + k];
        return w;
    }
    for (std::size_t k = 0; k < 8; ++k) w = (w << 8) | (i + k < data.size() ? data[i + k] : 0);
    return w;
}

// `count` (at most 56) bits from bit offset `bit` on, most significant first.
std::uint64_t bits_at(std::span<const std::uint8_t> data, std::uint64_t bit, unsigned count) {
    const std::uint64_t w = load_be64(data, static_cast<std::size_t>(bit / 8));
    return (w << (bit % 8)) >> (64 - count);
}

// A magic starting r bits into byte i covers all of bytes i+1..i+5 whatever
// r is, so of the four byte pairs starting at i+1..i+4 one starts at a
// multiple of four. The scan looks only at the pairs starting there, checks
// each against the 32 pairs a magic can show there (4 places x 8 shifts),
// and only on a match tries the 8 offsets of the 4 bytes before it.
struct PairFilter {
    std::array<std::uint64_t, 65536 / 64> bits{};
    PairFilter() {
        for (unsigned r = 0; r < 8; ++r) {
            for (unsigned k = 0; k < 4; ++k) {
                // Bytes i+1+k and i+2+k hold magic bits 8(k+1)-r .. 8(k+1)-r+15.
                const auto pair = static_cast<unsigned>((BLOCK_MAGIC >> (24 - 8 * k + r)) & 0xFFFF);
                bits[pair / 64] |= std::uint64_t(1) << (pair % 64);
            }
        }
    }
    bool maybe(unsigned pair) const { return (bits[pair / 64] >> (pair % 64)) & 1; }
};

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    // Appends the low `count` (at most 48) bits of value.
    void put(std::uint64_t value, unsigned count) {
        acc_ = (acc_ << count) | (value & ((std::uint64_t(1) << count) - 1));
        pending_ += count;
        while (pending_ >= 8) {
            pending_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> pending_));
        }
    }
    // Pads the last byte with zero bits.
    void flush() {
        if (pending_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - pending_)));
        pending_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;
    unsigned pending_ = 0;
};

}  // namespace

std::vector<std::uint64_t> find_block_magics(std::span<const std::uint8_t> data, std::uint64_t from,
                                             std::uint64_t to) {
    static const PairFilter filter;
    std::vector<std::uint64_t> found;
    const std::uint64_t total = std::uint64_t(data.size()) * 8;
    if (total < 48) return found;
    to = std::min(to, total - 47);  // an occurrence must fit inside data
    if (from >= to) return found;
    const std::size_t first = static_cast<std::size_t>(from / 8);
    // Pair j, j+1 for j = first+1, first+5, ...: the candidate bytes i of
    // consecutive pairs, j-4..j-1, tile the data in order.
    for (std::size_t j = first + 1; j + 1 < data.size(); j += 4) {
        const std::size_t lowest = j >= first + 4 ? j - 4 : first;
        if (std::uint64_t(lowest) * 8 >= to) break;
        if (!filter.maybe(unsigned(data[j]) << 8 | data[j + 1])) continue;
        for (std::size_t i = lowest; i < j; ++i) {
            const std::uint64_t w = load_be64(data, i);
            for (unsigned r = 0; r < 8; ++r) {
                const std::uint64_t bit = std::uint64_t(i) * 8 + r;
                if (bit < from) continue;
                if (bit >= to) break;
                if (((w >> (16 - r)) & MASK48) == BLOCK_MAGIC) found.push_back(bit);
            }
        }
    }
    return found;
}

std::optional<Layout> scan_layout(std::span<const std::uint8_t> stream) {
    // libbz2 counts input in unsigned int, so the sequential path refuses
    // anything larger; that refusal must stay its verdict.
    if (stream.size() > UINT_MAX) return std::nullopt;
    const std::uint64_t total = std::uint64_t(stream.size()) * 8;
    if (total < FIRST_BLOCK_BIT + 80) return std::nullopt;
    if (stream[0] != 'B' || stream[1] != 'Z' || stream[2] != 'h' || stream[3] < '1' || stream[3] > '9')
        return std::nullopt;

    Layout layout;
    layout.level = static_cast<char>(stream[3]);

    // The end-of-stream magic, its CRC and at most 7 padding bits end the
    // data. Anything after the stream (a second stream, garbage) moves the
    // magic away from there and rules the stream out.
    int found_end = 0;
    for (std::uint64_t e = std::max<std::uint64_t>(FIRST_BLOCK_BIT, total - 87); e <= total - 80; ++e) {
        if (bits_at(stream, e, 48) == END_MAGIC) {
            layout.end = e;
            ++found_end;
        }
    }
    if (found_end != 1) return std::nullopt;
    layout.combined_crc = static_cast<std::uint32_t>(bits_at(stream, layout.end + 48, 32));

    layout.starts = find_block_magics(stream, FIRST_BLOCK_BIT, layout.end);
    const std::uint64_t first = layout.starts.empty() ? layout.end : layout.starts.front();
    if (first != FIRST_BLOCK_BIT) return std::nullopt;

    std::uint32_t combined = 0;
    layout.crcs.reserve(layout.starts.size());
    for (std::size_t i = 0; i < layout.blocks(); ++i) {
        if (layout.block_end(i) - layout.block_begin(i) < 80) return std::nullopt;
        const auto crc = static_cast<std::uint32_t>(bits_at(stream, layout.block_begin(i) + 48, 32));
        layout.crcs.push_back(crc);
        combined = combine_crc(combined, crc);
    }
    if (combined != layout.combined_crc) return std::nullopt;
    return layout;
}

void reframe_block(std::span<const std::uint8_t> stream, const Layout& layout, std::size_t index,
                   std::vector<std::uint8_t>& out) {
    const std::uint64_t begin = layout.block_begin(index);
    const std::uint64_t length = layout.block_end(index) - begin;
    const std::size_t whole = static_cast<std::size_t>(length / 8);
    const std::size_t q = static_cast<std::size_t>(begin / 8);
    const unsigned r = static_cast<unsigned>(begin % 8);

    out.clear();
    out.reserve(4 + whole + 12);
    out.resize(4 + whole);
    out[0] = 'B';
    out[1] = 'Z';
    out[2] = 'h';
    out[3] = static_cast<std::uint8_t>(layout.level);
    std::uint8_t* dst = out.data() + 4;
    const std::uint8_t* src = stream.data() + q;
    if (r == 0) {
        std::memcpy(dst, src, whole);
    } else {
        // Byte k of the block takes the low 8-r bits of src[k] and the high r
        // bits of src[k+1]; src[k+1] still lies inside the block.
        for (std::size_t k = 0; k < whole; ++k)
            dst[k] = static_cast<std::uint8_t>((src[k] << r) | (src[k + 1] >> (8 - r)));
    }
    BitWriter tail(out);
    if (const auto rest = static_cast<unsigned>(length % 8))
        tail.put(bits_at(stream, begin + std::uint64_t(whole) * 8, rest), rest);
    tail.put(END_MAGIC, 48);
    tail.put(layout.crcs[index], 32);
    tail.flush();
}

void BlockBuffer::reserve(std::size_t needed) {
    if (capacity >= needed) return;
    std::size_t grown = std::max<std::size_t>(capacity, std::size_t(1) << 20);
    while (grown < needed) grown *= 2;
    std::unique_ptr<std::uint8_t[]> bigger(new std::uint8_t[grown]);
    if (size > 0) std::memcpy(bigger.get(), data.get(), size);
    data = std::move(bigger);
    capacity = grown;
}

bool inflate_block(std::span<const std::uint8_t> reframed, BlockBuffer& out, const std::atomic<bool>* cancel,
                   BlockDecoder* decoder) {
    if (decoder && decoder->decode(reframed, out, cancel)) return true;
    if (reframed.size() > UINT_MAX) return false;
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return false;
    struct End {
        bz_stream& s;
        ~End() { BZ2_bzDecompressEnd(&s); }
    } end{stream};
    stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(reframed.data()));
    stream.avail_in = static_cast<unsigned>(reframed.size());

    out.size = 0;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return false;
        // Runs expand a block well past its coded size (up to ~52x), so the
        // buffer grows until the block is out.
        out.reserve(out.size + 1);
        const auto room = static_cast<unsigned>(std::min<std::size_t>(out.capacity - out.size, UINT_MAX));
        stream.next_out = reinterpret_cast<char*>(out.data.get() + out.size);
        stream.avail_out = room;
        const unsigned in_before = stream.avail_in;
        const int rc = BZ2_bzDecompress(&stream);
        out.size += room - stream.avail_out;
        // Ending anywhere but at the re-framed end means the cut was wrong.
        if (rc == BZ_STREAM_END) return stream.avail_in == 0;
        if (rc != BZ_OK) return false;
        // No input left and no output made: the block never ended.
        if (stream.avail_out == room && stream.avail_in == in_before) return false;
    }
}

}  // namespace lexovia::bzip2
