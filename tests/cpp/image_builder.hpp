// Test helper: writes dictionary images field by field.
//
// ImageBuilder appends the primitive encodings of the image (u8, u32, u64,
// strings, byte lists, optional u32) and records, for every byte it emits,
// which kind of field the byte belongs to. A test that cuts an image short
// derives the expected decoder message from the kind of the first missing
// byte instead of hard-coding offsets.
//
// ImageContent is a plain description of a whole image (five tables and the
// entries, indexes as raw numbers); encode() writes it in the image layout
// and content_of() reads a decoded Dictionary back into the same shape, so a
// test can compare what went in with what came out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/bzip2/byte_source.hpp"
#include "core/dict/dictionary.hpp"

namespace lexovia::testing {

// What a byte of an image is part of.
enum class FieldKind : std::uint8_t {
    Number,       // a u64 count or length, a u8 index or tag, a u32, a byte-list element
    StringBytes,  // the UTF-8 bytes of a table string or an entry key
};

// The decoder's message when the data ends at a byte of the given kind.
inline std::string end_of_data_message(FieldKind kind) {
    return kind == FieldKind::Number ? "io error: unexpected end of file" : "io error: ";
}

class ImageBuilder {
public:
    ImageBuilder& u8(std::uint8_t v) {
        push(v, FieldKind::Number);
        return *this;
    }

    ImageBuilder& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) push(static_cast<std::uint8_t>(v >> (8 * i)), FieldKind::Number);
        return *this;
    }

    ImageBuilder& u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) push(static_cast<std::uint8_t>(v >> (8 * i)), FieldKind::Number);
        return *this;
    }

    // A string: its byte length, then its bytes (not checked for UTF-8, so
    // malformed text can be written too).
    ImageBuilder& string(std::string_view text) {
        u64(text.size());
        return string_bytes(text);
    }
    ImageBuilder& string(std::span<const std::uint8_t> bytes) {
        return string({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }

    // Bytes of a string body without a length, for a length that lies.
    ImageBuilder& string_bytes(std::string_view text) {
        for (const char c : text) push(static_cast<std::uint8_t>(c), FieldKind::StringBytes);
        return *this;
    }

    ImageBuilder& byte_list(std::span<const std::uint8_t> values) {
        u64(values.size());
        for (const std::uint8_t v : values) u8(v);
        return *this;
    }
    ImageBuilder& byte_list(std::initializer_list<std::uint8_t> values) {
        return byte_list(std::span<const std::uint8_t>(values.begin(), values.size()));
    }

    ImageBuilder& optional_u32(std::optional<std::uint32_t> v) {
        if (!v) return u8(0);
        return u8(1).u32(*v);
    }

    ImageBuilder& table(const std::vector<std::string>& texts) {
        u64(texts.size());
        for (const std::string& t : texts) string(t);
        return *this;
    }

    // Any bytes, counted as numbers (e.g. trailing data).
    ImageBuilder& raw(std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t b : bytes) push(b, FieldKind::Number);
        return *this;
    }

    std::size_t size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    const std::vector<FieldKind>& kinds() const { return kinds_; }

private:
    void push(std::uint8_t b, FieldKind kind) {
        bytes_.push_back(b);
        kinds_.push_back(kind);
    }

    std::vector<std::uint8_t> bytes_;
    std::vector<FieldKind> kinds_;
};

// ---------------------------------------------------------------------------
// Whole images

struct Feature {
    std::uint8_t key = 0;
    std::vector<std::uint8_t> values;
    friend bool operator==(const Feature&, const Feature&) = default;
};

struct Record {
    std::vector<std::uint8_t> positions;
    std::vector<std::uint8_t> pos;
    std::vector<Feature> features;
    std::optional<std::uint32_t> lemma;
    std::optional<std::uint32_t> definition;
    friend bool operator==(const Record&, const Record&) = default;
};

struct Entry {
    std::string key;
    std::vector<Record> records;
    friend bool operator==(const Entry&, const Entry&) = default;
};

struct ImageContent {
    std::vector<std::string> pos_tags;
    std::vector<std::string> feature_keys;
    std::vector<std::string> feature_values;
    std::vector<std::string> lemmas;
    std::vector<std::string> definitions;
    std::vector<Entry> entries;
    friend bool operator==(const ImageContent&, const ImageContent&) = default;
};

inline ImageBuilder& write_record(ImageBuilder& out, const Record& r) {
    out.byte_list(r.positions).byte_list(r.pos).u64(r.features.size());
    for (const Feature& f : r.features) out.u8(f.key).byte_list(f.values);
    return out.optional_u32(r.lemma).optional_u32(r.definition);
}

inline ImageBuilder& write_entry(ImageBuilder& out, const Entry& e) {
    out.string(e.key).u64(e.records.size());
    for (const Record& r : e.records) write_record(out, r);
    return out;
}

inline ImageBuilder& write_tables(ImageBuilder& out, const ImageContent& c) {
    return out.table(c.pos_tags).table(c.feature_keys).table(c.feature_values).table(c.lemmas).table(
        c.definitions);
}

inline ImageBuilder build(const ImageContent& c) {
    ImageBuilder out;
    write_tables(out, c).u64(c.entries.size());
    for (const Entry& e : c.entries) write_entry(out, e);
    return out;
}

inline std::vector<std::uint8_t> encode(const ImageContent& c) { return build(c).bytes(); }

inline std::vector<std::string> strings_of(const dict::StringTable& t) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < t.size(); ++i) out.emplace_back(t[i]);
    return out;
}

inline Record record_of(const dict::RecordView& v) {
    Record r;
    r.positions.assign(v.stress_positions.begin(), v.stress_positions.end());
    r.pos.assign(v.pos.begin(), v.pos.end());
    for (const dict::FeaturePair f : v.features) r.features.push_back({f.key, {f.values.begin(), f.values.end()}});
    r.lemma = v.lemma;
    r.definition = v.definition;
    return r;
}

inline ImageContent content_of(const dict::Dictionary& d) {
    ImageContent c;
    c.pos_tags = strings_of(d.pos_tags);
    c.feature_keys = strings_of(d.feature_keys);
    c.feature_values = strings_of(d.feature_values);
    c.lemmas = strings_of(d.lemmas);
    c.definitions = strings_of(d.definitions);
    for (std::size_t i = 0; i < d.entry_count(); ++i) {
        Entry e{std::string(d.key(i)), {}};
        for (const dict::RecordView& r : d.records(i)) e.records.push_back(record_of(r));
        c.entries.push_back(std::move(e));
    }
    return c;
}

// Hands out an image in chunks of a fixed size (the last may be shorter).
// Every chunk is copied into one reused buffer that is scribbled over on the
// next call, as a decompressor's output buffer is, so a reader that keeps
// pointers into an old chunk reads garbage.
class ChunkedSource final : public bzip2::ByteSource {
public:
    ChunkedSource(std::span<const std::uint8_t> bytes, std::size_t chunk)
        : bytes_(bytes), chunk_(chunk), buffer_(chunk) {}
    std::span<const std::uint8_t> next() override {
        ++calls_;
        std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0xEE});
        const std::size_t n = std::min(chunk_, bytes_.size());
        std::copy_n(bytes_.begin(), n, buffer_.begin());
        bytes_ = bytes_.subspan(n);
        return {buffer_.data(), n};
    }
    std::size_t calls() const { return calls_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t chunk_;
    std::vector<std::uint8_t> buffer_;
    std::size_t calls_ = 0;
};

inline std::vector<std::uint8_t> to_bytes(std::string_view s) { return {s.begin(), s.end()}; }

}  // namespace lexovia::testing
