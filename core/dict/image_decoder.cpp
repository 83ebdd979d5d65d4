#include "core/dict/image_decoder.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lexovia::dict {
namespace {

constexpr std::size_t RESERVE_CAP_BYTES = std::size_t(1) << 20;

const std::string EOF_IN_NUMBER = "io error: unexpected end of file";
const std::string EOF_IN_STRING = "io error: ";

template <typename T>
std::size_t capped_reserve(std::uint64_t count) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(count, RESERVE_CAP_BYTES / sizeof(T)));
}

// One cursor over the chunks of a ByteSource.
class Reader {
public:
    explicit Reader(bzip2::ByteSource& source) : source_(source) {}

    std::uint8_t u8() {
        if (p_ == end_ && !refill()) throw DecodeError{EOF_IN_NUMBER};
        return *p_++;
    }

    std::uint32_t u32() { return static_cast<std::uint32_t>(little_endian<4>()); }
    std::uint64_t u64() { return little_endian<8>(); }

    // Up to n bytes of the current chunk, without copying: the fast path of
    // copy() for lists that lie inside one chunk.
    const std::uint8_t* in_chunk(std::uint64_t n) {
        if (static_cast<std::uint64_t>(end_ - p_) < n) return nullptr;
        const std::uint8_t* at = p_;
        p_ += n;
        return at;
    }

    // Hands the next n bytes to sink(ptr, len) piece by piece; false when the
    // data ends first (the pieces before the end have been handed over).
    template <typename Sink>
    bool copy(std::uint64_t n, Sink&& sink) {
        while (n > 0) {
            if (p_ == end_ && !refill()) return false;
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, end_ - p_));
            sink(p_, take);
            p_ += take;
            n -= take;
        }
        return true;
    }

    // Pulls the rest of the source, so that a source failure behind the
    // decoded part still surfaces.
    void drain() {
        while (!source_.next().empty()) {
        }
        p_ = end_ = nullptr;
    }

private:
    template <std::size_t N>
    std::uint64_t little_endian() {
        if (static_cast<std::size_t>(end_ - p_) >= N) [[likely]] {
            const std::uint64_t v = from_little_endian<N>(p_);
            p_ += N;
            return v;
        }
        std::uint8_t b[N];
        fixed(b, N);
        return from_little_endian<N>(b);
    }

    template <std::size_t N>
    static std::uint64_t from_little_endian(const std::uint8_t* b) {
        std::uint64_t v = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&v, b, N);
        } else {
            for (std::size_t i = N; i-- > 0;) v = (v << 8) | b[i];
        }
        return v;
    }

    bool refill() {
        for (;;) {
            const auto chunk = source_.next();
            if (chunk.empty()) return false;
            p_ = chunk.data();
            end_ = p_ + chunk.size();
            return true;
        }
    }

    // A fixed-width field that straddles chunks.
    void fixed(std::uint8_t* out, std::size_t n) {
        std::size_t got = 0;
        const bool ok = copy(n, [&](const std::uint8_t* p, std::size_t k) {
            std::memcpy(out + got, p, k);
            got += k;
        });
        if (!ok) throw DecodeError{EOF_IN_NUMBER};
    }

    bzip2::ByteSource& source_;
    const std::uint8_t* p_ = nullptr;
    const std::uint8_t* end_ = nullptr;
};

void check_utf8(std::span<const std::uint8_t> bytes) {
    if (auto why = utf8_error(bytes)) throw DecodeError{"string is not valid utf8: " + *why};
}

void read_table(Reader& in, StringTable& table) {
    const std::uint64_t count = in.u64();
    table.reserve(capped_reserve<std::uint64_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t len = in.u64();
        std::vector<char>& bytes = table.bytes();
        const std::size_t start = bytes.size();
        if (!in.copy(len, [&](const std::uint8_t* p, std::size_t k) { bytes.insert(bytes.end(), p, p + k); }))
            throw DecodeError{EOF_IN_STRING};
        check_utf8({reinterpret_cast<const std::uint8_t*>(bytes.data()) + start, bytes.size() - start});
        table.seal();
    }
    table.shrink_to_fit();
}

class EntryDecoder {
public:
    EntryDecoder(Reader& in, EntryWriter& out) : in_(in), out_(out) {}

    void entry() {
        out_.begin_entry();
        key();
        const std::uint64_t nrecords = in_.u64();
        out_.put_varint(nrecords);
        for (std::uint64_t r = 0; r < nrecords; ++r) record();
        out_.end_entry();
    }

private:
    void key() {
        const std::uint64_t len = in_.u64();
        out_.put_varint(len);
        const std::size_t start = out_.entry_size();
        if (!in_.copy(len, [&](const std::uint8_t* p, std::size_t k) { out_.put_bytes(p, k); }))
            throw DecodeError{EOF_IN_STRING};
        check_utf8(out_.entry_bytes(start));
    }

    void byte_list() {
        const std::uint64_t n = in_.u64();
        out_.put_varint(n);
        if (const std::uint8_t* p = in_.in_chunk(n)) {
            out_.put_bytes(p, static_cast<std::size_t>(n));
            return;
        }
        if (!in_.copy(n, [&](const std::uint8_t* p, std::size_t k) { out_.put_bytes(p, k); }))
            throw DecodeError{EOF_IN_NUMBER};
    }

    std::optional<std::uint32_t> optional_u32() {
        const std::uint8_t tag = in_.u8();
        if (tag == 0) return std::nullopt;
        if (tag != 1) throw DecodeError{"tag for enum is not valid, found " + std::to_string(tag)};
        return in_.u32();
    }

    void record() {
        byte_list();  // stress positions
        byte_list();  // part-of-speech indexes
        const std::uint64_t nfeatures = in_.u64();
        out_.put_varint(nfeatures);
        for (std::uint64_t f = 0; f < nfeatures; ++f) {
            out_.put_byte(in_.u8());
            byte_list();
        }
        const auto lemma = optional_u32();
        const auto definition = optional_u32();
        out_.put_byte((lemma ? HAS_LEMMA : 0) | (definition ? HAS_DEFINITION : 0));
        if (lemma) out_.put_u32(*lemma);
        if (definition) out_.put_u32(*definition);
    }

    Reader& in_;
    EntryWriter& out_;
};

Dictionary decode(Reader& in) {
    Dictionary dict;
    read_table(in, dict.pos_tags);
    read_table(in, dict.feature_keys);
    read_table(in, dict.feature_values);
    read_table(in, dict.lemmas);
    read_table(in, dict.definitions);
    EntryWriter writer(dict);
    const std::uint64_t count = in.u64();
    EntryDecoder entries(in, writer);
    for (std::uint64_t i = 0; i < count; ++i) entries.entry();
    writer.finish();
    return dict;
}

}  // namespace

Dictionary decode_image(bzip2::ByteSource& source) {
    Reader in(source);
    try {
        Dictionary dict = decode(in);
        in.drain();
        return dict;
    } catch (const DecodeError&) {
        // The whole stream is inflated before decoding judges it, so a
        // decompressor failure anywhere wins over a decoding failure.
        in.drain();
        throw;
    }
}

Dictionary decode_image(std::span<const std::uint8_t> image) {
    bzip2::MemorySource source(image);
    return decode_image(source);
}

std::optional<std::string> utf8_error(std::span<const std::uint8_t> s) {
    const std::size_t n = s.size();
    std::size_t i = 0;
    const auto invalid = [&](std::size_t len) {
        return "invalid utf-8 sequence of " + std::to_string(len) + " bytes from index " + std::to_string(i);
    };
    const auto incomplete = [&] { return "incomplete utf-8 byte sequence from index " + std::to_string(i); };
    const auto cont = [&](std::size_t k) { return (s[k] & 0xC0) == 0x80; };
    while (i < n) {
        // Skip ASCII eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= n) break;
        const std::uint8_t b = s[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        // Two-byte sequences (all of Cyrillic) take the short way.
        if (b >= 0xC2 && b <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
            i += 2;
            continue;
        }
        std::size_t width;
        std::uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) width = 2;
        else if (b >= 0xE0 && b <= 0xEF) {
            width = 3;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            width = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return invalid(1);
        }
        if (i + 1 >= n) return incomplete();
        if (s[i + 1] < lo || s[i + 1] > hi) return invalid(1);
        for (std::size_t k = 2; k < width; ++k) {
            if (i + k >= n) return incomplete();
            if (!cont(i + k)) return invalid(k);
        }
        i += width;
    }
    return std::nullopt;
}

}  // namespace lexovia::dict
