// The decoded stress dictionary, held compactly in memory.
//
// Five text tables (part-of-speech tags, feature names, feature values,
// lemmas, definitions) and the entries, sorted by the UTF-8 bytes of their
// keys. Each entry is one contiguous byte run in a block arena: its key, then
// its analysis records in the compact form of record_encoding.hpp (LEB128
// counts, raw index bytes, 4-byte lemma and definition indexes), written by
// EntryWriter as the image is decoded. Lookups read records through
// RecordView, whose byte lists are slices of that run. Indexes are stored as
// the image gave them and are not checked here; whoever resolves them must
// bound-check against the tables.
//
// A Dictionary is immutable once built and may be read from any number of
// threads. Every view it hands out (keys, records, table texts) lives as
// long as the Dictionary; moving it keeps them valid, as its arena blocks
// stay where they are. Building is decode_image's job (image_decoder.hpp),
// finding a word is lookup's (lookup.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/dict/huge_pages.hpp"
#include "core/dict/record_encoding.hpp"
#include "core/dict/string_table.hpp"

namespace lexovia::dict {

using Bytes = std::span<const std::uint8_t>;

// A run of `count` items stored back to back, each decoded when the
// iteration reaches it by Item::read(p), which advances p past the item.
template <typename Item>
class PackedList {
public:
    class iterator {
    public:
        using value_type = Item;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        iterator(const std::uint8_t* p, std::uint64_t left) : next_(p), left_(left) {
            if (left_ > 0) current_ = Item::read(next_);
        }
        const Item& operator*() const { return current_; }
        const Item* operator->() const { return &current_; }
        iterator& operator++() {
            if (--left_ > 0) current_ = Item::read(next_);
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const iterator& o) const { return left_ == o.left_; }

    private:
        const std::uint8_t* next_ = nullptr;
        std::uint64_t left_ = 0;
        Item current_{};
    };

    PackedList() = default;
    PackedList(const std::uint8_t* first, std::uint64_t count) : first_(first), count_(count) {}
    std::uint64_t size() const { return count_; }
    iterator begin() const { return iterator(first_, count_); }
    iterator end() const { return iterator(nullptr, 0); }

private:
    const std::uint8_t* first_ = nullptr;
    std::uint64_t count_ = 0;
};

struct FeaturePair {
    std::uint8_t key;
    Bytes values;
    static FeaturePair read(const std::uint8_t*& p);
};

// The feature pairs of one record.
using FeatureList = PackedList<FeaturePair>;

struct RecordView {
    Bytes stress_positions;
    Bytes pos;
    FeatureList features;
    std::optional<std::uint32_t> lemma;
    std::optional<std::uint32_t> definition;
    static RecordView read(const std::uint8_t*& p);
};

// The records of one entry.
using RecordList = PackedList<RecordView>;

// Where each entry starts, in entry order. Filled chunk by chunk, so that
// growing never copies what is there and never holds twice the memory: a
// plain growing array would, at three million entries, briefly need both
// its old and its doubled storage.
class EntryIndex {
public:
    using Slot = const std::uint8_t*;
    std::size_t size() const { return size_; }
    Slot& operator[](std::size_t i) { return chunk(i >> CHUNK_BITS)[i & (CHUNK - 1)]; }
    Slot operator[](std::size_t i) const { return chunk(i >> CHUNK_BITS)[i & (CHUNK - 1)]; }
    void prefetch(std::size_t i) const { __builtin_prefetch(&chunk(i >> CHUNK_BITS)[i & (CHUNK - 1)]); }
    void push_back(Slot p) {
        if ((size_ & (CHUNK - 1)) == 0) chunks_.push_back(allocate_block(CHUNK * sizeof(Slot)));
        chunk(chunks_.size() - 1)[size_ & (CHUNK - 1)] = p;
        ++size_;
    }
    std::size_t memory_bytes() const { return chunks_.size() * CHUNK * sizeof(Slot) + chunks_.capacity() * sizeof(void*); }

private:
    // 2 MiB chunks: one huge page each.
    static constexpr std::size_t CHUNK_BITS = 18;
    static constexpr std::size_t CHUNK = std::size_t(1) << CHUNK_BITS;
    Slot* chunk(std::size_t c) const { return reinterpret_cast<Slot*>(chunks_[c].get()); }
    std::vector<ByteBlock> chunks_;
    std::size_t size_ = 0;
};

class Dictionary {
public:
    StringTable pos_tags;
    StringTable feature_keys;
    StringTable feature_values;
    StringTable lemmas;
    StringTable definitions;

    std::size_t entry_count() const { return entries_.size(); }
    std::string_view key(std::size_t i) const;
    RecordList records(std::size_t i) const;

    // Index of the entry whose key equals key byte for byte, or nullopt.
    // Allocates nothing. It is the entry a binary search over the entries
    // finds (which relies on them being sorted): through the hash index when
    // the keys are strictly ascending, by that binary search otherwise.
    std::optional<std::size_t> find(std::string_view key) const;

    // The records of the entry find() finds, or nullopt: the same answer as
    // records(*find(key)), without reading the entry's start from the entry
    // index, which at three million entries is one more miss in the cache.
    std::optional<RecordList> find_records(std::string_view key) const;

    // Starts loading into the cache what find() and records() will read for
    // each key (its hash slot, then its entry), the
    // loads of many keys overlapping instead of each waiting for the last:
    // a batch then finds its keys several times faster. Changes nothing a
    // lookup returns; does nothing without the hash index.
    void prefetch(std::span<const std::string_view> keys) const;

    // Copies the keys that the first levels of every binary search compare
    // against into one small array, so that a search touches the scattered
    // entries only for its last few steps. Called once the entries are
    // complete; find() ignores a copy made for a different entry count.
    void build_search_tree();

    // Builds the hash index over the keys when they are strictly ascending
    // (then every key names exactly one entry, the one the binary search
    // reaches); otherwise leaves find() to the search. Called once the
    // entries are complete; find() ignores an index made for a different
    // entry count.
    void build_hash_index();

    // Bytes of heap memory held (capacities, not sizes).
    std::size_t memory_bytes() const;

private:
    friend class EntryWriter;
    std::vector<ByteBlock> blocks_;
    std::vector<std::size_t> block_sizes_;
    EntryIndex entries_;

    // The search tree: node 1 is the first midpoint of a search over all
    // entries, nodes 2n and 2n+1 the midpoints of the halves below and above
    // node n's. Slot n - 1 holds node n's key inline, one cache line per
    // level of the search; a key too long for a slot (or a node no search
    // reaches) is marked and read from its entry instead.
    struct alignas(32) TreeSlot {
        static constexpr std::uint8_t OUTSIDE = 0xFF;
        std::uint8_t size = OUTSIDE;
        char bytes[31];
    };
    static constexpr std::size_t SEARCH_TREE_LEVELS = 16;
    ByteBlock tree_;
    std::size_t tree_nodes_ = 0;
    std::size_t tree_entries_ = 0;
    const TreeSlot* tree() const { return reinterpret_cast<const TreeSlot*>(tree_.get()); }

    // The hash index: open addressing with linear probing over 64-bit slots.
    // A slot is 0 when empty, else, from the low bits up: entry + 1, the
    // entry's location, and a tag (further bits of the key's hash), so that
    // a probe reads an entry's key only when the tags agree, and reads it
    // straight from where the slot says, not through the entry index. A
    // binary search over three million keys reads a dozen scattered places;
    // a probe reads two (the slot, the entry).
    //
    // A location is (segment << HASH_OFFSET_BITS) | offset: the segments
    // are address ranges of the arena, each starting at an entry and
    // spanning less than 2^HASH_OFFSET_BITS bytes, found by walking the
    // entries in order (an arena block is one or a few of them); their
    // starts are hash_segments_. When the locations would leave the tag
    // fewer than HASH_MIN_TAG_BITS, the slots hold no locations
    // (hash_location_bits_ is 0) and entries are reached through the index.
    struct Probe {
        std::size_t entry;
        const std::uint8_t* bytes;  // the entry's start
    };
    std::optional<Probe> hash_find(std::string_view key) const;
    // The entry a slot names when the slot is taken and its tag is tag.
    std::optional<Probe> slot_entry(std::uint64_t slot, std::uint64_t tag) const;
    std::uint64_t slot_tag(std::uint64_t hash) const { return hash >> hash_tag_shift_; }
    bool hash_usable() const { return hashed_ && hash_entries_ == entries_.size(); }
    std::optional<std::size_t> search(std::string_view key) const;
    // At most this share of the slots is used (as numerator / 8).
    static constexpr std::size_t HASH_LOAD_EIGHTHS = 6;
    // Entry numbers take at most this many bits of a slot. Larger
    // dictionaries are searched.
    static constexpr unsigned HASH_MAX_INDEX_BITS = 28;
    // Bytes a segment spans: 4 MiB, an arena block.
    static constexpr unsigned HASH_OFFSET_BITS = 22;
    // Fewer tag bits would send a probe to read other entries' keys often.
    static constexpr unsigned HASH_MIN_TAG_BITS = 8;
    // Entries whose slots are fetched together while the index is built:
    // about as many misses as a core keeps in flight.
    static constexpr std::size_t HASH_BUILD_BATCH = 16;
    ByteBlock hash_;
    std::vector<std::uintptr_t> hash_segments_;
    std::size_t hash_mask_ = 0;
    unsigned hash_index_bits_ = 0;
    unsigned hash_location_bits_ = 0;
    unsigned hash_tag_shift_ = 0;  // where the tag starts; the hash's top bits fill it
    std::size_t hash_entries_ = 0;
    bool hashed_ = false;
};

// Appends entries to a Dictionary in the compact form. An entry is opened,
// filled field by field, and closed; while open it may move to a fresh
// arena block (its bytes so far are copied), so it always ends up contiguous.
class EntryWriter {
public:
    explicit EntryWriter(Dictionary& dict, std::size_t block_size = 4u << 20);
    ~EntryWriter();
    EntryWriter(const EntryWriter&) = delete;
    EntryWriter& operator=(const EntryWriter&) = delete;

    void begin_entry() { entry_start_ = used_; }
    // The fields of the in-memory form (record_encoding.hpp).
    void put_varint(std::uint64_t v) { used_ += write_varint(room(MAX_VARINT_BYTES), v); }
    void put_byte(std::uint8_t b) {
        *room(1) = b;
        ++used_;
    }
    void put_bytes(const std::uint8_t* src, std::size_t n) {
        std::uint8_t* p = room(n);
        if (n == 1) *p = *src;  // most byte lists hold one index
        else if (n > 0) std::memcpy(p, src, n);
        used_ += n;
    }
    void put_u32(std::uint32_t v) {
        write_u32(room(U32_BYTES), v);
        used_ += U32_BYTES;
    }
    // Room for n more bytes, returned for direct filling; commit with advance().
    std::uint8_t* room(std::size_t n) {
        if (capacity_ - used_ < n) grow(n);
        return block_ + used_;
    }
    void advance(std::size_t n) { used_ += n; }
    // Bytes written so far for the open entry, starting at offset.
    std::span<std::uint8_t> entry_bytes(std::size_t offset);
    std::size_t entry_size() const { return used_ - entry_start_; }
    void end_entry();
    // Releases the unused tail of the last block and builds the search tree.
    void finish();

private:
    void trim_last_block();
    void grow(std::size_t n);
    void new_block(std::size_t min_size);
    Dictionary& dict_;
    std::size_t block_size_;
    std::uint8_t* block_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::size_t entry_start_ = 0;
    std::size_t block_first_entry_ = 0;  // index of the first entry in block_
};

}  // namespace lexovia::dict
