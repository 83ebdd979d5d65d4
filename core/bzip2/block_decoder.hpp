// A bzip2 block decoder for the common case, faster than libbz2's.
//
// Decodes a re-framed single-block stream (reframe_block) into the block's
// bytes, or declines. It declines whatever it cannot vouch for: any input
// libbz2 would reject, and also some that libbz2 accepts but that no
// ordinary compressor writes (randomised blocks, Huffman codes that are not
// complete prefix codes, more selectors than libbz2 reads). inflate_block
// then hands the block to libbz2, whose verdict stands; so a block this
// decoder accepts inflates to exactly the bytes libbz2 gives, and every other
// block behaves as if this decoder did not exist.
//
// Why faster. The inverse Burrows-Wheeler transform is a walk along a
// permutation of the block's rows: a chain of dependent loads from a table
// of the block's size (3.6 MB at level 9, beyond the per-core cache), and
// libbz2 walks it from the front only, one cache miss after another. This
// decoder marks a few hundred rows, cuts the walk at them into arcs, and
// walks many arcs at once, each into a buffer of its own, so that their
// misses overlap; the arcs are then joined in the order the walk from the
// start row meets them. Bytes do not depend on how the walk is cut, so the
// result is libbz2's, including for a block whose permutation has several
// cycles (a periodic text), where both repeat the start row's cycle. The
// tables sit on huge pages, Huffman symbols are read through a lookup table
// rather than a bit at a time, and the scratch tables are kept from block
// to block.
//
// Not thread-safe: one decoder per thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/dict/huge_pages.hpp"

namespace lexovia::bzip2 {

struct BlockBuffer;

class BlockDecoder {
public:
    // Inflates the re-framed block into out (replacing its contents); false
    // when declining (see above) or when `cancel` turns true. On false, out
    // holds no meaningful bytes.
    bool decode(std::span<const std::uint8_t> reframed, BlockBuffer& out,
                const std::atomic<bool>* cancel = nullptr);

private:
    bool decode_block(std::span<const std::uint8_t> reframed, BlockBuffer& out, const std::atomic<bool>* cancel);
    // Room for `rows` rows in every table, kept for the next block. The link
    // table is read at random, so it sits on huge pages where the system
    // grants them: with 4 KiB pages its 3.6 MB would miss the TLB on nearly
    // every step of the walk.
    void reserve(std::size_t rows);
    // Fills links_ from the last column and each byte's count.
    void link_rows(std::size_t rows, const std::array<std::uint32_t, 256>& byte_count);
    // The block's bytes in text order, walking the links from the row after
    // `start`, written over the last column (which the links have replaced);
    // nullptr if the walk cannot be completed.
    const std::uint8_t* invert(std::size_t rows, std::uint32_t start);
    std::size_t rows_ = 0;
    // The block before the Burrows-Wheeler inversion, one byte a row; once
    // the rows are linked, the block after it.
    dict::ByteBlock last_column_;
    // Per row: the next row (upper 24 bits) and the row's byte (low 8).
    dict::ByteBlock links_;
    // A buffer per walker of the inversion.
    dict::ByteBlock walks_;
};

}  // namespace lexovia::bzip2
