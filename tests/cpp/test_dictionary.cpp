// The decoded Dictionary: entries and their records read back through
// key()/records(), byte-wise binary search, and the block arena that keeps
// every entry contiguous however large it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/dict/dictionary.hpp"
#include "core/dict/image_decoder.hpp"
#include "image_builder.hpp"

using namespace lexovia::dict;
using namespace lexovia::testing;

namespace {

std::vector<std::uint8_t> bytes_of(Bytes b) { return {b.begin(), b.end()}; }

Dictionary with_keys(const std::vector<std::string>& keys) {
    ImageContent c;
    for (const std::string& k : keys) c.entries.push_back({k, {}});
    return decode_image(encode(c));
}

TEST(Dictionary, RecordsKeepEveryFieldInStoredOrder) {
    ImageContent c;
    c.pos_tags = {"NOUN", "VERB"};
    c.feature_keys = {"Case", "Number"};
    c.feature_values = {"Nom", "Acc"};
    c.lemmas = {"l0", "l1"};
    c.definitions = {"d0"};
    c.entries = {
        {"ab", {}},
        {"замок",
         {{{0, 2, 2}, {1, 0, 1}, {{1, {0, 0, 1}}, {0, {}}, {1, {1}}}, 1, std::nullopt},
          {{}, {}, {}, std::nullopt, 0},
          {{5}, {0}, {}, 0xDEADBEEFu, 7}}},
    };
    const Dictionary d = decode_image(encode(c));
    ASSERT_EQ(d.entry_count(), 2u);
    EXPECT_EQ(d.key(0), "ab");
    EXPECT_EQ(d.key(1), "замок");
    EXPECT_EQ(d.records(0).size(), 0u);
    EXPECT_EQ(d.records(0).begin(), d.records(0).end());

    const RecordList records = d.records(1);
    ASSERT_EQ(records.size(), 3u);
    auto it = records.begin();
    const RecordView& first = *it;
    EXPECT_EQ(bytes_of(first.stress_positions), (std::vector<std::uint8_t>{0, 2, 2}));
    EXPECT_EQ(bytes_of(first.pos), (std::vector<std::uint8_t>{1, 0, 1}));
    ASSERT_EQ(first.features.size(), 3u);
    std::vector<std::pair<int, std::vector<std::uint8_t>>> pairs;
    for (const FeaturePair f : first.features) pairs.push_back({f.key, bytes_of(f.values)});
    EXPECT_EQ(pairs, (std::vector<std::pair<int, std::vector<std::uint8_t>>>{{1, {0, 0, 1}}, {0, {}}, {1, {1}}}));
    EXPECT_EQ(first.lemma, std::optional<std::uint32_t>(1));
    EXPECT_EQ(first.definition, std::nullopt);

    ++it;
    EXPECT_TRUE(it->stress_positions.empty());
    EXPECT_TRUE(it->pos.empty());
    EXPECT_EQ(it->features.size(), 0u);
    EXPECT_EQ(it->features.begin(), it->features.end());
    EXPECT_EQ(it->lemma, std::nullopt);
    EXPECT_EQ(it->definition, std::optional<std::uint32_t>(0));

    ++it;
    EXPECT_EQ(bytes_of(it->stress_positions), std::vector<std::uint8_t>{5});
    EXPECT_EQ(it->lemma, std::optional<std::uint32_t>(0xDEADBEEFu));
    EXPECT_EQ(it->definition, std::optional<std::uint32_t>(7));
    ++it;
    EXPECT_EQ(it, records.end());

    // Iterating twice gives the same records, and the whole content reads
    // back unchanged.
    EXPECT_EQ(content_of(d), c);
    EXPECT_EQ(content_of(d), c);
}

TEST(Dictionary, FindComparesKeysAsUnsignedBytes) {
    // Sorted by unsigned bytes: a prefix before its extensions, NUL before
    // any other byte, ASCII before bytes >= 0x80, two-byte UTF-8 before
    // three- and four-byte sequences.
    const std::vector<std::string> keys = {
        "",       "a",          std::string("a\0", 2), "a b",     "ab",         "abc",
        "b",      "z",          "\x7f",                "é",       "ʼ",          "а",
        "аб",     "абв",        "я",                   "є",       "ї",          "！",
        "😀",
    };
    ASSERT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    const Dictionary d = with_keys(keys);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(keys[i]);
        EXPECT_EQ(d.find(keys[i]), std::optional<std::size_t>(i));
        EXPECT_EQ(d.key(i), keys[i]);
    }
    // Every subset of the keys finds exactly its own members, whatever the
    // midpoints of the search.
    for (std::size_t n = 1; n <= keys.size(); ++n) {
        const std::vector<std::string> part(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(n));
        const Dictionary p = with_keys(part);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            SCOPED_TRACE(std::to_string(n) + " keys, looking for " + keys[i]);
            EXPECT_EQ(p.find(keys[i]), i < n ? std::optional<std::size_t>(i) : std::nullopt);
        }
    }
}

TEST(Dictionary, FindMissesAbsentKeys) {
    const Dictionary d = with_keys({"bb", "bbb", "d", "ї", "їжак"});
    const std::vector<std::string> absent = {
        "",     "a",   "b",    "bba",  "bbc",  "bbbb", "c",  "d ", "e",
        "я",    "ї ",  "їж",   "їжака", "😀",  std::string("bb\0", 3), "BB",
    };
    for (const std::string& k : absent) {
        SCOPED_TRACE(k);
        EXPECT_EQ(d.find(k), std::nullopt);
    }
}

TEST(Dictionary, EmptyDictionaryFindsNothing) {
    const Dictionary d = decode_image(std::vector<std::uint8_t>(48, 0));
    EXPECT_EQ(d.entry_count(), 0u);
    for (const std::string k : {"", "a", "замок"}) EXPECT_EQ(d.find(k), std::nullopt);
}

TEST(Dictionary, FindOverManyEntries) {
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back("ключ" + std::to_string(i));
    std::sort(keys.begin(), keys.end());
    const Dictionary d = with_keys(keys);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(d.find(keys[i]), std::optional<std::size_t>(i)) << keys[i];
        ASSERT_EQ(d.find(keys[i] + "x"), std::nullopt) << keys[i];
    }
}

TEST(Dictionary, PrefetchReadsOnlyWhatFindReads) {
    // Under the sanitizers, any read outside the hash slots, the entry index
    // or the entries fails; finds before and after must agree.
    std::vector<std::string> keys;
    for (int i = 0; i < 3000; ++i) keys.push_back("ключ" + std::to_string(i));
    std::sort(keys.begin(), keys.end());
    const Dictionary hashed = with_keys(keys);
    const Dictionary unsorted = with_keys({"b", "a"});  // searched, not hashed
    for (const Dictionary* d : {&hashed, &unsorted}) {
        std::vector<std::string_view> queries(keys.begin(), keys.end());
        for (const char* absent : {"", "x", "ключ", "ключ3000", "b", "a"}) queries.push_back(absent);
        std::vector<std::optional<std::size_t>> before;
        for (std::string_view q : queries) before.push_back(d->find(q));
        d->prefetch({});
        d->prefetch(queries);
        d->prefetch(std::span(queries).subspan(3, 17));
        for (std::size_t i = 0; i < queries.size(); ++i) ASSERT_EQ(d->find(queries[i]), before[i]) << queries[i];
    }
}

// ---------------------------------------------------------------------------
// The entry arena

// Writes one entry in the stored form: key, record count, then records.
void write_stored_entry(EntryWriter& w, const Entry& e) {
    w.begin_entry();
    w.put_varint(e.key.size());
    w.put_bytes(reinterpret_cast<const std::uint8_t*>(e.key.data()), e.key.size());
    w.put_varint(e.records.size());
    for (const Record& r : e.records) {
        w.put_varint(r.positions.size());
        w.put_bytes(r.positions.data(), r.positions.size());
        w.put_varint(r.pos.size());
        // The part-of-speech list through room()/advance().
        std::uint8_t* p = w.room(r.pos.size());
        std::copy(r.pos.begin(), r.pos.end(), p);
        w.advance(r.pos.size());
        w.put_varint(r.features.size());
        for (const Feature& f : r.features) {
            w.put_byte(f.key);
            w.put_varint(f.values.size());
            for (const std::uint8_t v : f.values) w.put_byte(v);
        }
        w.put_byte((r.lemma ? HAS_LEMMA : 0) | (r.definition ? HAS_DEFINITION : 0));
        if (r.lemma) w.put_u32(*r.lemma);
        if (r.definition) w.put_u32(*r.definition);
    }
    w.end_entry();
}

TEST(Dictionary, FindBelowTheSearchTreeAndAroundItsSlotSize) {
    // More entries than the search tree has nodes, so the last steps of a
    // search read the entries themselves; keys on both sides of the size a
    // tree slot holds inline (31 bytes), some sharing long prefixes.
    std::vector<std::string> keys;
    for (int i = 0; i < 70000; ++i) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%06d", i);
        std::string key = "ключ";  // 8 bytes
        switch (i % 4) {
            case 0: break;
            case 1: key.append(17, 'a'); break;  // 31 bytes with the digits
            case 2: key.append(18, 'b'); break;  // 32 bytes
            case 3: key.append(40, 'c'); break;
        }
        keys.push_back(key + digits);
    }
    std::sort(keys.begin(), keys.end());
    const Dictionary d = with_keys(keys);
    ASSERT_EQ(d.entry_count(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(d.find(keys[i]), std::optional<std::size_t>(i)) << keys[i];
        ASSERT_EQ(d.find(keys[i] + '\x01'), std::nullopt) << keys[i];
        ASSERT_EQ(d.find(keys[i].substr(0, keys[i].size() - 1)), std::nullopt) << keys[i];
    }
    for (const std::string& k : std::vector<std::string>{"", "a", "ключ", "ключ0", "ключ" + std::string(17, 'a'), "я"})
        EXPECT_EQ(d.find(k), std::nullopt) << k;
}

TEST(Dictionary, EntriesAddedAfterFinishAreStillFound) {
    // A search tree built for fewer entries must not steer the search.
    Dictionary d;
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "k%d", 1000 + i);
        keys.push_back(key);
    }
    {
        EntryWriter w(d, 64);
        for (std::size_t i = 0; i < 100; ++i) write_stored_entry(w, {keys[i], {}});
        w.finish();
        for (std::size_t i = 100; i < keys.size(); ++i) write_stored_entry(w, {keys[i], {}});
    }
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(d.find(keys[i]), std::optional<std::size_t>(i)) << keys[i];
}

TEST(AllocateBlock, AlignedAndWritableWhateverTheSize) {
    for (const std::size_t n : {std::size_t(1), std::size_t(63), std::size_t(64), std::size_t(65), std::size_t(4096),
                                (std::size_t(2) << 20) - 1, std::size_t(2) << 20, (std::size_t(2) << 20) + 1,
                                std::size_t(5) << 20}) {
        SCOPED_TRACE(n);
        ByteBlock block = allocate_block(n);
        ASSERT_NE(block.get(), nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % 64, 0u);
        if (n >= (std::size_t(2) << 20)) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % (std::size_t(2) << 20), 0u);
        }
        std::memset(block.get(), 0xA5, n);  // the sanitizers check the whole range is ours
        EXPECT_EQ(block[n - 1], 0xA5);
    }
}

std::vector<Entry> varied_entries(int n) {
    std::vector<Entry> out;
    for (int i = 0; i < n; ++i) {
        Entry e{"k", {}};
        e.key.append(static_cast<std::size_t>(i % 23), 'x').append(std::to_string(1000 + i));
        for (int r = 0; r < i % 4; ++r) {
            Record rec;
            rec.positions.assign(static_cast<std::size_t>((i + r) % 3), static_cast<std::uint8_t>(r));
            rec.pos = {static_cast<std::uint8_t>(i % 256)};
            if (i % 5 == 0) rec.features = {{1, std::vector<std::uint8_t>(static_cast<std::size_t>(i % 150), 9)}};
            if (r % 2) rec.lemma = static_cast<std::uint32_t>(i * 100003u);
            if (i % 3) rec.definition = static_cast<std::uint32_t>(r);
            e.records.push_back(rec);
        }
        out.push_back(std::move(e));
    }
    return out;
}

TEST(EntryWriter, EntriesLargerThanTheBlockStayContiguous) {
    for (const std::size_t block : {std::size_t(1), std::size_t(7), std::size_t(16), std::size_t(100),
                                    std::size_t(4096)}) {
        SCOPED_TRACE("block size " + std::to_string(block));
        Dictionary d;
        std::vector<Entry> entries = varied_entries(400);
        // A few very large entries among the small ones.
        entries[10].key = std::string(5000, 'y');
        entries[11].records.assign(300, Record{{1, 2}, {3}, {{0, {1, 1}}}, 4, 5});
        entries[399].key = std::string(20000, 'z');
        {
            EntryWriter w(d, block);
            for (const Entry& e : entries) write_stored_entry(w, e);
            w.finish();
        }
        ImageContent expected;
        expected.entries = entries;
        EXPECT_EQ(content_of(d), expected);
        EXPECT_GT(d.memory_bytes(), 20000u);
    }
}

TEST(HashIndex, FindsRecordsWhereverTheArenaPutTheEntries) {
    // The hash slots locate entries by address ranges of the arena: tiny
    // blocks make one range per entry, and an entry longer than a range
    // makes the entries after it in the same block start a new one.
    std::vector<Entry> entries = varied_entries(400);
    entries[7].key += std::string(std::size_t(5) << 20, 'y');
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    for (const std::size_t block : {std::size_t(16), std::size_t(4096), std::size_t(4) << 20}) {
        SCOPED_TRACE("block size " + std::to_string(block));
        Dictionary d;
        {
            EntryWriter w(d, block);
            for (const Entry& e : entries) write_stored_entry(w, e);
            w.finish();
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            ASSERT_EQ(d.find(entries[i].key), std::optional<std::size_t>(i));
            const auto records = d.find_records(entries[i].key);
            ASSERT_TRUE(records.has_value());
            std::vector<Record> found;
            for (const RecordView& r : *records) found.push_back(record_of(r));
            ASSERT_EQ(found, entries[i].records) << i;
        }
        EXPECT_EQ(d.find_records("k"), std::nullopt);
        EXPECT_EQ(d.find_records(entries[0].key + "x"), std::nullopt);
    }
}

TEST(EntryWriter, WithoutFinishEntriesAreStillReadable) {
    Dictionary d;
    const std::vector<Entry> entries = varied_entries(50);
    {
        EntryWriter w(d, 32);
        for (const Entry& e : entries) write_stored_entry(w, e);
    }
    ImageContent expected;
    expected.entries = entries;
    EXPECT_EQ(content_of(d), expected);
}

TEST(EntryWriter, EmptyEntryAndEmptyWriter) {
    Dictionary empty;
    {
        EntryWriter w(empty, 16);
        w.finish();
    }
    EXPECT_EQ(empty.entry_count(), 0u);

    // An entry with no bytes at all still gets a place of its own.
    Dictionary d;
    {
        EntryWriter w(d, 16);
        w.begin_entry();
        w.end_entry();
        write_stored_entry(w, {"a", {}});
        w.finish();
    }
    ASSERT_EQ(d.entry_count(), 2u);
    EXPECT_EQ(d.key(1), "a");
}

TEST(EntryWriter, EntryBytesSeesTheOpenEntryAfterItMoves) {
    Dictionary d;
    EntryWriter w(d, 8);
    w.begin_entry();
    const std::string key = "довгий ключ, що не влазить у блок";
    w.put_varint(key.size());
    const std::size_t start = w.entry_size();
    for (const char c : key) w.put_byte(static_cast<std::uint8_t>(c));
    const auto bytes = w.entry_bytes(start);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), key);
    EXPECT_EQ(w.entry_size(), start + key.size());
    w.put_varint(0);
    w.end_entry();
    w.finish();
    EXPECT_EQ(d.key(0), key);
}

TEST(Dictionary, DecodedImageWithKeyLargerThanADefaultBlock) {
    // The decoder's blocks are a few MiB; a longer key moves its entry to a
    // block of its own, and its neighbours stay intact.
    ImageContent c;
    c.lemmas = {"l"};
    std::string long_key(5u << 20, 'm');
    for (std::size_t i = 0; i < long_key.size(); i += 997) long_key[i] = 'n';
    c.entries.push_back({"a", {{{1}, {}, {}, 0, std::nullopt}}});
    c.entries.push_back({long_key, {{{3}, {2}, {{1, {1}}}, 0, 1}}});
    for (int i = 0; i < 2000; ++i) {
        std::string key = "p";
        key.append(std::to_string(100000 + i));
        c.entries.push_back({key, {{{0}, {}, {}, 0, std::nullopt}}});
    }
    c.entries.push_back({"z", {}});
    const Dictionary d = decode_image(encode(c));
    EXPECT_EQ(content_of(d), c);
    EXPECT_EQ(d.find(long_key), std::optional<std::size_t>(1));
    EXPECT_EQ(d.find("z"), std::optional<std::size_t>(c.entries.size() - 1));
    EXPECT_EQ(d.find(long_key.substr(1)), std::nullopt);
}

TEST(Dictionary, ManyEntriesAcrossSeveralDecoderBlocks) {
    // About 10 MiB of stored entries: several arena blocks, entries
    // straddling their boundaries, records read back in full.
    ImageContent c;
    c.pos_tags = {"X"};
    for (int i = 0; i < 30000; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "слово%07d", i);
        Record r{{static_cast<std::uint8_t>(i % 24)}, {0}, {}, std::uint32_t(i), std::nullopt};
        r.features.push_back({static_cast<std::uint8_t>(i % 10), std::vector<std::uint8_t>(150, static_cast<std::uint8_t>(i))});
        c.entries.push_back({key, {r, r}});
    }
    const Dictionary d = decode_image(encode(c));
    ASSERT_EQ(d.entry_count(), c.entries.size());
    EXPECT_EQ(content_of(d), c);
    for (std::size_t i = 0; i < c.entries.size(); i += 977) EXPECT_EQ(d.find(c.entries[i].key), std::optional<std::size_t>(i));
}

}  // namespace
