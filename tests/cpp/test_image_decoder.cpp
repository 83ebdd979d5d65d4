// The image decoder: the byte layout, the three malformations it reports and
// their exact texts, tolerance of everything it does not check, bounded
// memory for corrupt counts, the streaming path through a ByteSource, and
// loading a bzip2-compressed image.
#include <bzlib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/bzip2/bzip2_source.hpp"
#include "core/dict/image_decoder.hpp"
#include "core/dict/load.hpp"
#include "image_builder.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LEXOVIA_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LEXOVIA_TEST_ASAN 1
#endif

// ---------------------------------------------------------------------------
// Allocation tracking. The sanitizer runtime brings its own operator new, so
// the replacement (and the checks that need it) exist only in plain builds.

#if !defined(LEXOVIA_TEST_ASAN)
// The replacements pair malloc with free; GCC cannot see that the two
// replaced operators belong together.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<bool> g_tracking{false};
std::atomic<std::size_t> g_largest{0};
}  // namespace

void* operator new(std::size_t n) {
    if (g_tracking.load(std::memory_order_relaxed)) {
        std::size_t seen = g_largest.load(std::memory_order_relaxed);
        while (n > seen && !g_largest.compare_exchange_weak(seen, n, std::memory_order_relaxed)) {
        }
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

using namespace lexovia::dict;
using namespace lexovia::bzip2;
using namespace lexovia::testing;

namespace {

constexpr std::uint64_t HUGE_COUNT = (std::uint64_t(1) << 63) - 1;
const std::string END_OF_FILE = "io error: unexpected end of file";
const std::string END_IN_STRING = "io error: ";

// Records the largest single allocation made while it is alive.
class LargestAllocation {
public:
#if !defined(LEXOVIA_TEST_ASAN)
    static constexpr bool available = true;
    LargestAllocation() {
        g_largest = 0;
        g_tracking = true;
    }
    ~LargestAllocation() { g_tracking = false; }
    std::size_t bytes() const { return g_largest.load(); }
#else
    static constexpr bool available = false;
    std::size_t bytes() const { return 0; }
#endif
};

using Bytes = std::vector<std::uint8_t>;

Bytes cut(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes from_hex(std::string_view hex) {
    Bytes out;
    int hi = -1;
    for (const char c : hex) {
        int v;
        if (c >= '0' && c <= '9') v = c - '0';
        else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
        else continue;
        if (hi < 0) hi = v;
        else {
            out.push_back(static_cast<std::uint8_t>(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

// The decoder's message for bytes, or nullopt when they decode.
std::optional<std::string> decode_error(std::span<const std::uint8_t> bytes) {
    try {
        decode_image(bytes);
        return std::nullopt;
    } catch (const DecodeError& e) {
        return e.message;
    }
}

std::optional<std::string> decode_error(ByteSource& source) {
    try {
        decode_image(source);
        return std::nullopt;
    } catch (const DecodeError& e) {
        return e.message;
    }
}

// A little of everything: an empty table string, multi-byte text, an entry
// without records, a record with every optional field absent, empty byte
// lists, a feature pair with no values and one with repeated values.
ImageContent sample() {
    ImageContent c;
    c.pos_tags = {"NOUN", "VERB", ""};
    c.feature_keys = {"Case", "Number"};
    c.feature_values = {"Nom", "Acc", "Plur"};
    c.lemmas = {"замок", "мама"};
    c.definitions = {"castle", "lock", "mother \"ma\""};
    c.entries = {
        {"замок",
         {{{0}, {0}, {{0, {0, 1, 0}}, {1, {2}}}, 0, 0},
          {{1}, {0, 1}, {}, 0, 1}}},
        {"мама", {{{1}, {}, {}, std::nullopt, std::nullopt}}},
        {"пʼять", {{{}, {1}, {{1, {}}}, std::nullopt, 2}, {{0, 0}, {}, {}, 1, std::nullopt}}},
        {"ь", {}},
    };
    return c;
}

// The smallest image with every kind of field, for tests that decode it
// once per cut: every table non-empty, one key with a two-byte character,
// a record with every field present and one with none.
ImageContent compact() {
    ImageContent c;
    c.pos_tags = {"N"};
    c.feature_keys = {"C"};
    c.feature_values = {"a"};
    c.lemmas = {"л"};
    c.definitions = {"d"};
    c.entries = {{"aї",
                  {{{1}, {0}, {{0, {0, 0}}, {0, {}}}, 0, 0},
                   {{}, {}, {}, std::nullopt, std::nullopt}}},
                 {"b", {}}};
    return c;
}

// ---------------------------------------------------------------------------
// Layout

TEST(ImageDecoder, SixZeroCountsGiveAnEmptyDictionary) {
    const Dictionary d = decode_image(Bytes(48, 0));
    EXPECT_EQ(content_of(d), ImageContent{});
    EXPECT_EQ(d.entry_count(), 0u);
}

TEST(ImageDecoder, DecodesAKnownImageByteForByte) {
    // One tag "X", two empty tables, lemma and definition tables of one
    // string each, then the entry "(сім)-ʼянини" byte for byte.
    const Bytes image = from_hex(
        "01 00 00 00 00 00 00 00  01 00 00 00 00 00 00 00 58"
        "00 00 00 00 00 00 00 00"
        "00 00 00 00 00 00 00 00"
        "01 00 00 00 00 00 00 00  02 00 00 00 00 00 00 00 d0 bb"
        "01 00 00 00 00 00 00 00  01 00 00 00 00 00 00 00 67"
        "01 00 00 00 00 00 00 00"
        "15 00 00 00 00 00 00 00"
        "28 d1 81 d1 96 d0 bc 29 2d ca bc d1 8f d0 bd d0 b8 d0 bd d0 b8"
        "01 00 00 00 00 00 00 00"
        "01 00 00 00 00 00 00 00 02"
        "01 00 00 00 00 00 00 00 00"
        "00 00 00 00 00 00 00 00"
        "01 00 00 00 00"
        "01 00 00 00 00");
    ImageContent expected;
    expected.pos_tags = {"X"};
    expected.lemmas = {"л"};
    expected.definitions = {"g"};
    expected.entries = {{"(сім)-ʼянини", {{{2}, {0}, {}, 0, 0}}}};
    EXPECT_EQ(content_of(decode_image(image)), expected);
    // The helper writes the same layout.
    EXPECT_EQ(encode(expected), image);
}

TEST(ImageDecoder, ByteListAndOptionalFieldsDecodeAsWritten) {
    for (const ImageContent& c : {sample(), compact()}) EXPECT_EQ(content_of(decode_image(encode(c))), c);
}

TEST(ImageDecoder, NumbersAreLittleEndianAndFullWidth) {
    // u32 indexes with every byte significant.
    ImageContent c;
    c.lemmas = {"a", "b"};
    c.entries = {{"ab", {{{}, {}, {}, 0x01020304u, 0xFFFFFFFFu}}},
                 {"ac", {{{}, {}, {}, 0x80000000u, 0u}}}};
    EXPECT_EQ(content_of(decode_image(encode(c))), c);

    // A count of 2^32 + 1 is not a count of 1: the table swallows the rest
    // of the image as empty strings and runs out of data.
    ImageBuilder b;
    b.u64((std::uint64_t(1) << 32) + 1).string("N").table({}).table({}).table({}).table({}).u64(0);
    EXPECT_EQ(decode_error(b.bytes()), END_OF_FILE);
    ImageBuilder ok;
    ok.u64(1).string("N").table({}).table({}).table({}).table({}).u64(0);
    EXPECT_EQ(decode_error(ok.bytes()), std::nullopt);
}

TEST(ImageDecoder, TrailingBytesAfterTheLastEntryAreIgnored) {
    const Bytes image = encode(sample());
    const std::vector<Bytes> tails = {
        {0},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},  // a huge "count"
        {0x02},                                            // an invalid tag
        {0xC0, 0xAF},                                      // invalid UTF-8
        image,                                             // a second image
    };
    for (const Bytes& tail : tails) {
        SCOPED_TRACE(tail.size());
        EXPECT_EQ(content_of(decode_image(concat(image, tail))), sample());
    }
    EXPECT_EQ(content_of(decode_image(concat(Bytes(48, 0), {1, 2, 3}))), ImageContent{});
}

TEST(ImageDecoder, IndexesOutOfRangeLoadAsStored) {
    ImageContent c;
    c.pos_tags = {"NOUN"};
    c.feature_keys = {"Case"};
    c.feature_values = {"Nom"};
    c.lemmas = {"l"};
    c.definitions = {"d"};
    c.entries = {{"ключ",
                  {{{200}, {1, 255}, {{1, {1, 255}}, {255, {0}}}, 1, 1},
                   {{}, {}, {}, 0xFFFFFFFFu, 12345}}}};
    EXPECT_EQ(content_of(decode_image(encode(c))), c);
}

TEST(ImageDecoder, SortOrderAndUniquenessAreNotChecked) {
    ImageContent c;
    c.entries = {{"я", {}}, {"а", {}}, {"а", {}}};
    EXPECT_EQ(content_of(decode_image(encode(c))), c);
}

// ---------------------------------------------------------------------------
// Data that ends early

TEST(ImageDecoder, CutAtEveryOffsetFailsWithTheMessageOfTheFieldCut) {
    const ImageBuilder b = build(compact());
    const Bytes& image = b.bytes();
    ASSERT_NE(std::count(b.kinds().begin(), b.kinds().end(), FieldKind::StringBytes), 0);
    for (std::size_t n = 0; n < image.size(); ++n) {
        SCOPED_TRACE("cut at " + std::to_string(n));
        EXPECT_EQ(decode_error(cut(image, n)), end_of_data_message(b.kinds()[n]));
    }
    EXPECT_EQ(decode_error(image), std::nullopt);
}

TEST(ImageDecoder, CutInsideEachKindOfField) {
    // One cut per field kind, the expected texts written out, in case the
    // helper's bookkeeping and the decoder agree on something wrong.
    ImageBuilder b;
    b.u64(1);
    const std::size_t in_count = 3;
    const std::size_t in_table_string = b.size() + 8 + 2;
    b.string("NOUN").table({}).table({}).table({}).table({}).u64(1);
    const std::size_t in_key_length = b.size() + 5;
    const std::size_t in_key = b.size() + 8 + 1;
    b.string("ab").u64(1);
    const std::size_t in_positions = b.size() + 8;
    b.byte_list({1, 2});
    b.byte_list({0}).u64(1);
    const std::size_t at_feature_key = b.size();
    b.u8(0).byte_list({});
    const std::size_t at_tag = b.size();
    const std::size_t in_lemma = b.size() + 2;
    b.optional_u32(7).optional_u32(std::nullopt);
    const std::size_t at_last_tag = b.size() - 1;

    const std::vector<std::pair<std::size_t, std::string>> cases = {
        {in_count, END_OF_FILE},     {in_table_string, END_IN_STRING}, {in_key_length, END_OF_FILE},
        {in_key, END_IN_STRING},     {in_positions, END_OF_FILE},      {in_positions + 1, END_OF_FILE},
        {at_feature_key, END_OF_FILE}, {at_tag, END_OF_FILE},          {in_lemma, END_OF_FILE},
        {at_last_tag, END_OF_FILE},
    };
    for (const auto& [n, message] : cases) {
        SCOPED_TRACE("cut at " + std::to_string(n));
        EXPECT_EQ(decode_error(cut(b.bytes(), n)), message);
    }
    EXPECT_EQ(decode_error(b.bytes()), std::nullopt);
}

TEST(ImageDecoder, LengthRunningPastTheEndOfAStringIsTheStringError) {
    // The length is whole but claims more bytes than there are.
    ImageBuilder table;
    table.u64(1).u64(10).string_bytes("abc");
    EXPECT_EQ(decode_error(table.bytes()), END_IN_STRING);

    ImageBuilder key;
    key.table({}).table({}).table({}).table({}).table({}).u64(1).u64(100).string_bytes("ключ");
    EXPECT_EQ(decode_error(key.bytes()), END_IN_STRING);

    // A byte list whose count runs past the end is a number error.
    ImageBuilder list;
    list.table({}).table({}).table({}).table({}).table({}).u64(1).string("k").u64(1).u64(5).u8(1).u8(2);
    EXPECT_EQ(decode_error(list.bytes()), END_OF_FILE);
}

// ---------------------------------------------------------------------------
// Option tags and UTF-8

// An image of one entry whose single record has the given raw lemma and
// definition fields.
Bytes with_optional_fields(const std::function<void(ImageBuilder&)>& fields) {
    ImageBuilder b;
    b.table({"X"}).table({}).table({}).table({"l"}).table({"d"}).u64(1).string("ключ").u64(1);
    b.byte_list({0}).byte_list({0}).u64(0);
    fields(b);
    return b.bytes();
}

TEST(ImageDecoder, OptionTagOtherThanZeroOrOneIsRejected) {
    struct Case {
        const char* name;
        std::function<void(ImageBuilder&)> fields;
        std::optional<std::string> message;
    };
    const std::vector<Case> cases = {
        {"lemma tag 2", [](ImageBuilder& b) { b.u8(2).u32(0).u8(0); }, "tag for enum is not valid, found 2"},
        {"lemma tag 255", [](ImageBuilder& b) { b.u8(255).u32(0).u8(0); },
         "tag for enum is not valid, found 255"},
        {"definition tag 2", [](ImageBuilder& b) { b.u8(1).u32(0).u8(2).u32(0); },
         "tag for enum is not valid, found 2"},
        {"definition tag 16", [](ImageBuilder& b) { b.u8(0).u8(16); }, "tag for enum is not valid, found 16"},
        // An invalid tag as the very last byte: the tag is judged before the
        // missing value.
        {"tag 2 at the end", [](ImageBuilder& b) { b.u8(2); }, "tag for enum is not valid, found 2"},
        {"tags 0 and 1", [](ImageBuilder& b) { b.u8(0).u8(1).u32(0); }, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode_error(with_optional_fields(c.fields)), c.message);
    }
}

TEST(ImageDecoder, Utf8ErrorDescribesTheFirstBadSequence) {
    const auto invalid = [](int n, int i) {
        return "invalid utf-8 sequence of " + std::to_string(n) + " bytes from index " + std::to_string(i);
    };
    const auto incomplete = [](int i) { return "incomplete utf-8 byte sequence from index " + std::to_string(i); };
    struct Case {
        const char* hex;
        std::optional<std::string> error;
    };
    const std::vector<Case> cases = {
        {"", std::nullopt},
        {"61 00 62", std::nullopt},
        {"c2 80  d1 97  df bf", std::nullopt},
        {"e2 82 ac  ed 9f bf  ee 80 80  ef bf bf", std::nullopt},
        {"f0 90 80 80  f0 9f 98 80  f4 8f bf bf", std::nullopt},  // valid 4-byte sequences
        // Lone continuation bytes and bytes that never start a sequence.
        {"80", invalid(1, 0)},
        {"61 62 bf", invalid(1, 2)},
        {"d1 97 80", invalid(1, 2)},
        {"f5 80 80 80", invalid(1, 0)},
        {"fe", invalid(1, 0)},
        {"ff", invalid(1, 0)},
        // Overlong encodings.
        {"c0 af", invalid(1, 0)},
        {"c1 bf", invalid(1, 0)},
        {"e0 80 af", invalid(1, 0)},
        {"e0 9f bf", invalid(1, 0)},
        {"f0 80 80 af", invalid(1, 0)},
        {"f0 8f bf bf", invalid(1, 0)},
        // Surrogates and code points beyond U+10FFFF.
        {"ed a0 80", invalid(1, 0)},
        {"61 ed bf bf", invalid(1, 1)},
        {"f4 90 80 80", invalid(1, 0)},
        // Bad continuation at the second, third and fourth byte.
        {"c3 41", invalid(1, 0)},
        {"e2 41 ac", invalid(1, 0)},
        {"e2 82 41", invalid(2, 0)},
        {"e2 82 c3 a9", invalid(2, 0)},
        {"f0 41 98 80", invalid(1, 0)},
        {"f0 9f 41 80", invalid(2, 0)},
        {"f0 9f 98 41", invalid(3, 0)},
        {"61 62 f0 9f 98 f0 9f 98 80", invalid(3, 2)},
        // Sequences cut off by the end of the bytes.
        {"c3", incomplete(0)},
        {"61 d1", incomplete(1)},
        {"e2", incomplete(0)},
        {"e2 82", incomplete(0)},
        {"f0", incomplete(0)},
        {"f0 9f", incomplete(0)},
        {"d1 97 f0 9f 98", incomplete(2)},
        // A bad second byte is reported as invalid even at the end.
        {"e0 80", invalid(1, 0)},
        {"ed a0", invalid(1, 0)},
        {"f4 90", invalid(1, 0)},
        {"f0 80", invalid(1, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(utf8_error(from_hex(c.hex)), c.error);
    }
}

TEST(ImageDecoder, InvalidUtf8InAnyTableOrKeyIsRejected) {
    const std::string bad = "ab\xC0\xAF";           // overlong at index 2
    const std::string cut_short = "\xD1\x97\xE2\x82";  // ends inside a sequence at index 2
    const std::string prefix = "string is not valid utf8: ";
    for (int table = 0; table < 5; ++table) {
        for (const auto& [text, why] : {std::pair{bad, std::string("invalid utf-8 sequence of 1 bytes from index 2")},
                                        std::pair{cut_short, std::string("incomplete utf-8 byte sequence from index 2")}}) {
            SCOPED_TRACE("table " + std::to_string(table));
            ImageContent c;
            std::vector<std::string>* tables[] = {&c.pos_tags, &c.feature_keys, &c.feature_values, &c.lemmas,
                                                  &c.definitions};
            *tables[table] = {"ok", text, "ok"};
            EXPECT_EQ(decode_error(encode(c)), prefix + why);
        }
    }
    for (const auto& [key, why] : {std::pair{std::string("ключ\xED\xA0\x80"), std::string("invalid utf-8 sequence of 1 bytes from index 8")},
                                   std::pair{std::string("ab\xF0\x9F\x98"), std::string("incomplete utf-8 byte sequence from index 2")}}) {
        ImageContent c;
        c.entries = {{"a", {}}, {key, {{{0}, {}, {}, std::nullopt, std::nullopt}}}};
        EXPECT_EQ(decode_error(encode(c)), prefix + why);
    }
}

TEST(ImageDecoder, FirstMalformationInTheDataWins) {
    // A bad string followed by a cut reports the string.
    ImageBuilder utf8_then_cut;
    utf8_then_cut.u64(2).string("\xFF").u64(3);
    EXPECT_EQ(decode_error(utf8_then_cut.bytes()),
              "string is not valid utf8: invalid utf-8 sequence of 1 bytes from index 0");
    // A bad tag followed by invalid UTF-8 in the next key reports the tag.
    ImageBuilder b;
    b.table({}).table({}).table({}).table({}).table({}).u64(2).string("a").u64(1);
    b.byte_list({}).byte_list({}).u64(0).u8(3).u32(0).u8(0);
    b.string("\xFF").u64(0);
    EXPECT_EQ(decode_error(b.bytes()), "tag for enum is not valid, found 3");
}

// ---------------------------------------------------------------------------
// Corrupt counts

TEST(ImageDecoder, HugeCountsFailAtTheEndOfTheDataWithoutAllocatingForThem) {
    // Each case writes a count, some real elements after it, marks where the
    // data is to end, and writes one more element; the image is cut at the
    // mark, so the message follows from the kind of field cut there.
    const auto empty_tables = [](ImageBuilder& b) { b.table({}).table({}).table({}).table({}).table({}); };
    const auto record = [](ImageBuilder& b) { write_record(b, {{1}, {0}, {{0, {1, 2}}}, 0, std::nullopt}); };
    struct Case {
        const char* name;
        std::function<std::size_t(ImageBuilder&, std::uint64_t)> write;  // returns the cut
    };
    const std::vector<Case> cases = {
        {"part-of-speech table",
         [](ImageBuilder& b, std::uint64_t n) {
             b.u64(n).string("NOUN").string("VERB");
             const std::size_t at = b.size();
             b.string("ADJ");
             return at;
         }},
        {"lemma table",
         [](ImageBuilder& b, std::uint64_t n) {
             b.table({"X"}).table({}).table({}).u64(n);
             for (int i = 0; i < 1000; ++i) b.string("лема");
             const std::size_t at = b.size();
             b.string("лема");
             return at;
         }},
        {"table string length",
         [](ImageBuilder& b, std::uint64_t n) {
             b.u64(1).u64(n).string_bytes("NOUN");
             const std::size_t at = b.size();
             b.string_bytes("more");
             return at;
         }},
        {"entry list",
         [&](ImageBuilder& b, std::uint64_t n) {
             empty_tables(b);
             b.u64(n);
             for (int i = 0; i < 100; ++i) write_entry(b, {"ключ" + std::to_string(i), {{{0}, {}, {}, 0, 0}}});
             const std::size_t at = b.size();
             write_entry(b, {"z", {}});
             return at;
         }},
        {"key length",
         [&](ImageBuilder& b, std::uint64_t n) {
             empty_tables(b);
             b.u64(1).u64(n).string_bytes("ключ");
             const std::size_t at = b.size();
             b.string_bytes("ключ");
             return at;
         }},
        {"record list",
         [&](ImageBuilder& b, std::uint64_t n) {
             empty_tables(b);
             b.u64(1).string("ключ").u64(n);
             record(b);
             record(b);
             const std::size_t at = b.size();
             record(b);
             return at;
         }},
        {"stress position list",
         [&](ImageBuilder& b, std::uint64_t n) {
             empty_tables(b);
             b.u64(1).string("ключ").u64(1).u64(n);
             for (int i = 0; i < 5000; ++i) b.u8(static_cast<std::uint8_t>(i));
             const std::size_t at = b.size();
             b.u8(0);
             return at;
         }},
        {"part-of-speech list",
         [&](ImageBuilder& b, std::uint64_t n) {
             empty_tables(b);
             b.u64(1).string("ключ").u64(1).byte_list({0}).u64(n).u8(1);
             const std::size_t at = b.size();
             b.u8(2);
             return at;
         }},
        {"feature list",
         [&](ImageBuilder& b, std::uint64_t n) {
             empty_tables(b);
             b.u64(1).string("ключ").u64(1).byte_list({0}).byte_list({0}).u64(n);
             b.u8(0).byte_list({1, 1});
             const std::size_t at = b.size();
             b.u8(1).byte_list({2});
             return at;
         }},
        {"feature value list",
         [&](ImageBuilder& b, std::uint64_t n) {
             empty_tables(b);
             b.u64(1).string("ключ").u64(1).byte_list({0}).byte_list({0}).u64(1).u8(0).u64(n).u8(3);
             const std::size_t at = b.size();
             b.u8(4);
             return at;
         }},
    };
    for (const std::uint64_t count : {HUGE_COUNT, std::uint64_t(1) << 33, std::uint64_t(1) << 24}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", count " + std::to_string(count));
            ImageBuilder b;
            const std::size_t at = c.write(b, count);
            const Bytes image = cut(b.bytes(), at);
            std::optional<std::string> message;
            std::size_t largest = 0;
            {
                LargestAllocation watch;
                message = decode_error(image);
                largest = watch.bytes();
            }
            EXPECT_EQ(message, end_of_data_message(b.kinds()[at]));
            if (LargestAllocation::available) {
                EXPECT_LT(largest, std::size_t(64) << 20);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// The streaming path

const std::size_t CHUNK_SIZES[] = {1, 2, 3, 7, 64};

TEST(ImageDecoderStreaming, ChunkedSourceGivesTheSameDictionary) {
    const Bytes image = encode(sample());
    const Bytes image_with_tail = concat(image, {0xFF, 0x02, 0xC0});
    for (const std::size_t chunk : CHUNK_SIZES) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        ChunkedSource source(image, chunk);
        EXPECT_EQ(content_of(decode_image(source)), sample());
        ChunkedSource with_tail(image_with_tail, chunk);
        EXPECT_EQ(content_of(decode_image(with_tail)), sample());
    }
}

TEST(ImageDecoderStreaming, KeysAndStringsStraddlingChunksStayIntact) {
    // Long strings and keys split across many chunks, keys checked for
    // UTF-8 as a whole (a sequence split by a chunk boundary is valid).
    ImageContent c;
    c.lemmas = {std::string(300, 'x'), "ґанок" + std::string(50, 'y') + "їжак"};
    for (int i = 0; i < 30; ++i) {
        std::string key = "слово";
        for (int k = 0; k < i; ++k) key += "ї";
        c.entries.push_back({key, {{{static_cast<std::uint8_t>(i)}, {}, {}, i % 2 ? std::optional<std::uint32_t>(1) : std::nullopt, std::nullopt}}});
    }
    std::sort(c.entries.begin(), c.entries.end(), [](const Entry& a, const Entry& b) { return a.key < b.key; });
    const Bytes image = encode(c);
    for (const std::size_t chunk : {std::size_t(1), std::size_t(3), std::size_t(5), std::size_t(7), std::size_t(11)}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        ChunkedSource source(image, chunk);
        EXPECT_EQ(content_of(decode_image(source)), c);
    }
}

TEST(ImageDecoderStreaming, ChunkedSourceGivesTheSameErrorAtEveryCut) {
    const ImageBuilder b = build(compact());
    for (const std::size_t chunk : {1, 2, 3, 7}) {
        for (std::size_t n = 0; n < b.size(); ++n) {
            SCOPED_TRACE("chunk " + std::to_string(chunk) + ", cut at " + std::to_string(n));
            const Bytes image = cut(b.bytes(), n);
            ChunkedSource source(image, chunk);
            EXPECT_EQ(decode_error(source), end_of_data_message(b.kinds()[n]));
        }
    }
}

TEST(ImageDecoderStreaming, ChunkedSourceGivesTheSameTagAndUtf8Errors) {
    ImageContent bad_key;
    bad_key.entries = {{"ab\xF0\x9F\x98", {}}};
    const std::vector<Bytes> images = {
        with_optional_fields([](ImageBuilder& b) { b.u8(1).u32(0).u8(2).u32(0); }),
        encode(bad_key),
    };
    for (const Bytes& image : images) {
        const auto expected = decode_error(image);
        ASSERT_TRUE(expected.has_value());
        for (const std::size_t chunk : CHUNK_SIZES) {
            SCOPED_TRACE("chunk " + std::to_string(chunk));
            ChunkedSource source(image, chunk);
            EXPECT_EQ(decode_error(source), expected);
        }
    }
}

// A source that hands out bytes in chunks and then fails.
class FailingSource final : public ByteSource {
public:
    FailingSource(Bytes bytes, std::size_t chunk, std::size_t fail_at_call)
        : bytes_(std::move(bytes)), chunk_(chunk), fail_at_(fail_at_call) {}
    std::span<const std::uint8_t> next() override {
        if (++calls_ >= fail_at_) throw SourceError{"broken source"};
        const std::size_t n = std::min(chunk_, bytes_.size() - at_);
        std::span<const std::uint8_t> out(bytes_.data() + at_, n);
        at_ += n;
        return out;
    }

private:
    Bytes bytes_;
    std::size_t chunk_;
    std::size_t fail_at_;
    std::size_t calls_ = 0;
    std::size_t at_ = 0;
};

TEST(ImageDecoderStreaming, SourceFailureWinsWhereverItHappens) {
    const Bytes good = encode(sample());
    const Bytes bad_tag = with_optional_fields([](ImageBuilder& b) { b.u8(7); });
    struct Case {
        const char* name;
        Bytes bytes;
        std::size_t chunk;
        std::size_t fail_at_call;
    };
    const std::vector<Case> cases = {
        {"on the first call", good, 16, 1},
        {"in the middle of the image", good, 16, 3},
        {"after the image, in trailing data", concat(good, Bytes(100, 0)), good.size(), 2},
        {"after the end of the image", good, good.size(), 2},
        {"behind a decoding failure", concat(bad_tag, Bytes(100, 0)), 8, bad_tag.size() / 8 + 3},
        {"behind a cut image", cut(good, 10), 4, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FailingSource source(c.bytes, c.chunk, c.fail_at_call);
        try {
            decode_image(source);
            ADD_FAILURE() << "decoded";
        } catch (const SourceError& e) {
            EXPECT_EQ(e.message, "broken source");
        } catch (const DecodeError& e) {
            ADD_FAILURE() << "decode error: " << e.message;
        }
    }
}

// ---------------------------------------------------------------------------
// Compressed images

Bytes bzip2(const Bytes& data, int block_size = 9) {
    unsigned int size = static_cast<unsigned int>(data.size() + data.size() / 100 + 600);
    Bytes out(size);
    const int rc = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                            const_cast<char*>(reinterpret_cast<const char*>(data.data())),
                                            static_cast<unsigned int>(data.size()), block_size, 0, 0);
    EXPECT_EQ(rc, BZ_OK);
    out.resize(size);
    return out;
}

std::optional<std::string> load_error(const Bytes& compressed) {
    try {
        load_compressed_image(compressed);
        return std::nullopt;
    } catch (const LoadError& e) {
        return e.cause;
    }
}

const std::string UNEXPECTED_EOF_CAUSE =
    "\"bzip2 decompression failed: compressed stream ends before its end-of-stream marker (BZ_UNEXPECTED_EOF)\"";

TEST(LoadCompressedImage, GoodImageLoadsAtAnyBlockSize) {
    for (const int block_size : {1, 9}) {
        EXPECT_EQ(content_of(load_compressed_image(bzip2(encode(sample()), block_size))), sample());
    }
    EXPECT_EQ(content_of(load_compressed_image(bzip2(Bytes(48, 0)))), ImageContent{});
}

TEST(LoadCompressedImage, ImageLargerThanOneInflatedChunk) {
    // More than 1 MiB inflated, so the decoder consumes several chunks.
    ImageContent c;
    for (int i = 0; i < 40000; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "k%06d", i);
        c.entries.push_back({key, {{{static_cast<std::uint8_t>(i % 7)}, {}, {}, std::uint32_t(i), std::nullopt}}});
    }
    const Bytes image = encode(c);
    ASSERT_GT(image.size(), std::size_t(1) << 20);
    EXPECT_EQ(content_of(load_compressed_image(bzip2(image))), c);
}

TEST(LoadCompressedImage, Bzip2SourceChunkSizeDoesNotMatter) {
    const Bytes compressed = bzip2(encode(sample()));
    for (const std::size_t chunk : {std::size_t(1), std::size_t(5), std::size_t(4096)}) {
        SCOPED_TRACE("chunk " + std::to_string(chunk));
        Bzip2Source source(compressed, chunk);
        EXPECT_EQ(content_of(decode_image(source)), sample());
    }
}

TEST(LoadCompressedImage, DecompressionFailuresAreQuotedAsTheCause) {
    const Bytes good = bzip2(encode(sample()));
    ASSERT_GT(good.size(), 40u);
    Bytes bad_magic = good;
    bad_magic[0] = 'X';
    Bytes bad_block = good;
    bad_block[good.size() / 2] ^= 0x55;
    Bytes bad_crc = good;
    bad_crc[good.size() - 3] ^= 0x01;  // inside the stream's combined CRC
    struct Case {
        const char* name;
        Bytes bytes;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {"empty input", {}, UNEXPECTED_EOF_CAUSE},
        {"header only", cut(good, 4), UNEXPECTED_EOF_CAUSE},
        {"cut in the middle", cut(good, good.size() / 2), UNEXPECTED_EOF_CAUSE},
        {"last byte missing", cut(good, good.size() - 1), UNEXPECTED_EOF_CAUSE},
        {"not bzip2", bad_magic, "\"bzip2 decompression failed: not a bzip2 stream (BZ_DATA_ERROR_MAGIC)\""},
        {"corrupt block", bad_block,
         "\"bzip2 decompression failed: data integrity error in the compressed stream (BZ_DATA_ERROR)\""},
        {"corrupt stream CRC", bad_crc,
         "\"bzip2 decompression failed: data integrity error in the compressed stream (BZ_DATA_ERROR)\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(load_error(c.bytes), c.cause);
    }
}

TEST(LoadCompressedImage, DecodingFailuresAreQuotedWithTheirPrefix) {
    const ImageBuilder b = build(sample());
    const auto first_of = [&](FieldKind kind) {
        return static_cast<std::size_t>(std::find(b.kinds().begin(), b.kinds().end(), kind) - b.kinds().begin());
    };
    ImageContent bad_utf8;
    bad_utf8.definitions = {"\xE2\x82"};
    struct Case {
        const char* name;
        Bytes image;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {"cut inside a count", cut(b.bytes(), 5), "\"failed to deserialize binary DB: io error: unexpected end of file\""},
        {"cut inside a string", cut(b.bytes(), first_of(FieldKind::StringBytes) + 1),
         "\"failed to deserialize binary DB: io error: \""},
        {"bad tag", with_optional_fields([](ImageBuilder& o) { o.u8(2); }),
         "\"failed to deserialize binary DB: tag for enum is not valid, found 2\""},
        {"bad utf-8", encode(bad_utf8),
         "\"failed to deserialize binary DB: string is not valid utf8: incomplete utf-8 byte sequence from index 0\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(load_error(bzip2(c.image)), c.cause);
    }
}

TEST(LoadCompressedImage, DecompressionFailureBehindADecodingFailureWins) {
    // The image fails to decode near its start; the compressed stream is
    // cut near its end, far behind that point.
    Bytes image = with_optional_fields([](ImageBuilder& o) { o.u8(9); });
    for (int i = 0; i < 200000; ++i) image.push_back(static_cast<std::uint8_t>(i * 7919 >> 3));
    const Bytes compressed = bzip2(image, 1);
    const Bytes truncated = cut(compressed, compressed.size() - 20);
    EXPECT_EQ(load_error(truncated), UNEXPECTED_EOF_CAUSE);
    EXPECT_EQ(load_error(compressed), "\"failed to deserialize binary DB: tag for enum is not valid, found 9\"");
    Bzip2Source source(truncated, 64);
    EXPECT_THROW(decode_image(source), SourceError);
}

TEST(LoadCompressedImage, DebugQuoteEscapes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "\"\""},
        {"io error: ", "\"io error: \""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"a\\b", "\"a\\\\b\""},
        {"line\nnext\r\tend", "\"line\\nnext\\r\\tend\""},
        {"\x01", "\"\\u{1}\""},
        {"\x1b[0m", "\"\\u{1b}[0m\""},
        {"\x7f", "\"\\u{7f}\""},
        {"'ї~", "\"'ї~\""},
    };
    for (const auto& [text, quoted] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(debug_quote(text), quoted);
    }
}

}  // namespace
