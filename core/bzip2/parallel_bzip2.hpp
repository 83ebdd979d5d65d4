// bzip2 inflation on all cores, as a ByteSource.
//
// Produces exactly the bytes, and fails with exactly the SourceError, of
// Bzip2Source over the same stream, for every input; only faster on a
// stream of many blocks.
//
// How. The constructor scans the compressed bytes for the block layout
// (bzip2_blocks.hpp): block magics at every bit offset, the end-of-stream
// magic at the end, and the chain of block CRCs against the stored combined
// CRC. Worker threads then take blocks in order, each re-framing its block as
// a single-block stream and inflating it with the block decoder of
// block_decoder.hpp, or with libbz2 where that declines (either checks the
// block's CRC, and both give the same bytes). next() hands the inflated
// blocks to the decoder in stream order as they complete, so decoding
// overlaps inflation. A worker only
// starts block i while i is fewer than 2 x workers blocks past the oldest
// block the decoder still holds, so at most that many inflated blocks exist
// at once, whatever the stream's size.
//
// Falling back. Wherever the parallel path cannot vouch for the result, the
// sequential Bzip2Source over the original stream takes over, and whatever
// it produces or throws is the answer:
//  - before anything is handed out, when the scan rejects the layout: not
//    "BZh1".."BZh9", no end-of-stream magic at the very end (truncation,
//    trailing bytes, a second stream), a first block not right after the
//    header, the CRC chain not matching the stored combined CRC (a magic
//    pattern occurring by chance inside coded data adds a bogus CRC to the
//    chain, so it is caught here), or a stream too large for libbz2;
//  - after some blocks were handed out, when the next block in order fails
//    to inflate (corrupt data, a false boundary that slipped past the CRC
//    chain, or a worker out of memory): the workers are stopped and joined,
//    the sequential source starts from the beginning of the stream, the bytes
//    already handed out are skipped, and it continues from there. Those bytes
//    are exactly the sequential source's first bytes: blocks that inflated in
//    order are exactly the stream's own blocks (see inflate_block), each
//    checked against its CRC as libbz2 checks it when inflating sequentially.
//    So the decoder sees one seamless byte sequence, and a corrupt block
//    fails with the sequential source's own message. The price is inflating
//    the handed-out part twice, paid only by a stream that is corrupt (or
//    hides a false boundary behind a 1 in 2^32 CRC coincidence).
// When every block inflates, the stream is valid as a whole: its blocks are
// the ones found, each passed its CRC, and the stored combined CRC matches
// their chain, which is all sequential inflation checks; and as nothing may
// follow the end-of-stream CRC, there are no trailing bytes that the two
// paths could treat differently.
//
// Threads. The workers are started by the constructor and joined when the
// last block has been handed out, when falling back, and by the destructor
// on every other path (an exception in the decoder included). A worker never
// lets an exception escape: a failure of any kind, libbz2's verdict or an
// allocation, is carried to the consumer as the failure of that block, and
// the sequential source, which needs far less memory, redoes it. When not a
// single worker can be started (the process is out of threads), the stream
// is inflated sequentially from the start, reported as Fallback::Threads.
// Workers touch no Python state, so this may run with the interpreter lock
// held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/bzip2/byte_source.hpp"
#include "core/bzip2/bzip2_blocks.hpp"
#include "core/bzip2/bzip2_source.hpp"

namespace lexovia::bzip2 {

class ParallelBzip2Source final : public ByteSource {
public:
    // workers == 0: one per hardware thread, at least 2 and at most 8.
    explicit ParallelBzip2Source(std::span<const std::uint8_t> compressed, unsigned workers = 0);
    ~ParallelBzip2Source() override;
    ParallelBzip2Source(const ParallelBzip2Source&) = delete;
    ParallelBzip2Source& operator=(const ParallelBzip2Source&) = delete;

    std::span<const std::uint8_t> next() override;

    enum class Fallback {
        None,    // parallel throughout (so far)
        Layout,   // the scan rejected the stream; sequential from the start
        Block,    // a block failed; sequential after the blocks handed out
        Threads,  // no worker thread could be started; sequential from the start
    };
    struct Stats {
        std::size_t blocks = 0;           // blocks found by an accepted scan
        std::size_t parallel_blocks = 0;  // blocks handed out from the workers
        Fallback fallback = Fallback::None;
        std::size_t peak_blocks = 0;      // most blocks inflating or inflated at once
    };
    Stats stats() const;

private:
    struct Shared;
    void fall_back(Fallback why);
    std::span<const std::uint8_t> next_sequential();

    std::span<const std::uint8_t> compressed_;
    std::unique_ptr<Shared> shared_;  // owns the worker threads
    BlockBuffer current_;  // the block handed out last
    bool holding_ = false;
    std::size_t index_ = 0;  // the next block to hand out
    std::uint64_t handed_out_ = 0;
    bool sequential_mode_ = false;
    std::unique_ptr<Bzip2Source> sequential_;
    std::uint64_t skip_ = 0;  // bytes the sequential source must still drop
    Stats stats_;
};

}  // namespace lexovia::bzip2
