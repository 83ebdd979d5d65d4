#include "core/dict/dictionary.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace lexovia::dict {
namespace {

// A 64-bit hash of a key: eight bytes at a time, each step a multiply and
// a fold, so that every input bit reaches the low bits (the slot) and the
// high bits (the tag).
std::uint64_t key_hash(std::string_view key) {
    constexpr std::uint64_t M = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = key.size() * M;
    std::size_t i = 0;
    const auto step = [&](std::uint64_t v) {
        h = (h ^ v) * M;
        h ^= h >> 32;
    };
    for (; i + 8 <= key.size(); i += 8) {
        std::uint64_t v;
        std::memcpy(&v, key.data() + i, 8);
        step(v);
    }
    if (i < key.size()) {
        std::uint64_t v = 0;
        std::memcpy(&v, key.data() + i, key.size() - i);
        step(v);
    }
    h = (h ^ (h >> 29)) * M;
    return h ^ (h >> 32);
}

// An entry in memory is its key (length, bytes) followed by its records
// (count, records); these read the two parts from the entry's start.
std::string_view entry_key(const std::uint8_t* p) {
    const std::uint64_t n = read_varint(p);
    return {reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)};
}

RecordList entry_records(const std::uint8_t* p) {
    p += read_varint(p);
    const std::uint64_t n = read_varint(p);
    return RecordList(p, n);
}

}  // namespace

// ---------------------------------------------------------------------------
// Dictionary

std::string_view Dictionary::key(std::size_t i) const { return entry_key(entries_[i]); }

RecordList Dictionary::records(std::size_t i) const { return entry_records(entries_[i]); }

std::optional<std::size_t> Dictionary::find(std::string_view wanted) const {
    if (!hash_usable()) return search(wanted);
    const auto found = hash_find(wanted);
    if (!found) return std::nullopt;
    return found->entry;
}

std::optional<RecordList> Dictionary::find_records(std::string_view wanted) const {
    if (hash_usable()) {
        const auto found = hash_find(wanted);
        if (!found) return std::nullopt;
        return entry_records(found->bytes);
    }
    const auto entry = search(wanted);
    if (!entry) return std::nullopt;
    return records(*entry);
}

std::optional<std::size_t> Dictionary::search(std::string_view wanted) const {
    std::size_t lo = 0;
    std::size_t hi = entries_.size();
    // A tree built for another entry count would mislead: ignore it then.
    const std::size_t tree_nodes = tree_entries_ == entries_.size() ? tree_nodes_ : 0;
    const TreeSlot* slots = tree();
    std::size_t node = 1;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        std::string_view k;
        if (node <= tree_nodes && slots[node - 1].size != TreeSlot::OUTSIDE)
            k = {slots[node - 1].bytes, slots[node - 1].size};
        else
            k = key(mid);
        // Byte-wise comparison as unsigned chars: std::string_view::compare
        // uses char_traits<char>::compare, which compares as unsigned char.
        const int c = k.compare(wanted);
        if (c == 0) return mid;
        if (c < 0) {
            lo = mid + 1;
            node = 2 * node + 1;
        } else {
            hi = mid;
            node = 2 * node;
        }
    }
    return std::nullopt;
}

void Dictionary::build_search_tree() {
    // A smaller dictionary needs only the levels its searches reach.
    std::size_t levels = 0;
    while (levels < SEARCH_TREE_LEVELS && (std::size_t(1) << levels) - 1 < entries_.size()) ++levels;
    const std::size_t nodes = (std::size_t(1) << levels) - 1;
    ByteBlock storage = allocate_block(std::max<std::size_t>(nodes, 1) * sizeof(TreeSlot));
    TreeSlot* tree = reinterpret_cast<TreeSlot*>(storage.get());
    std::uninitialized_default_construct_n(tree, nodes);
    // Each node's entry range; the slots are filled in node order.
    std::vector<std::pair<std::size_t, std::size_t>> ranges(nodes + 1, {0, 0});
    if (nodes > 0) ranges[1] = {0, entries_.size()};
    for (std::size_t n = 1; n <= nodes; ++n) {
        const auto [lo, hi] = ranges[n];
        if (lo >= hi) continue;
        const std::size_t mid = lo + (hi - lo) / 2;
        const std::string_view k = key(mid);
        TreeSlot& slot = tree[n - 1];
        if (k.size() < TreeSlot::OUTSIDE && k.size() <= sizeof slot.bytes) {
            slot.size = static_cast<std::uint8_t>(k.size());
            std::memcpy(slot.bytes, k.data(), k.size());
        }
        if (2 * n + 1 <= nodes) {
            ranges[2 * n] = {lo, mid};
            ranges[2 * n + 1] = {mid + 1, hi};
        }
    }
    tree_ = std::move(storage);
    tree_nodes_ = nodes;
    tree_entries_ = entries_.size();
}

std::optional<Dictionary::Probe> Dictionary::hash_find(std::string_view wanted) const {
    const std::uint64_t h = key_hash(wanted);
    const auto* slots = reinterpret_cast<const std::uint64_t*>(hash_.get());
    const std::uint64_t tag = slot_tag(h);
    for (std::size_t s = h & hash_mask_;; s = (s + 1) & hash_mask_) {
        const std::uint64_t slot = slots[s];
        if (slot == 0) return std::nullopt;
        const auto found = slot_entry(slot, tag);
        if (!found) continue;
        if (entry_key(found->bytes) == wanted) return found;
    }
}

std::optional<Dictionary::Probe> Dictionary::slot_entry(std::uint64_t slot, std::uint64_t tag) const {
    if (slot == 0 || slot_tag(slot) != tag) return std::nullopt;
    const std::size_t entry = (slot & ((std::uint64_t(1) << hash_index_bits_) - 1)) - 1;
    if (hash_location_bits_ == 0) return Probe{entry, entries_[entry]};
    const std::uint64_t location = (slot >> hash_index_bits_) & ((std::uint64_t(1) << hash_location_bits_) - 1);
    const std::uintptr_t start = hash_segments_[location >> HASH_OFFSET_BITS] +
                                 static_cast<std::uintptr_t>(location & ((std::uint64_t(1) << HASH_OFFSET_BITS) - 1));
    return Probe{entry, reinterpret_cast<const std::uint8_t*>(start)};
}

void Dictionary::prefetch(std::span<const std::string_view> keys) const {
    if (!hash_usable()) return;
    // Keys per round: each stage waits at most for the loads it issued a
    // round earlier, and a round's lines stay far below the L1 cache.
    constexpr std::size_t ROUND = 16;
    const auto* slots = reinterpret_cast<const std::uint64_t*>(hash_.get());
    std::array<std::uint64_t, ROUND> hashes;
    for (std::size_t base = 0; base < keys.size(); base += ROUND) {
        const std::size_t n = std::min(ROUND, keys.size() - base);
        for (std::size_t i = 0; i < n; ++i) {
            hashes[i] = key_hash(keys[base + i]);
            __builtin_prefetch(&slots[hashes[i] & hash_mask_]);
        }
        // The first slot probed: the one a key is found in nearly always.
        for (std::size_t i = 0; i < n; ++i) {
            const auto found = slot_entry(slots[hashes[i] & hash_mask_], slot_tag(hashes[i]));
            if (!found) continue;
            if (hash_location_bits_ == 0) entries_.prefetch(found->entry);
            else __builtin_prefetch(found->bytes);
        }
    }
}

void Dictionary::build_hash_index() {
    hashed_ = false;
    hash_ = nullptr;
    hash_segments_.clear();
    const std::size_t n = entries_.size();
    const unsigned index_bits = std::max(1u, static_cast<unsigned>(std::bit_width(n)));
    if (n == 0 || index_bits > HASH_MAX_INDEX_BITS) return;
    std::size_t slot_count = 8;
    while (slot_count * HASH_LOAD_EIGHTHS / 8 < n) slot_count *= 2;

    // The segments, and whether locations in them fit beside a tag wide
    // enough. Entries follow each other through an arena block, so a new
    // segment opens only where a block ends.
    constexpr std::uintptr_t SPAN = std::uintptr_t(1) << HASH_OFFSET_BITS;
    const auto opens_segment = [&](std::uintptr_t start, std::uintptr_t segment_start) {
        return start < segment_start || start - segment_start >= SPAN;
    };
    std::vector<std::uintptr_t> segments;
    for (std::size_t i = 0; i < n; ++i) {
        const auto start = reinterpret_cast<std::uintptr_t>(entries_[i]);
        if (segments.empty() || opens_segment(start, segments.back())) segments.push_back(start);
    }
    unsigned location_bits = HASH_OFFSET_BITS + static_cast<unsigned>(std::bit_width(segments.size() - 1));
    if (index_bits + location_bits + HASH_MIN_TAG_BITS > 64) {
        location_bits = 0;
        segments.clear();
    }
    const unsigned tag_shift = index_bits + location_bits;

    ByteBlock storage = allocate_block(slot_count * sizeof(std::uint64_t));
    auto* slots = reinterpret_cast<std::uint64_t*>(storage.get());
    std::fill_n(slots, slot_count, std::uint64_t{0});
    const std::size_t mask = slot_count - 1;
    std::string_view previous;
    std::size_t segment = 0;
    // Entries go in a batch at a time: the batch's keys are hashed and their
    // slots fetched first, so that the cache misses of a table far larger
    // than the cache overlap instead of following one another.
    std::array<std::uint64_t, HASH_BUILD_BATCH> hashes;
    for (std::size_t first = 0; first < n; first += HASH_BUILD_BATCH) {
        const std::size_t last = std::min(n, first + HASH_BUILD_BATCH);
        for (std::size_t i = first; i < last; ++i) {
            const std::string_view k = key(i);
            // Unsorted or repeated keys: a key could then name several
            // entries, or one the binary search never reaches.
            if (i > 0 && !(previous < k)) return;
            previous = k;
            hashes[i - first] = key_hash(k);
            __builtin_prefetch(&slots[hashes[i - first] & mask], 1);
        }
        for (std::size_t i = first; i < last; ++i) {
            std::uint64_t location = 0;
            if (location_bits > 0) {
                // The segments again, opened by the same rule in the same order.
                const auto start = reinterpret_cast<std::uintptr_t>(entries_[i]);
                if (i > 0 && opens_segment(start, segments[segment])) ++segment;
                location = std::uint64_t(segment) << HASH_OFFSET_BITS | (start - segments[segment]);
            }
            const std::uint64_t h = hashes[i - first];
            std::size_t s = h & mask;
            while (slots[s] != 0) s = (s + 1) & mask;
            slots[s] = (h >> tag_shift << tag_shift) | location << index_bits | static_cast<std::uint64_t>(i + 1);
        }
    }
    hash_ = std::move(storage);
    hash_segments_ = std::move(segments);
    hash_mask_ = mask;
    hash_index_bits_ = index_bits;
    hash_location_bits_ = location_bits;
    hash_tag_shift_ = tag_shift;
    hash_entries_ = n;
    hashed_ = true;
}

std::size_t Dictionary::memory_bytes() const {
    std::size_t total = pos_tags.memory_bytes() + feature_keys.memory_bytes() + feature_values.memory_bytes() +
                        lemmas.memory_bytes() + definitions.memory_bytes();
    for (std::size_t s : block_sizes_) total += s;
    total += entries_.memory_bytes();
    total += tree_nodes_ * sizeof(TreeSlot);
    if (hashed_) total += (hash_mask_ + 1) * sizeof(std::uint64_t) + hash_segments_.capacity() * sizeof(std::uintptr_t);
    total += blocks_.capacity() * sizeof(void*) + block_sizes_.capacity() * sizeof(std::size_t);
    return total;
}

// ---------------------------------------------------------------------------
// EntryWriter

EntryWriter::EntryWriter(Dictionary& dict, std::size_t block_size) : dict_(dict), block_size_(block_size) {}

EntryWriter::~EntryWriter() = default;

void EntryWriter::new_block(std::size_t min_size) {
    const std::size_t size = std::max(block_size_, min_size);
    ByteBlock block = allocate_block(size);
    const std::size_t partial = used_ - entry_start_;
    if (partial > 0) std::memcpy(block.get(), block_ + entry_start_, partial);
    block_ = block.get();
    block_first_entry_ = dict_.entries_.size();
    capacity_ = size;
    used_ = partial;
    entry_start_ = 0;
    dict_.blocks_.push_back(std::move(block));
    dict_.block_sizes_.push_back(size);
}

void EntryWriter::grow(std::size_t n) {
    // Grow geometrically when a single entry outgrows a block.
    const std::size_t partial = used_ - entry_start_;
    new_block(std::max(partial + n, 2 * partial));
}

std::span<std::uint8_t> EntryWriter::entry_bytes(std::size_t offset) {
    return {block_ + entry_start_ + offset, used_ - entry_start_ - offset};
}

void EntryWriter::end_entry() {
    if (block_ == nullptr) new_block(1);  // an entry needs a place even when empty
    dict_.entries_.push_back(block_ + entry_start_);
    entry_start_ = used_;
}

void EntryWriter::finish() {
    trim_last_block();
    dict_.build_search_tree();
    dict_.build_hash_index();
}

void EntryWriter::trim_last_block() {
    if (block_ == nullptr || used_ == capacity_) return;
    // Move the filled part of the last block into an exactly sized one.
    const std::size_t size = std::max<std::size_t>(used_, 1);
    ByteBlock exact = allocate_block(size);
    std::memcpy(exact.get(), block_, used_);
    for (std::size_t k = block_first_entry_; k < dict_.entries_.size(); ++k)
        dict_.entries_[k] = exact.get() + (dict_.entries_[k] - block_);
    dict_.blocks_.back() = std::move(exact);
    dict_.block_sizes_.back() = size;
    block_ = nullptr;
    capacity_ = used_ = entry_start_ = 0;
}

}  // namespace lexovia::dict
