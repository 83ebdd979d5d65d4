// Fuzzes the bzip2 block decoder against libbz2.
//
// Each input is taken as a re-framed single-block stream (what the parallel
// inflater hands a worker). The decoder may decline any input; whenever it
// accepts one, libbz2 must accept it too and give the same bytes, or the
// run aborts. One decoder serves every input, as one serves every block of
// a worker, so that tables left from a larger block are exercised too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "core/bzip2/block_decoder.hpp"
#include "core/bzip2/bzip2_blocks.hpp"

using namespace lexovia::bzip2;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static BlockDecoder decoder;
    const std::span<const std::uint8_t> block(data, size);
    BlockBuffer fast;
    if (!decoder.decode(block, fast)) return 0;
    BlockBuffer reference;
    if (!inflate_block(block, reference)) std::abort();
    if (reference.size != fast.size) std::abort();
    if (fast.size > 0 && std::memcmp(reference.data.get(), fast.data.get(), fast.size) != 0) std::abort();
    return 0;
}
