#include "core/bzip2/block_decoder.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "core/bzip2/bzip2_blocks.hpp"

namespace lexovia::bzip2 {
namespace {

// Limits of the format, as libbz2 enforces them.
constexpr unsigned MAX_GROUPS = 6;
constexpr unsigned MIN_GROUPS = 2;
constexpr unsigned MAX_CODE_LENGTH = 20;
constexpr unsigned MAX_ALPHABET = 258;
constexpr unsigned GROUP_SIZE = 50;  // symbols coded with one selector's table
// libbz2 reads at most this many selectors (later versions drop the rest;
// older ones overflow), so a block with more is left to it.
constexpr unsigned MAX_SELECTORS = 18002;
// libbz2 refuses a run of RUNA/RUNB symbols whose weight reaches 2^21.
constexpr unsigned MAX_RUN_SYMBOLS = 21;
constexpr std::size_t ROWS_PER_LEVEL = 100000;
// A run-length expansion turns four equal bytes and a count into at most
// 4 + 255 bytes.
constexpr std::size_t MAX_RUN = 4 + 255;
// Chains of the inverse transform walked at once, so that their cache and
// TLB misses overlap.
constexpr std::size_t WALKERS = 16;
// Pieces the walk is cut into: enough that the walkers share the work
// evenly, few enough that finding where each piece goes costs nothing.
constexpr std::size_t ARCS = 256;
// Room for each walker's bytes, as a multiple of its fair share of a block:
// walkers take arcs as they finish them, so each walks about its share plus
// one arc. A walker out of room makes the block go to libbz2.
constexpr std::size_t WALK_ROOM_SHARES = 4;
// Symbols of up to this many bits are decoded by one table lookup.
constexpr unsigned LOOKUP_BITS = 10;

// The CRC-32 of bzip2 (polynomial 0x04C11DB7, most significant bit first),
// eight bytes a step: table k maps a byte to its CRC contribution when k
// more bytes follow it.
struct CrcTables {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    constexpr CrcTables() {
        for (std::uint32_t b = 0; b < 256; ++b) {
            std::uint32_t c = b << 24;
            for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
            t[0][b] = c;
        }
        for (std::size_t k = 1; k < 8; ++k)
            for (std::size_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] << 8) ^ t[0][t[k - 1][b] >> 24];
    }
};
constexpr CrcTables CRC;

std::uint32_t crc_update(std::uint32_t crc, const std::uint8_t* p, std::size_t n) {
    const auto& t = CRC.t;
    for (; n >= 8; n -= 8, p += 8) {
        const std::uint32_t hi = crc ^ (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 |
                                        std::uint32_t(p[2]) << 8 | p[3]);
        crc = t[7][hi >> 24] ^ t[6][(hi >> 16) & 0xFF] ^ t[5][(hi >> 8) & 0xFF] ^ t[4][hi & 0xFF] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (; n > 0; --n, ++p) crc = (crc << 8) ^ t[0][(crc >> 24) ^ *p];
    return crc;
}

// Bits of a byte span, most significant first. Reading past the end gives
// zero bits and marks the reader overrun, which fails the block at its end.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> data) : data_(data) {}

    // The next n (1..32) bits, not consumed.
    std::uint32_t peek(unsigned n) {
        if (count_ < n) refill();
        return static_cast<std::uint32_t>(buffer_ >> (64 - n));
    }
    void skip(unsigned n) {
        buffer_ <<= n;
        count_ -= n;
    }
    std::uint32_t take(unsigned n) {
        const std::uint32_t v = peek(n);
        skip(n);
        return v;
    }
    bool bit() { return take(1) != 0; }
    // Bytes loaded into the buffer, less the bits still unread there.
    std::uint64_t consumed_bits() const { return std::uint64_t(next_) * 8 - count_; }
    bool overrun() const { return consumed_bits() > std::uint64_t(data_.size()) * 8; }

private:
    void refill() {
        while (count_ <= 56) {
            const std::uint64_t byte = next_ < data_.size() ? data_[next_] : 0;
            ++next_;
            buffer_ |= byte << (56 - count_);
            count_ += 8;
        }
    }
    std::span<const std::uint8_t> data_;
    std::size_t next_ = 0;
    std::uint64_t buffer_ = 0;  // unread bits, left-aligned
    unsigned count_ = 0;
};

// One Huffman table of a block, built from its code lengths when they form a
// complete prefix code; then canonical decoding (codes assigned in order of
// length, then symbol) reads exactly what libbz2's decoding reads.
class HuffmanTable {
public:
    bool build(const std::uint8_t* lengths, unsigned alphabet) {
        std::array<unsigned, MAX_CODE_LENGTH + 1> count{};
        std::uint32_t kraft = 0;
        for (unsigned s = 0; s < alphabet; ++s) {
            ++count[lengths[s]];
            kraft += std::uint32_t(1) << (MAX_CODE_LENGTH - lengths[s]);
        }
        if (kraft != std::uint32_t(1) << MAX_CODE_LENGTH) return false;
        std::array<unsigned, MAX_CODE_LENGTH + 1> next_slot{};
        std::uint32_t code = 0;
        unsigned slot = 0;
        for (unsigned len = 1; len <= MAX_CODE_LENGTH; ++len) {
            first_code_[len] = code;
            first_slot_[len] = slot;
            count_[len] = count[len];
            next_slot[len] = slot;
            code = (code + count[len]) << 1;
            slot += count[len];
        }
        for (unsigned s = 0; s < alphabet; ++s) symbols_[next_slot[lengths[s]]++] = static_cast<std::uint16_t>(s);
        lookup_.fill(0);
        for (unsigned len = 1; len <= LOOKUP_BITS; ++len) {
            for (unsigned k = 0; k < count[len]; ++k) {
                const std::uint32_t c = first_code_[len] + k;
                const std::uint16_t entry =
                    static_cast<std::uint16_t>(symbols_[first_slot_[len] + k] << 5 | len);
                const std::uint32_t from = c << (LOOKUP_BITS - len);
                std::fill_n(lookup_.begin() + from, std::size_t(1) << (LOOKUP_BITS - len), entry);
            }
        }
        return true;
    }

    unsigned decode(BitReader& in) const {
        const std::uint16_t entry = lookup_[in.peek(LOOKUP_BITS)];
        if (entry != 0) {
            in.skip(entry & 31);
            return entry >> 5;
        }
        // A complete code has a codeword for every bit pattern, so some
        // length up to the maximum matches.
        const std::uint32_t window = in.peek(MAX_CODE_LENGTH);
        for (unsigned len = LOOKUP_BITS + 1;; ++len) {
            const std::uint32_t c = window >> (MAX_CODE_LENGTH - len);
            if (c - first_code_[len] < count_[len]) {
                in.skip(len);
                return symbols_[first_slot_[len] + (c - first_code_[len])];
            }
        }
    }

private:
    // symbol << 5 | length, 0: longer; set wholly by build(), before any decode().
    std::array<std::uint16_t, std::size_t(1) << LOOKUP_BITS> lookup_;
    std::array<std::uint32_t, MAX_CODE_LENGTH + 1> first_code_{};
    std::array<unsigned, MAX_CODE_LENGTH + 1> first_slot_{};
    std::array<unsigned, MAX_CODE_LENGTH + 1> count_{};
    std::array<std::uint16_t, MAX_ALPHABET> symbols_{};
};

std::uint64_t take48(BitReader& in) {
    const std::uint64_t high = in.take(24);
    return high << 24 | in.take(24);
}

bool cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

std::size_t walk_room(std::size_t rows) { return rows / WALKERS * WALK_ROOM_SHARES + ARCS; }

// Run-length expansion: four equal bytes are followed by a count of further
// copies. False when the block ends before the count (libbz2 reads past the
// block there and fails).
bool expand_runs(const std::uint8_t* text, std::size_t rows, BlockBuffer& out) {
    // Spare room at the end of out for a whole word stored at once.
    constexpr std::size_t WORD = 8;
    out.reserve(rows + rows / 4 + WORD);
    std::size_t i = 0;
    while (i < rows) {
        if (out.capacity - out.size < MAX_RUN + WORD) out.reserve(out.size + MAX_RUN + WORD + (rows - i));
        std::uint8_t* o = out.data.get() + out.size;
        if (rows - i >= WORD) {
            // Byte k of `differs` is zero where bytes k and k+1 are equal; a
            // run can start only there, so with none among the first seven
            // they are plain bytes.
            std::uint64_t w;
            std::memcpy(&w, text + i, WORD);
            if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
            const std::uint64_t differs = (w ^ (w >> 8)) | (std::uint64_t(0xFF) << 56);
            constexpr std::uint64_t LOW = 0x0101010101010101ull;
            constexpr std::uint64_t HIGH = 0x8080808080808080ull;
            if (((differs - LOW) & ~differs & HIGH) == 0) {  // no zero byte
                std::memcpy(o, text + i, WORD);
                out.size += WORD - 1;
                i += WORD - 1;
                continue;
            }
        }
        const std::uint8_t b = text[i];
        std::size_t same = 1;
        while (same < 4 && i + same < rows && text[i + same] == b) ++same;
        if (same < 4) {
            for (std::size_t m = 0; m < same; ++m) o[m] = b;
            out.size += same;
            i += same;
            continue;
        }
        if (i + 4 >= rows) return false;
        const std::size_t copies = 4 + std::size_t(text[i + 4]);
        std::memset(o, b, copies);
        out.size += copies;
        i += 5;
    }
    return true;
}

}  // namespace

void BlockDecoder::reserve(std::size_t rows) {
    if (rows <= rows_) return;
    rows_ = 0;  // stays 0 if an allocation throws
    last_column_ = dict::allocate_block(rows);
    links_ = dict::allocate_block(rows * sizeof(std::uint32_t));
    walks_ = dict::allocate_block(walk_room(rows) * WALKERS);
    rows_ = rows;
}

void BlockDecoder::link_rows(std::size_t rows, const std::array<std::uint32_t, 256>& byte_count) {
    // Row j's successor is the row whose last byte is the j-th in sorted
    // order, ties kept in row order.
    std::array<std::uint32_t, 256> next_of_byte;
    std::uint32_t total = 0;
    for (unsigned b = 0; b < 256; ++b) {
        next_of_byte[b] = total;
        total += byte_count[b];
    }
    const std::uint8_t* last = last_column_.get();
    auto* links = reinterpret_cast<std::uint32_t*>(links_.get());
    for (std::size_t i = 0; i < rows; ++i) {
        const std::uint32_t j = next_of_byte[last[i]]++;
        links[j] = static_cast<std::uint32_t>(i) << 8 | last[j];
    }
}

const std::uint8_t* BlockDecoder::invert(std::size_t rows, std::uint32_t start) {
    const auto* links = reinterpret_cast<const std::uint32_t*>(links_.get());
    // The marked rows: `start` and ARCS rows spread over the block. The walk
    // from a marked row to the next marked row it meets is an arc; the arcs
    // cut every cycle of the permutation into pieces that WALKERS walkers
    // take one after another, each into its own buffer.
    std::vector<std::uint32_t> marks;
    marks.reserve(ARCS + 1);
    for (std::size_t a = 0; a < ARCS; ++a) marks.push_back(static_cast<std::uint32_t>(a * rows / ARCS));
    marks.push_back(start);
    std::sort(marks.begin(), marks.end());
    marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
    std::vector<std::uint64_t> marked((rows + 63) / 64, 0);
    for (const std::uint32_t m : marks) marked[m / 64] |= std::uint64_t(1) << (m % 64);
    const auto is_marked = [&](std::uint32_t row) { return (marked[row / 64] >> (row % 64)) & 1; };

    struct Arc {
        std::uint8_t* bytes = nullptr;
        std::size_t length = 0;
        std::uint32_t end = 0;  // the marked row it ends at
    };
    std::vector<Arc> arcs(marks.size());
    std::array<std::uint32_t, WALKERS> row{};      // the row each walker reads next
    std::array<std::uint8_t*, WALKERS> write{};    // where its next byte goes
    std::array<std::uint8_t*, WALKERS> room_end{};
    std::array<std::size_t, WALKERS> arc{};        // the arc it walks
    std::array<bool, WALKERS> busy{};
    std::size_t next_arc = 0;
    const auto begin_arc = [&](std::size_t w) {
        if (next_arc == arcs.size()) {
            busy[w] = false;
            return;
        }
        arc[w] = next_arc++;
        arcs[arc[w]].bytes = write[w];
        row[w] = links[marks[arc[w]]] >> 8;
        busy[w] = true;
    };
    std::size_t active = 0;
    for (std::size_t w = 0; w < WALKERS; ++w) {
        write[w] = walks_.get() + w * walk_room(rows);
        room_end[w] = write[w] + walk_room(rows);
        begin_arc(w);
        active += busy[w];
    }
    while (active > 0) {
        for (std::size_t w = 0; w < WALKERS; ++w) {
            if (!busy[w]) continue;
            if (write[w] == room_end[w]) return nullptr;
            const std::uint32_t r = row[w];
            const std::uint32_t link = links[r];
            *write[w]++ = static_cast<std::uint8_t>(link);
            row[w] = link >> 8;
            if (is_marked(r)) {
                Arc& done = arcs[arc[w]];
                done.length = static_cast<std::size_t>(write[w] - done.bytes);
                done.end = r;
                begin_arc(w);
                if (!busy[w]) --active;
            }
        }
    }

    // The arcs from `start` on, in order, until the cycle closes: the bytes
    // of one turn around start's cycle. A block that is one text, the usual
    // case, makes one cycle through all rows; the text of a block whose
    // cycle is shorter repeats that turn, as libbz2's walk does.
    std::uint8_t* text = last_column_.get();
    std::size_t filled = 0;
    std::uint32_t at = start;
    for (std::size_t hops = 0;; ++hops) {
        if (hops == arcs.size()) return nullptr;  // cannot happen: the start's cycle closes
        const std::size_t a = static_cast<std::size_t>(
            std::lower_bound(marks.begin(), marks.end(), at) - marks.begin());
        if (a == marks.size() || marks[a] != at) return nullptr;  // cannot happen: arcs end at marks
        const Arc& piece = arcs[a];
        const std::size_t take = std::min(piece.length, rows - filled);
        std::memcpy(text + filled, piece.bytes, take);
        filled += take;
        at = piece.end;
        if (at == start || filled == rows) break;
    }
    for (const std::size_t turn = filled; filled < rows;) {
        const std::size_t take = std::min(turn, rows - filled);
        std::memcpy(text + filled, text, take);
        filled += take;
    }
    return text;
}

bool BlockDecoder::decode(std::span<const std::uint8_t> reframed, BlockBuffer& out,
                          const std::atomic<bool>* cancel) {
    try {
        return decode_block(reframed, out, cancel);
    } catch (const std::bad_alloc&) {
        out.size = 0;
        return false;  // libbz2, which needs less memory, may still manage
    }
}

bool BlockDecoder::decode_block(std::span<const std::uint8_t> reframed, BlockBuffer& out,
                                const std::atomic<bool>* cancel) {
    out.size = 0;
    BitReader in(reframed);
    if (in.take(24) != ('B' << 16 | 'Z' << 8 | 'h')) return false;
    const std::uint32_t level = in.take(8);
    if (level < '1' || level > '9') return false;
    const std::size_t max_rows = ROWS_PER_LEVEL * (level - '0');
    if (take48(in) != BLOCK_MAGIC) return false;
    const std::uint32_t stored_crc = in.take(32);
    if (in.bit()) return false;  // randomised: obsolete, left to libbz2
    const std::uint32_t orig_ptr = in.take(24);

    // The bytes the block uses, in byte order.
    std::array<std::uint8_t, 256> used_bytes;
    unsigned used = 0;
    const std::uint32_t ranges = in.take(16);
    for (unsigned r = 0; r < 16; ++r) {
        if (!(ranges >> (15 - r) & 1)) continue;
        const std::uint32_t bits = in.take(16);
        for (unsigned b = 0; b < 16; ++b)
            if (bits >> (15 - b) & 1) used_bytes[used++] = static_cast<std::uint8_t>(r * 16 + b);
    }
    if (used == 0) return false;
    const unsigned alphabet = used + 2;  // RUNA, RUNB, the bytes but the first, end of block
    const unsigned end_of_block = used + 1;

    const unsigned groups = in.take(3);
    if (groups < MIN_GROUPS || groups > MAX_GROUPS) return false;
    const unsigned selector_count = in.take(15);
    if (selector_count < 1 || selector_count > MAX_SELECTORS) return false;
    std::vector<std::uint8_t> selectors(selector_count);
    {
        std::array<std::uint8_t, MAX_GROUPS> order{0, 1, 2, 3, 4, 5};
        for (auto& selector : selectors) {
            unsigned j = 0;
            while (in.bit()) {
                if (++j >= groups) return false;
            }
            const std::uint8_t g = order[j];
            std::memmove(order.data() + 1, order.data(), j);
            order[0] = g;
            selector = g;
        }
    }
    std::array<HuffmanTable, MAX_GROUPS> tables;
    for (unsigned t = 0; t < groups; ++t) {
        std::array<std::uint8_t, MAX_ALPHABET> lengths;
        unsigned current = in.take(5);
        for (unsigned s = 0; s < alphabet; ++s) {
            for (;;) {
                if (current < 1 || current > MAX_CODE_LENGTH) return false;
                if (!in.bit()) break;
                current = in.bit() ? current - 1 : current + 1;
            }
            lengths[s] = static_cast<std::uint8_t>(current);
        }
        if (in.overrun() || !tables[t].build(lengths.data(), alphabet)) return false;
    }

    // Huffman and move-to-front decoding into the last column.
    reserve(max_rows);
    std::uint8_t* last = last_column_.get();
    std::size_t rows = 0;
    std::array<std::uint8_t, 256> front;
    std::copy_n(used_bytes.begin(), used, front.begin());
    std::array<std::uint32_t, 256> byte_count{};
    std::size_t selector = 0;
    unsigned left_in_group = GROUP_SIZE;
    const HuffmanTable* table = &tables[selectors[0]];
    const auto next_symbol = [&]() -> int {
        if (left_in_group == 0) {
            if (++selector >= selector_count) return -1;
            table = &tables[selectors[selector]];
            left_in_group = GROUP_SIZE;
        }
        --left_in_group;
        return static_cast<int>(table->decode(in));
    };
    int symbol = next_symbol();
    for (;;) {
        if (symbol < 0 || in.overrun()) return false;
        if (static_cast<unsigned>(symbol) == end_of_block) break;
        if (symbol <= 1) {
            std::size_t run = 0;
            std::size_t weight = 1;
            unsigned symbols = 0;
            do {
                if (++symbols > MAX_RUN_SYMBOLS) return false;
                run += weight << symbol;  // RUNA adds weight, RUNB twice that
                weight <<= 1;
                symbol = next_symbol();
            } while (symbol == 0 || symbol == 1);
            if (run > max_rows - rows) return false;
            const std::uint8_t b = front[0];
            byte_count[b] += static_cast<std::uint32_t>(run);
            std::memset(last + rows, b, run);
            rows += run;
            continue;
        }
        if (rows >= max_rows) return false;
        const unsigned k = static_cast<unsigned>(symbol) - 1;
        const std::uint8_t b = front[k];
        // Most symbols move a byte by a few places only: a short loop beats
        // a call to memmove.
        for (unsigned m = k; m > 0; --m) front[m] = front[m - 1];
        front[0] = b;
        ++byte_count[b];
        last[rows++] = b;
        symbol = next_symbol();
    }
    if (orig_ptr >= rows) return false;
    if (take48(in) != END_MAGIC) return false;
    // The combined CRC of a one-block stream is its block's CRC.
    if (in.take(32) != stored_crc) return false;
    if (in.overrun() || (in.consumed_bits() + 7) / 8 != reframed.size()) return false;
    if (cancelled(cancel)) return false;

    link_rows(rows, byte_count);
    if (cancelled(cancel)) return false;
    const std::uint8_t* text = invert(rows, orig_ptr);
    if (text == nullptr || cancelled(cancel)) return false;

    if (!expand_runs(text, rows, out)) return false;
    const std::uint32_t crc = ~crc_update(0xFFFFFFFFu, out.data.get(), out.size);
    return crc == stored_crc;
}

}  // namespace lexovia::bzip2
