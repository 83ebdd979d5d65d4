// The block structure of a bzip2 stream, for inflating its blocks apart.
//
// A bzip2 stream is "BZh" and a level digit '1'..'9', then its blocks back
// to back with no byte alignment, then the end-of-stream magic, the combined
// CRC and zero to seven padding bits. Each block starts with the 48-bit
// magic 0x314159265359 and its 32-bit CRC; nothing marks where a block's
// Huffman-coded data ends except the next magic. A block does not depend on
// any other block, so once the magics are found each block can be cut out,
// re-framed as a stream of its own and inflated by libbz2 on its own.
//
// The magics are found by looking at every bit offset, so a magic pattern
// that happens to occur inside coded data is taken for a boundary too. That
// is harmless: see inflate_block for why such a false boundary can never
// yield output, only a failure.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace lexovia::bzip2 {

class BlockDecoder;

inline constexpr std::uint64_t BLOCK_MAGIC = 0x314159265359;
inline constexpr std::uint64_t END_MAGIC = 0x177245385090;
// The first block (or the end-of-stream magic of an empty stream) follows
// the four header bytes.
inline constexpr std::uint64_t FIRST_BLOCK_BIT = 32;

// The CRC of a stream after one more block: rotate left by one, then xor.
constexpr std::uint32_t combine_crc(std::uint32_t combined, std::uint32_t block_crc) {
    return ((combined << 1) | (combined >> 31)) ^ block_crc;
}

struct Layout {
    char level = '9';                  // the header's level digit
    std::vector<std::uint64_t> starts;  // bit offset of each block magic, ascending
    std::uint64_t end = 0;              // bit offset of the end-of-stream magic
    std::vector<std::uint32_t> crcs;    // the CRC stored after each block magic
    std::uint32_t combined_crc = 0;     // the CRC stored after the end-of-stream magic

    std::size_t blocks() const { return starts.size(); }
    // Bit range [first, last) of block i: its magic up to the next magic.
    std::uint64_t block_begin(std::size_t i) const { return starts[i]; }
    std::uint64_t block_end(std::size_t i) const { return i + 1 < starts.size() ? starts[i + 1] : end; }
};

// Bit offsets of every occurrence of BLOCK_MAGIC in bits [from, to) of data
// (an occurrence starts in that range and lies wholly inside data).
std::vector<std::uint64_t> find_block_magics(std::span<const std::uint8_t> data, std::uint64_t from,
                                             std::uint64_t to);

// The layout of a stream, when it has the shape that lets its blocks be
// inflated apart; nullopt otherwise. The shape: "BZh1".."BZh9"; a block
// magic right after the header (or, for an empty stream, the end-of-stream
// magic); an end-of-stream magic whose CRC and padding end exactly at the end
// of data (a single stream, nothing after it); every block long enough to
// hold its magic and CRC; and the combined CRC computed from the block CRCs
// equal to the stored one. The last check means a magic pattern inside coded
// data almost always shows up here already, as an extra CRC in the chain.
std::optional<Layout> scan_layout(std::span<const std::uint8_t> stream);

// Block `index` of a scanned stream as a single-block stream of its own:
// the header, the block's bits shifted into byte alignment, the end-of-stream
// magic and the block's CRC as the combined CRC, padded to a byte. Replaces
// the contents of out.
void reframe_block(std::span<const std::uint8_t> stream, const Layout& layout, std::size_t index,
                   std::vector<std::uint8_t>& out);

// Growable output of one block.
struct BlockBuffer {
    std::unique_ptr<std::uint8_t[]> data;
    std::size_t size = 0;
    std::size_t capacity = 0;

    // Room for at least needed bytes, the first size kept: the capacity
    // doubles from 1 MiB until it is enough, so a block that grows a little
    // at a time is copied only a few times.
    void reserve(std::size_t needed);
};

// Inflates a re-framed block into out (replacing its contents) and reports
// whether libbz2 accepted it: the block decoded, its CRC matched, and the
// stream ended exactly at the end of the re-framed bytes. `cancel`, when it
// turns true, makes the call give up early and report failure.
//
// Why success proves the cut was right. The re-framed bytes hold no block
// magic after the first one, not even one straddling the block's bits and
// the appended end-of-stream magic (no suffix of one magic is a prefix of the
// other), and the end-of-stream magic cannot overlap itself within 7 bits.
// So libbz2 ending exactly at the re-framed end means the block's coded data
// ended exactly where the cut was made. libbz2 decodes a block reading only
// the bits it needs, so decoding the original stream from the same start
// takes the same bits, yields the same bytes and the same CRC verdict, and
// then meets the next magic where the next cut begins. By induction from the
// first block, which starts where the original stream's first block does,
// blocks that succeed in order are exactly the original's blocks. And a block
// cut short by a false magic always fails: were it to succeed, its data would
// end at that magic, making it a true boundary.
//
// With a decoder, the block goes to it first (block_decoder.hpp) and to libbz2
// only when it declines; the verdict and the bytes are the same either way.
bool inflate_block(std::span<const std::uint8_t> reframed, BlockBuffer& out,
                   const std::atomic<bool>* cancel = nullptr, BlockDecoder* decoder = nullptr);

}  // namespace lexovia::bzip2
