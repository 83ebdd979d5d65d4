// Parallel bzip2 inflation: for every stream, good or broken, it must give
// what sequential inflation gives, byte for byte and error text for error
// text. The reference is Bzip2Source (sequential libbz2); streams come from
// libbz2's compressor, and multi-block streams with known block boundaries
// are assembled here from single-block streams, bit by bit, with code
// independent of the scanner under test.
#include <bzlib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/bzip2/block_decoder.hpp"
#include "core/bzip2/bzip2_blocks.hpp"
#include "core/bzip2/bzip2_source.hpp"
#include "core/dict/image_decoder.hpp"
#include "core/dict/load.hpp"
#include "core/bzip2/parallel_bzip2.hpp"
#include "tests/fuzz/dump.hpp"

using namespace lexovia;
using namespace lexovia::dict;
using namespace lexovia::bzip2;

namespace {

using Blob = std::vector<std::uint8_t>;
using Fallback = ParallelBzip2Source::Fallback;

constexpr std::uint64_t BLOCK_MAGIC = 0x314159265359;
constexpr std::uint64_t END_MAGIC = 0x177245385090;

Blob compress(const Blob& payload, int level) {
    unsigned size = static_cast<unsigned>(payload.size() + payload.size() / 50 + 1024);
    Blob out(size);
    char none = 0;  // libbz2 wants a pointer even for no input
    char* in = payload.empty() ? &none : const_cast<char*>(reinterpret_cast<const char*>(payload.data()));
    const int rc = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size, in,
                                            static_cast<unsigned>(payload.size()), level, 0, 0);
    EXPECT_EQ(rc, BZ_OK);
    out.resize(size);
    return out;
}

// Everything a source yields: the bytes, and the SourceError text it ended
// with, if any.
struct Outcome {
    Blob bytes;
    std::optional<std::string> error;
};

Outcome drain(ByteSource& source) {
    Outcome out;
    try {
        for (auto chunk = source.next(); !chunk.empty(); chunk = source.next())
            out.bytes.insert(out.bytes.end(), chunk.begin(), chunk.end());
    } catch (const SourceError& e) {
        out.error = e.message;
    }
    return out;
}

Outcome sequential(const Blob& stream) {
    Bzip2Source source(stream);
    return drain(source);
}

Outcome parallel(const Blob& stream, unsigned workers = 0, ParallelBzip2Source::Stats* stats = nullptr) {
    ParallelBzip2Source source(stream, workers);
    Outcome out = drain(source);
    if (stats) *stats = source.stats();
    return out;
}

bool is_prefix(const Blob& part, const Blob& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// ---- payloads ----

Blob random_bytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    Blob out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

// Stretches of random bytes, word-like text and byte runs of random lengths,
// so that blocks compress to odd bit lengths and end at every bit offset.
Blob mixed_bytes(std::size_t n, std::uint32_t seed) {
    static const char* const words[] = {"мама ", "за́мок ", "stress ", "ukrainian ", "слово ", "\t", "\n"};
    std::mt19937 rng(seed);
    Blob out;
    out.reserve(n + 4096);
    while (out.size() < n) {
        const std::size_t len = 1 + rng() % 3000;
        switch (rng() % 3) {
            case 0:
                for (std::size_t i = 0; i < len; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
                break;
            case 1:
                for (std::size_t i = 0; i < len; i += 6) {
                    const std::string w = words[rng() % std::size(words)];
                    out.insert(out.end(), w.begin(), w.end());
                }
                break;
            default:
                out.insert(out.end(), len, static_cast<std::uint8_t>(rng()));
        }
    }
    out.resize(n);
    return out;
}

Blob concat(const std::vector<Blob>& parts) {
    Blob out;
    for (const Blob& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// ---- bit-level assembly of streams, independent of the code under test ----

// count (at most 56) bits from bit offset `from`, most significant first.
std::uint64_t bits_at(const Blob& data, std::uint64_t from, unsigned count) {
    std::uint64_t v = 0;
    const std::size_t first = from / 8, last = (from + count + 7) / 8;  // bytes [first, last)
    for (std::size_t i = first; i < last; ++i) v = (v << 8) | data[i];
    return (v >> (last * 8 - from - count)) & ((std::uint64_t(1) << count) - 1);
}

struct BitSink {
    Blob bytes;
    std::uint64_t bits = 0;
    // Appends the low `count` bits of value.
    void put(std::uint64_t value, unsigned count) {
        for (unsigned k = count; k-- > 0;) {
            if (bits % 8 == 0) bytes.push_back(0);
            if ((value >> k) & 1) bytes.back() |= static_cast<std::uint8_t>(0x80 >> (bits % 8));
            ++bits;
        }
    }
    void copy(const Blob& from, std::uint64_t begin, std::uint64_t end) {
        for (; begin + 32 <= end; begin += 32) put(bits_at(from, begin, 32), 32);
        const auto rest = static_cast<unsigned>(end - begin);
        if (rest > 0) put(bits_at(from, begin, rest), rest);
    }
};

// A stream of one block as libbz2 writes it: its CRC, and the bits from
// its block magic to its end-of-stream magic.
struct SingleBlock {
    std::uint32_t crc;
    std::uint64_t begin = 32, end = 0;
    Blob stream;
};

SingleBlock single_block(const Blob& payload, int level) {
    SingleBlock b;
    b.stream = compress(payload, level);
    b.crc = static_cast<std::uint32_t>(bits_at(b.stream, 80, 32));
    EXPECT_EQ(bits_at(b.stream, 32, 48), BLOCK_MAGIC);
    // The end-of-stream magic whose CRC (the block's, for one block) ends in
    // the last byte.
    const std::uint64_t total = b.stream.size() * 8;
    for (std::uint64_t e = total - 87; e <= total - 80; ++e)
        if (bits_at(b.stream, e, 48) == END_MAGIC && bits_at(b.stream, e + 48, 32) == b.crc) b.end = e;
    EXPECT_NE(b.end, 0u);
    return b;
}

struct Assembled {
    Blob stream;
    Blob payload;
    std::vector<std::uint64_t> starts;  // bit offset of each block
    std::uint64_t end = 0;              // bit offset of the end-of-stream magic
};

// One stream whose blocks are those of the given payloads, each compressed
// alone; `combined` overrides the combined CRC.
Assembled assemble(const std::vector<Blob>& payloads, int level, std::optional<std::uint32_t> combined = {}) {
    Assembled a;
    BitSink sink;
    sink.put(std::uint64_t('B') << 16 | std::uint64_t('Z') << 8 | 'h', 24);
    sink.put(static_cast<std::uint64_t>('0' + level), 8);
    std::uint32_t chain = 0;
    for (const Blob& p : payloads) {
        const SingleBlock b = single_block(p, level);
        a.starts.push_back(sink.bits);
        sink.copy(b.stream, b.begin, b.end);
        chain = ((chain << 1) | (chain >> 31)) ^ b.crc;
        a.payload.insert(a.payload.end(), p.begin(), p.end());
    }
    a.end = sink.bits;
    sink.put(END_MAGIC, 48);
    sink.put(combined.value_or(chain), 32);
    a.stream = std::move(sink.bytes);
    return a;
}

std::uint32_t combined_crc_of(const Blob& stream) {
    const std::uint64_t total = stream.size() * 8;
    for (std::uint64_t e = total - 87; e <= total - 80; ++e)
        if (bits_at(stream, e, 48) == END_MAGIC) return static_cast<std::uint32_t>(bits_at(stream, e + 48, 32));
    ADD_FAILURE() << "no end-of-stream magic";
    return 0;
}

// ---- identical output on good streams ----

struct GoodCase {
    const char* name;
    std::function<Blob()> payload;
    int level;
    unsigned workers;
    std::size_t min_blocks;
};

TEST(ParallelBzip2, GoodStreamsYieldTheSequentialBytes) {
    const GoodCase cases[] = {
        {"empty", [] { return Blob{}; }, 9, 0, 0},
        {"one byte", [] { return Blob{'x'}; }, 9, 0, 1},
        {"mixed, level 1", [] { return mixed_bytes(1'000'000, 1); }, 1, 0, 6},
        {"mixed, level 9", [] { return mixed_bytes(2'500'000, 2); }, 9, 0, 2},
        {"random, level 1", [] { return random_bytes(700'000, 3); }, 1, 0, 7},
        {"random, level 5", [] { return random_bytes(1'100'000, 4); }, 5, 0, 3},
        {"random, small", [] { return random_bytes(3'000, 5); }, 9, 0, 1},
        {"one worker", [] { return mixed_bytes(600'000, 6); }, 1, 1, 5},
        {"more workers than blocks", [] { return mixed_bytes(250'000, 7); }, 1, 16, 2},
        // Runs of one byte inflate to ~50x their coded size: the block
        // buffers must grow well past their first size.
        {"long runs", [] { return Blob(12'000'000, 0); }, 1, 0, 3},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Blob payload = c.payload();
        const Blob stream = compress(payload, c.level);
        const Outcome seq = sequential(stream);
        ASSERT_FALSE(seq.error) << *seq.error;
        ASSERT_EQ(seq.bytes, payload);

        ParallelBzip2Source::Stats stats;
        const Outcome par = parallel(stream, c.workers, &stats);
        EXPECT_FALSE(par.error) << *par.error;
        EXPECT_TRUE(par.bytes == payload);
        EXPECT_EQ(stats.fallback, Fallback::None);
        EXPECT_GE(stats.blocks, c.min_blocks);
        EXPECT_EQ(stats.parallel_blocks, stats.blocks);
    }
}

TEST(ParallelBzip2, MixedStreamsHaveBlocksAtManyBitOffsets) {
    // The cases above only cover re-framing at every shift if their blocks
    // really start at varied bit offsets.
    const Blob stream = compress(mixed_bytes(1'000'000, 1), 1);
    const auto layout = bzip2::scan_layout(stream);
    ASSERT_TRUE(layout);
    std::set<std::uint64_t> shifts;
    for (const std::uint64_t s : layout->starts) shifts.insert(s % 8);
    EXPECT_GE(shifts.size(), 5u);
}

TEST(ParallelBzip2, ScanFindsExactlyTheAssembledBlocks) {
    // Blocks of very different sizes, down to a single byte, so boundaries
    // fall at arbitrary bit offsets; the scan must find exactly them.
    std::vector<Blob> payloads = {Blob{'a'}, random_bytes(70'000, 8), mixed_bytes(40'000, 9), Blob{'z'},
                                   Blob(5'000, 'q'), random_bytes(123, 10), mixed_bytes(95'000, 11)};
    for (std::uint32_t seed = 12; seed < 30; ++seed) payloads.push_back(mixed_bytes(1 + seed * 997, seed));
    for (const int level : {1, 9}) {
        SCOPED_TRACE(level);
        const Assembled a = assemble(payloads, level);
        ASSERT_EQ(sequential(a.stream).bytes, a.payload) << "the assembled stream itself is broken";

        const auto layout = bzip2::scan_layout(a.stream);
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->starts, a.starts);
        EXPECT_EQ(layout->end, a.end);

        ParallelBzip2Source::Stats stats;
        const Outcome par = parallel(a.stream, 0, &stats);
        EXPECT_FALSE(par.error);
        EXPECT_TRUE(par.bytes == a.payload);
        EXPECT_EQ(stats.blocks, payloads.size());
        EXPECT_EQ(stats.fallback, Fallback::None);
    }
}

TEST(ParallelBzip2, MagicSearchFindsEveryPlantedOccurrence) {
    // The block magic written into random bytes at chosen bit offsets: at
    // the very start and end, at every shift, close together.
    const struct {
        std::size_t bytes;
        std::vector<std::uint64_t> at;
        std::uint64_t from, to;  // search range
    } cases[] = {
        {6, {0}, 0, 48},
        {7, {1}, 0, 56},
        {7, {8}, 0, 56},
        {40, {0, 48, 96, 151, 200, 263}, 0, 320},
        {40, {272}, 0, 320},  // ends at the last bit
        {100, {33, 81, 130, 180, 231, 283, 336, 390, 445}, 0, 800},
        {100, {33, 81, 130}, 34, 131},  // the range cuts both ends
        {100, {33, 81, 130}, 81, 130},
        {5, {}, 0, 40},  // too short to hold one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, first at " << (c.at.empty() ? 0 : c.at[0]));
        Blob data = random_bytes(c.bytes, static_cast<std::uint32_t>(c.bytes));
        for (const std::uint64_t p : c.at)
            for (unsigned k = 0; k < 48; ++k) {
                const std::uint64_t bit = p + k;
                const auto mask = static_cast<std::uint8_t>(0x80 >> (bit % 8));
                if ((BLOCK_MAGIC >> (47 - k)) & 1) data[bit / 8] |= mask;
                else data[bit / 8] &= static_cast<std::uint8_t>(~mask);
            }
        std::vector<std::uint64_t> expected;
        for (const std::uint64_t p : c.at)
            if (p >= c.from && p < c.to) expected.push_back(p);
        EXPECT_EQ(bzip2::find_block_magics(data, c.from, c.to), expected);
    }
}

TEST(ParallelBzip2, RandomPayloadsAtRandomLevels) {
    std::mt19937 rng(42);
    for (int round = 0; round < 12; ++round) {
        const int level = 1 + static_cast<int>(rng() % 9);
        const std::size_t size = rng() % 400'000;
        const Blob payload = rng() % 2 ? random_bytes(size, rng()) : mixed_bytes(size, rng());
        SCOPED_TRACE(testing::Message() << "level " << level << ", " << size << " bytes");
        const Blob stream = compress(payload, level);
        const Outcome par = parallel(stream, 1 + rng() % 4);
        EXPECT_FALSE(par.error);
        EXPECT_TRUE(par.bytes == payload);
    }
}

// ---- a block magic inside coded data ----

// CRC-32 as bzip2 computes it over a block's bytes (most significant bit
// first, not reflected).
std::uint32_t bzip2_crc(const Blob& data) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i << 24;
            for (int k = 0; k < 8; ++k) c = (c & 0x80000000) ? (c << 1) ^ 0x04C11DB7 : c << 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint8_t b : data) crc = (crc << 8) ^ table[(crc >> 24) ^ b];
    return ~crc;
}

// A block header lists the byte values the block uses as 16-bit maps, one
// per group of 16 values present, first value in the top bit. A payload that
// uses exactly the values these maps name, in five consecutive groups, puts
// the block magic 0x3141'5926'5359 into the header, 121 bits after the real
// magic, followed by the maps of the last two groups, which a scan reads as
// that false block's CRC.
constexpr std::uint16_t FAKE_MAPS[5] = {0x3141, 0x5926, 0x5359, 0x0F0F, 0x00FF};
constexpr unsigned FIRST_GROUP = 2;  // values 0x20..0x6F
constexpr std::uint32_t FAKE_CRC = std::uint32_t(FAKE_MAPS[3]) << 16 | FAKE_MAPS[4];
constexpr std::uint8_t TOGGLE_OFF = 0x22, TOGGLE_ON = 0x23;  // both in the first map

std::vector<std::uint8_t> fake_magic_alphabet() {
    std::vector<std::uint8_t> values;
    for (unsigned g = 0; g < 5; ++g)
        for (unsigned j = 0; j < 16; ++j)
            if ((FAKE_MAPS[g] >> (15 - j)) & 1) values.push_back(static_cast<std::uint8_t>((FIRST_GROUP + g) * 16 + j));
    return values;
}

// A payload over exactly that alphabet with no byte repeated in a row (runs
// would add run-length bytes to the block's values). Positions in `toggles`
// hold TOGGLE_OFF between bytes that are neither toggle value, so each may
// become TOGGLE_ON freely.
Blob fake_magic_payload(std::size_t n, std::uint32_t seed, std::vector<std::size_t>* toggles) {
    const auto alphabet = fake_magic_alphabet();
    std::vector<std::uint8_t> others;
    for (auto v : alphabet)
        if (v != TOGGLE_OFF && v != TOGGLE_ON) others.push_back(v);
    std::mt19937 rng(seed);
    Blob out(alphabet.begin(), alphabet.end());  // every value, ascending
    while (out.size() < n) {
        if (toggles && out.size() % 97 == 50 && out.back() != TOGGLE_OFF && out.back() != TOGGLE_ON) {
            toggles->push_back(out.size());
            out.push_back(TOGGLE_OFF);
            std::uint8_t next;
            do next = others[rng() % others.size()];
            while (next == out[out.size() - 2]);
            out.push_back(next);
            continue;
        }
        std::uint8_t v;
        do v = alphabet[rng() % alphabet.size()];
        while (v == out.back());
        out.push_back(v);
    }
    return out;
}

// Sets toggle bits of payload so that its bzip2 CRC becomes target: the CRC
// is affine in the message bits, so this is a linear system over GF(2),
// solved here over the first 64 toggles.
bool force_crc(Blob& payload, const std::vector<std::size_t>& toggles, std::uint32_t target) {
    const std::uint32_t base = bzip2_crc(payload);
    const std::size_t n = std::min<std::size_t>(toggles.size(), 64);
    struct Row {
        std::uint32_t delta;  // CRC change from flipping the toggles in `uses`
        std::uint64_t uses;   // bit k: toggle k
    };
    std::vector<Row> basis;  // distinct leading bits, highest first
    const auto by_lead = [](const Row& a, const Row& b) { return a.delta > b.delta; };
    for (std::size_t k = 0; k < n; ++k) {
        payload[toggles[k]] = TOGGLE_ON;
        Row row{bzip2_crc(payload) ^ base, std::uint64_t(1) << k};
        payload[toggles[k]] = TOGGLE_OFF;
        for (const Row& b : basis)
            if ((row.delta ^ b.delta) < row.delta) row = {row.delta ^ b.delta, row.uses ^ b.uses};
        if (row.delta) basis.insert(std::upper_bound(basis.begin(), basis.end(), row, by_lead), row);
    }
    Row want{target ^ base, 0};
    for (const Row& b : basis)
        if ((want.delta ^ b.delta) < want.delta) want = {want.delta ^ b.delta, want.uses ^ b.uses};
    if (want.delta != 0) return false;
    for (std::size_t k = 0; k < n; ++k)
        if ((want.uses >> k) & 1) payload[toggles[k]] = TOGGLE_ON;
    return bzip2_crc(payload) == target;
}

// c such that rotl(c, 1) ^ c == x; x must have an even number of set bits.
std::uint32_t unrotate_xor(std::uint32_t x) {
    std::uint32_t c = 0;  // bit 0 chosen as 0; bit i = x_i ^ bit i-1
    for (int i = 1; i < 32; ++i) c |= (((x >> i) ^ (c >> (i - 1))) & 1u) << i;
    return c;
}

TEST(ParallelBzip2, FakeBlockMagicInsideABlockFallsBackBeforeHandingOut) {
    const Blob payload = fake_magic_payload(30'000, 1, nullptr);
    for (const int level : {1, 9}) {
        SCOPED_TRACE(level);
        const Blob alone = compress(payload, level);
        const Assembled after = assemble({mixed_bytes(60'000, 2), payload}, level);
        for (const Blob& stream : {alone, after.stream}) {
        const Outcome seq = sequential(stream);
        ASSERT_FALSE(seq.error);

        // The pattern sits inside the last block, not at a boundary the
        // compressor wrote; the CRC chain with the bogus CRC in it fails.
        const auto magics = bzip2::find_block_magics(stream, 32, stream.size() * 8);
        ASSERT_GE(magics.size(), 2u);
        EXPECT_EQ(bits_at(stream, magics.back() - 121, 48), BLOCK_MAGIC);
        EXPECT_EQ(bits_at(stream, magics.back() + 48, 32), FAKE_CRC);
        EXPECT_FALSE(bzip2::scan_layout(stream));

        ParallelBzip2Source::Stats stats;
        const Outcome par = parallel(stream, 0, &stats);
        EXPECT_FALSE(par.error);
        EXPECT_TRUE(par.bytes == seq.bytes);
        EXPECT_EQ(stats.fallback, Fallback::Layout);
        EXPECT_EQ(stats.parallel_blocks, 0u);
        }
    }
}

TEST(ParallelBzip2, FakeBlockMagicPassingTheCrcChainFallsBackMidStream) {
    // The worst case for the scan: a false boundary whose bogus CRC keeps the
    // chain consistent. Blocks before it are handed out from the workers; the
    // block cut short by it fails, and the sequential source must continue
    // exactly where the handed-out bytes end.
    std::vector<Blob> head = {mixed_bytes(60'000, 3), random_bytes(50'000, 4), mixed_bytes(80'000, 5)};
    std::uint32_t before = 0;  // chain over the head's blocks
    for (const Blob& p : head) before = bzip2::combine_crc(before, bzip2_crc(p));
    // Stored combined C must satisfy rotl(C) ^ FAKE_CRC == C, so that the
    // chain is unchanged by the bogus CRC; the last block's CRC gets C there.
    static_assert(std::popcount(FAKE_CRC) % 2 == 0);
    const std::uint32_t combined = unrotate_xor(FAKE_CRC);
    ASSERT_EQ(bzip2::combine_crc(combined, FAKE_CRC), combined);
    const std::uint32_t last_crc = combined ^ ((before << 1) | (before >> 31));

    std::vector<std::size_t> toggles;
    Blob last = fake_magic_payload(40'000, 6, &toggles);
    ASSERT_GE(toggles.size(), 64u);
    ASSERT_TRUE(force_crc(last, toggles, last_crc));

    std::vector<Blob> payloads = head;
    payloads.push_back(last);
    const Assembled a = assemble(payloads, 9);
    ASSERT_EQ(combined_crc_of(a.stream), combined);
    const Outcome seq = sequential(a.stream);
    ASSERT_FALSE(seq.error) << *seq.error;
    ASSERT_EQ(seq.bytes, a.payload);

    const auto layout = bzip2::scan_layout(a.stream);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->blocks(), payloads.size() + 1);
    EXPECT_EQ(layout->starts.back(), a.starts.back() + 121);

    for (const unsigned workers : {1u, 2u, 4u}) {
        SCOPED_TRACE(workers);
        ParallelBzip2Source::Stats stats;
        const Outcome par = parallel(a.stream, workers, &stats);
        EXPECT_FALSE(par.error);
        EXPECT_TRUE(par.bytes == a.payload);
        EXPECT_EQ(stats.fallback, Fallback::Block);
        EXPECT_EQ(stats.parallel_blocks, head.size());
    }
}

// ---- broken streams: the sequential verdict ----

struct BrokenCase {
    const char* name;
    std::function<Blob(const Assembled&)> make;
    Fallback fallback;
    std::size_t parallel_blocks;
};

TEST(ParallelBzip2, BrokenStreamsFailExactlyAsSequentialInflation) {
    const Assembled five = assemble(
        {mixed_bytes(90'000, 20), random_bytes(60'000, 21), random_bytes(150'000, 22), mixed_bytes(70'000, 23),
         random_bytes(30'000, 24)},
        9);
    ASSERT_EQ(five.starts.size(), 5u);
    const auto flip = [](Blob s, std::uint64_t bit) {
        s[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
        return s;
    };
    const auto cut = [](const Blob& s, std::size_t n) { return Blob(s.begin(), s.begin() + n); };
    const BrokenCase cases[] = {
        {"bit flipped inside block 3 of 5",
         [&](const Assembled& a) { return flip(a.stream, (a.starts[2] + a.starts[3]) / 2); }, Fallback::Block, 2},
        {"bit flipped in block 5's coded data",
         [&](const Assembled& a) { return flip(a.stream, a.end - 40); }, Fallback::Block, 4},
        {"block 3's stored CRC changed", [&](const Assembled& a) { return flip(a.stream, a.starts[2] + 60); },
         Fallback::Layout, 0},
        {"wrong combined CRC", [&](const Assembled& a) { return flip(a.stream, a.end + 48 + 7); },
         Fallback::Layout, 0},
        {"truncated mid-block", [&](const Assembled& a) { return cut(a.stream, a.starts[3] / 8 + 100); },
         Fallback::Layout, 0},
        {"truncated inside the end-of-stream trailer",
         [&](const Assembled& a) { return cut(a.stream, a.stream.size() - 3); },
         Fallback::Layout, 0},
        {"truncated to the header", [&](const Assembled& a) { return cut(a.stream, 4); }, Fallback::Layout, 0},
        {"trailing garbage",
         [&](const Assembled& a) {
             Blob s = a.stream;
             s.insert(s.end(), {'g', 'a', 'r', 'b', 'a', 'g', 'e'});
             return s;
         },
         Fallback::Layout, 0},
        {"a second stream after the first",
         [&](const Assembled& a) { return concat({a.stream, compress(Blob{'s', 'e', 'c'}, 9)}); }, Fallback::Layout,
         0},
        {"level digit too small for the blocks",
         [&](const Assembled& a) {
             Blob s = a.stream;
             s[3] = '1';  // block 3 holds more than 100 kB
             return s;
         },
         Fallback::Block, 2},
        {"level digit 0",
         [&](const Assembled& a) {
             Blob s = a.stream;
             s[3] = '0';
             return s;
         },
         Fallback::Layout, 0},
        {"not a bzip2 stream",
         [](const Assembled&) {
             const std::string text = "hello world, this is plain text";
             return Blob(text.begin(), text.end());
         },
         Fallback::Layout, 0},
        {"no bytes at all", [](const Assembled&) { return Blob{}; }, Fallback::Layout, 0},
    };
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Blob stream = c.make(five);
        const Outcome seq = sequential(stream);
        ParallelBzip2Source::Stats stats;
        const Outcome par = parallel(stream, 2, &stats);
        EXPECT_EQ(par.error, seq.error);
        // Up to the failure the bytes are the stream's own; how many came
        // before it depends on chunking, so only the prefix must agree.
        EXPECT_TRUE(is_prefix(par.bytes, five.payload));
        if (!seq.error) {
            EXPECT_TRUE(par.bytes == seq.bytes);
        }
        EXPECT_EQ(stats.fallback, c.fallback);
        EXPECT_EQ(stats.parallel_blocks, c.parallel_blocks);
    }
}

TEST(ParallelBzip2, BrokenStreamsGiveLibbz2sMessages) {
    // The texts the load failure reports; sequential inflation is their
    // source, pinned here so both paths are checked against fixed words.
    const Blob good = compress(mixed_bytes(300'000, 30), 1);
    Blob corrupt = good;
    corrupt[corrupt.size() / 2] ^= 0x55;
    const struct {
        const char* name;
        Blob stream;
        const char* message;
    } cases[] = {
        {"corrupt", corrupt,
         "bzip2 decompression failed: data integrity error in the compressed stream (BZ_DATA_ERROR)"},
        {"truncated", Blob(good.begin(), good.begin() + good.size() / 2),
         "bzip2 decompression failed: compressed stream ends before its end-of-stream marker (BZ_UNEXPECTED_EOF)"},
        {"not bzip2", Blob{'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         "bzip2 decompression failed: not a bzip2 stream (BZ_DATA_ERROR_MAGIC)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(parallel(c.stream).error, std::optional<std::string>(c.message));
    }
}

// ---- threads and memory ----

TEST(ParallelBzip2, InflatedBlocksStayWithinTheWindow) {
    // Forty small blocks inflate in no time; while the decoder sits idle the
    // workers must stop at 2 x workers blocks rather than inflate them all.
    std::vector<Blob> payloads;
    for (std::uint32_t i = 0; i < 40; ++i) payloads.push_back(mixed_bytes(20'000, 100 + i));
    const Assembled a = assemble(payloads, 1);
    for (const unsigned workers : {1u, 2u, 3u}) {
        SCOPED_TRACE(workers);
        ParallelBzip2Source source(a.stream, workers);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_LE(source.stats().peak_blocks, 2 * workers);
        const Outcome out = drain(source);
        EXPECT_TRUE(out.bytes == a.payload);
        EXPECT_LE(source.stats().peak_blocks, 2 * workers);
    }
}

TEST(ParallelBzip2, AbandonedSourceJoinsItsWorkers) {
    // Destroyed with blocks pending, in flight and held: the destructor must
    // stop and join the workers (a hang or a leak here fails the run).
    const Blob stream = compress(mixed_bytes(2'000'000, 40), 1);
    for (const int taken : {0, 1, 3}) {
        ParallelBzip2Source source(stream, 2);
        ASSERT_GE(source.stats().blocks, 10u);
        for (int i = 0; i < taken; ++i) EXPECT_FALSE(source.next().empty());
    }
}

// ---- loading ----

class ImageWriter {
public:
    void u8(std::uint8_t v) { out.push_back(v); }
    void u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void str(const std::string& s) {
        u64(s.size());
        out.insert(out.end(), s.begin(), s.end());
    }
    void table(const std::vector<std::string>& items) {
        u64(items.size());
        for (const auto& s : items) str(s);
    }
    Blob out;
};

// An image of n entries with one to three records each.
Blob make_image(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    ImageWriter w;
    w.table({"NOUN", "VERB", "ADJ"});
    w.table({"Case", "Number"});
    w.table({"Nom", "Acc", "Sing", "Plur"});
    w.table({"мама", "замок", "слово"});
    w.table({"mother", "castle", "word"});
    w.u64(n);
    for (std::size_t i = 0; i < n; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "слово%07zu", i);
        w.str(key);
        const std::size_t records = 1 + rng() % 3;
        w.u64(records);
        for (std::size_t r = 0; r < records; ++r) {
            w.u64(1);
            w.u8(static_cast<std::uint8_t>(rng() % 4));
            w.u64(1);
            w.u8(static_cast<std::uint8_t>(rng() % 3));
            const std::size_t features = rng() % 3;
            w.u64(features);
            for (std::size_t f = 0; f < features; ++f) {
                w.u8(static_cast<std::uint8_t>(f));
                w.u64(1);
                w.u8(static_cast<std::uint8_t>(rng() % 4));
            }
            for (int opt = 0; opt < 2; ++opt) {
                if (rng() % 2) {
                    w.u8(1);
                    w.u32(rng() % 3);
                } else {
                    w.u8(0);
                }
            }
        }
    }
    return w.out;
}

using lexovia::fuzz::dump;

std::string load_result(const Blob& compressed) {
    try {
        return dump(load_compressed_image(compressed));
    } catch (const LoadError& e) {
        return "error " + e.cause;
    }
}

// Loading as it was before inflation went parallel: sequential inflation
// straight into the decoder, with the same mapping of failures to causes.
std::string sequential_load_result(const Blob& compressed) {
    try {
        Bzip2Source source(compressed);
        return dump(decode_image(source));
    } catch (const SourceError& e) {
        return "error " + debug_quote(e.message);
    } catch (const DecodeError& e) {
        return "error " + debug_quote("failed to deserialize binary DB: " + e.message);
    }
}

TEST(ParallelBzip2, LoadingGivesTheSequentialDictionaryOrError) {
    const Blob image = make_image(15'000, 50);
    const Blob small = make_image(3, 51);
    const Blob good = compress(image, 1);
    ASSERT_GE(bzip2::scan_layout(good)->blocks(), 5u);
    // The image cut into single-block pieces of random sizes.
    const auto pieces = [](const Blob& whole) {
        std::mt19937 rng(53);
        std::vector<Blob> out;
        for (std::size_t at = 0; at < whole.size();) {
            const std::size_t n = std::min<std::size_t>(whole.size() - at, 1 + rng() % 90'000);
            out.emplace_back(whole.begin() + at, whole.begin() + at + n);
            at += n;
        }
        return out;
    };
    const std::string key_text = "слово0000000";
    const Blob key0(key_text.begin(), key_text.end());
    const std::size_t first_key =
        static_cast<std::size_t>(std::search(small.begin(), small.end(), key0.begin(), key0.end()) - small.begin());
    ASSERT_LT(first_key, small.size());
    Blob bad_utf8 = image;
    bad_utf8[0] = 0;  // pos table count 0: the table texts become garbage
    Blob corrupt = good;
    corrupt[corrupt.size() * 2 / 3] ^= 0x10;
    const struct {
        const char* name;
        Blob stream;
        const char* cause;  // "" where the load succeeds
    } cases[] = {
        {"good, many blocks", good, ""},
        {"good, level 9", compress(image, 9), ""},
        {"good, small", compress(small, 9), ""},
        {"empty image", compress(Blob(48, 0), 9), ""},
        {"good, split at odd places", assemble(pieces(image), 1).stream, ""},
        {"image truncated in a count", compress(Blob(image.begin(), image.begin() + 3), 1),
         "\"failed to deserialize binary DB: io error: unexpected end of file\""},
        {"image truncated in a key", compress(Blob(small.begin(), small.begin() + first_key + 2), 1),
         "\"failed to deserialize binary DB: io error: \""},
        {"image with garbage tables", compress(bad_utf8, 1), nullptr},
        {"corrupt stream", corrupt,
         "\"bzip2 decompression failed: data integrity error in the compressed stream (BZ_DATA_ERROR)\""},
        {"truncated stream", Blob(good.begin(), good.begin() + good.size() / 2),
         "\"bzip2 decompression failed: compressed stream ends before its end-of-stream marker (BZ_UNEXPECTED_EOF)\""},
        // A decoding failure early in the image still loses to a stream
        // failure in a later block.
        {"truncated image in a corrupt stream",
         [&] {
             Blob s = compress(concat({Blob(small.begin(), small.begin() + 20), random_bytes(400'000, 52)}), 1);
             s[s.size() - 2000] ^= 0x01;
             return s;
         }(),
         "\"bzip2 decompression failed: data integrity error in the compressed stream (BZ_DATA_ERROR)\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = sequential_load_result(c.stream);
        if (c.cause && *c.cause) {
            EXPECT_EQ(expected, std::string("error ") + c.cause);
        } else if (c.cause) {
            EXPECT_NE(expected.rfind("error ", 0), 0u) << expected;
        }
        EXPECT_EQ(load_result(c.stream), expected);
    }
}

// ---- the block decoder ----

// A single-block stream is its own re-framed block: the decoder must take
// it and give libbz2's bytes.
void expect_decoded_as_libbz2(BlockDecoder& decoder, const Blob& block) {
    BlockBuffer fast, reference;
    ASSERT_TRUE(inflate_block(block, reference));
    ASSERT_TRUE(decoder.decode(block, fast));
    EXPECT_TRUE(Blob(fast.data.get(), fast.data.get() + fast.size) ==
                Blob(reference.data.get(), reference.data.get() + reference.size));
}

TEST(BlockDecoder, TakesEveryCompressedBlockWithLibbz2sBytes) {
    const struct {
        const char* name;
        Blob payload;
    } cases[] = {
        {"one byte", Blob{'z'}},
        {"three equal bytes last", Blob{'x', 'a', 'a', 'a'}},
        {"four equal bytes, count 0", Blob(4, 'a')},
        {"five equal bytes", Blob{'a', 'a', 'a', 'a', 'a', 'q'}},
        {"the longest count", Blob(259, 'b')},
        {"one past the longest count", Blob(260, 'c')},
        {"period 2: rows on many short cycles", concat(std::vector<Blob>(3000, Blob{'a', 'b'}))},
        {"period 3, odd length", concat(std::vector<Blob>(2001, Blob{'a', 'b', 'c'}))},
        {"every byte value", concat(std::vector<Blob>(4, [] {
             Blob all(256);
             for (unsigned i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
             return all;
         }()))},
        {"random bytes", random_bytes(50'000, 3)},
        {"mixed text and runs", mixed_bytes(90'000, 4)},
    };
    BlockDecoder decoder;  // one for all: tables from a larger block are reused
    for (const auto& c : cases) {
        for (const int level : {9, 1, 5}) {
            SCOPED_TRACE(testing::Message() << c.name << ", level " << level);
            expect_decoded_as_libbz2(decoder, compress(c.payload, level));
        }
    }
}

TEST(BlockDecoder, BlocksOfAScannedStreamDecodeAsLibbz2s) {
    const Blob stream = compress(mixed_bytes(2'500'000, 9), 1);
    const auto layout = scan_layout(stream);
    ASSERT_TRUE(layout);
    ASSERT_GT(layout->blocks(), 2u);
    BlockDecoder decoder;
    Blob block;
    for (std::size_t i = 0; i < layout->blocks(); ++i) {
        SCOPED_TRACE(i);
        reframe_block(stream, *layout, i, block);
        expect_decoded_as_libbz2(decoder, block);
    }
}

// Whatever a corrupt block is, inflating it through the decoder gives
// libbz2's verdict and bytes: the decoder takes only blocks libbz2 decodes
// the same way, and leaves it the rest.
TEST(BlockDecoder, CorruptBlocksGetLibbz2sVerdict) {
    const Blob good = compress(mixed_bytes(600, 5), 9);
    std::vector<std::pair<std::string, Blob>> variants;
    for (std::size_t bit = 0; bit < good.size() * 8; ++bit) {
        Blob flipped = good;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
        variants.emplace_back("bit " + std::to_string(bit) + " flipped", flipped);
    }
    for (std::size_t keep = 0; keep < good.size(); keep += 7)
        variants.emplace_back("cut to " + std::to_string(keep), Blob(good.begin(), good.begin() + keep));
    Blob trailing = good;
    trailing.push_back(0);
    variants.emplace_back("a byte after the end", trailing);
    BlockDecoder decoder;
    std::size_t taken = 0;
    for (const auto& [name, block] : variants) {
        SCOPED_TRACE(name);
        BlockBuffer fast, reference;
        const bool ok = inflate_block(block, reference);
        EXPECT_EQ(inflate_block(block, fast, nullptr, &decoder), ok);
        if (!ok) continue;
        ++taken;
        EXPECT_TRUE(Blob(fast.data.get(), fast.data.get() + fast.size) ==
                    Blob(reference.data.get(), reference.data.get() + reference.size));
    }
    // Flips in the stored padding bits leave the block valid.
    EXPECT_GT(taken, 0u);
}

TEST(BlockDecoder, CancelledDecodingFails) {
    const Blob block = compress(mixed_bytes(100'000, 6), 9);
    const std::atomic<bool> cancel{true};
    BlockDecoder decoder;
    BlockBuffer out;
    EXPECT_FALSE(decoder.decode(block, out, &cancel));
    EXPECT_FALSE(inflate_block(block, out, &cancel, &decoder));
}

}  // namespace
