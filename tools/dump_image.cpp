// lexovia_dump_image: prints a dictionary image as JSON, decoded by the
// module's own decoder.
//
// Usage: lexovia_dump_image [--raw] IMAGE
//
// IMAGE is a bzip2-compressed image (as embedded in the module), or the
// uncompressed image with --raw. Output, one JSON object on stdout:
//
//   {"pos_tags": [...], "feature_keys": [...], "feature_values": [...],
//    "lemmas": [...], "definitions": [...],
//    "entries": [{"key": "...", "records": [
//        {"positions": [u8...], "pos": [u8...],
//         "features": [[key index, [value index...]], ...],
//         "lemma": u32 or null, "definition": u32 or null}, ...]}, ...]}
//
// Indexes are printed as stored, unresolved. A malformed image prints the
// decoder's or loader's message on stderr and exits with status 1.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bzip2/byte_source.hpp"
#include "core/dict/dictionary.hpp"
#include "core/dict/image_decoder.hpp"
#include "core/dict/load.hpp"

using namespace lexovia::dict;

namespace {

// Strings are valid UTF-8 (the decoder checked), so only quotes,
// backslashes and control characters need escaping.
void put_string(std::string& out, std::string_view text) {
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else out += ch;
    }
    out += '"';
}

void put_bytes(std::string& out, Bytes bytes) {
    out += '[';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += ',';
        out += std::to_string(bytes[i]);
    }
    out += ']';
}

void put_index(std::string& out, std::optional<std::uint32_t> index) {
    out += index ? std::to_string(*index) : "null";
}

void put_table(std::string& out, const char* name, const StringTable& table) {
    out += '"';
    out += name;
    out += "\":[";
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i) out += ',';
        put_string(out, table[i]);
    }
    out += "],\n";
}

void put_record(std::string& out, const RecordView& r) {
    out += "{\"positions\":";
    put_bytes(out, r.stress_positions);
    out += ",\"pos\":";
    put_bytes(out, r.pos);
    out += ",\"features\":[";
    bool first = true;
    for (const FeaturePair f : r.features) {
        if (!first) out += ',';
        first = false;
        out += '[' + std::to_string(f.key) + ',';
        put_bytes(out, f.values);
        out += ']';
    }
    out += "],\"lemma\":";
    put_index(out, r.lemma);
    out += ",\"definition\":";
    put_index(out, r.definition);
    out += '}';
}

void dump(const Dictionary& d, std::ostream& os) {
    std::string out = "{";
    put_table(out, "pos_tags", d.pos_tags);
    put_table(out, "feature_keys", d.feature_keys);
    put_table(out, "feature_values", d.feature_values);
    put_table(out, "lemmas", d.lemmas);
    put_table(out, "definitions", d.definitions);
    out += "\"entries\":[\n";
    for (std::size_t i = 0; i < d.entry_count(); ++i) {
        out += "{\"key\":";
        put_string(out, d.key(i));
        out += ",\"records\":[";
        bool first = true;
        for (const RecordView& r : d.records(i)) {
            if (!first) out += ',';
            first = false;
            put_record(out, r);
        }
        out += "]}";
        if (i + 1 < d.entry_count()) out += ',';
        out += '\n';
        if (out.size() > (1u << 20)) {
            os << out;
            out.clear();
        }
    }
    out += "]}\n";
    os << out;
}

int usage() {
    std::cerr << "usage: lexovia_dump_image [--raw] IMAGE\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool raw = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--raw") raw = true;
        else if (path == nullptr && !arg.starts_with("-")) path = argv[i];
        else return usage();
    }
    if (path == nullptr) return usage();

    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "lexovia_dump_image: cannot open " << path << '\n';
        return 1;
    }
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::cerr << "lexovia_dump_image: cannot read " << path << '\n';
        return 1;
    }

    try {
        const Dictionary d = raw ? decode_image(data) : load_compressed_image(data);
        dump(d, std::cout);
    } catch (const DecodeError& e) {
        std::cerr << "lexovia_dump_image: " << e.message << '\n';
        return 1;
    } catch (const lexovia::bzip2::SourceError& e) {
        std::cerr << "lexovia_dump_image: " << e.message << '\n';
        return 1;
    } catch (const LoadError& e) {
        std::cerr << "lexovia_dump_image: " << e.cause << '\n';
        return 1;
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}
