// lexovia_mark_check: mark() against the full lookup over the keys of a
// dictionary image.
//
// Usage: lexovia_mark_check [--every N] IMAGE
//
// IMAGE is a bzip2-compressed image (as embedded in the module). For every
// N-th key (default 1: all of them), and for the key with its first letter
// capitalised the way a typed word would be, mark() must equal the first
// reading's stressed form from lookup(). Prints the number of words checked,
// the time each path took and their ratio; exits with status 1 on the first
// disagreements (up to ten are printed), 2 on bad usage or an unloadable
// image.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "core/dict/load.hpp"
#include "core/dict/lookup.hpp"
#include "core/utf8.hpp"

using namespace lexovia;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int MAX_REPORTED = 10;

std::string mark_by_lookup(const dict::Dictionary& d, std::string_view word) {
    const dict::LookupResult r = dict::lookup(d, word);
    return r.readings.empty() ? std::string(word) : r.readings.front().stressed_form;
}

// The key with a leading Cyrillic lowercase letter (U+0430..U+045F)
// capitalised, or the key itself.
std::string capitalised(std::string_view key) {
    std::size_t pos = 0;
    if (key.empty()) return std::string(key);
    const char32_t c = utf8::decode_next(key, pos);
    char32_t upper = c;
    if (c >= U'а' && c <= U'я') upper = c - 0x20;
    else if (c >= U'ѐ' && c <= U'џ') upper = c - 0x50;
    std::string out;
    utf8::append(out, upper);
    out.append(key.substr(pos));
    return out;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    std::size_t every = 1;
    int arg = 1;
    if (arg + 1 < argc && std::string_view(argv[arg]) == "--every") {
        every = std::strtoull(argv[arg + 1], nullptr, 10);
        arg += 2;
    }
    if (arg + 1 != argc || every == 0) {
        std::fprintf(stderr, "usage: lexovia_mark_check [--every N] IMAGE\n");
        return 2;
    }
    std::ifstream in(argv[arg], std::ios::binary);
    const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "cannot read %s\n", argv[arg]);
        return 2;
    }
    dict::Dictionary d;
    try {
        d = dict::load_compressed_image(image);
    } catch (const dict::LoadError& e) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[arg], e.cause.c_str());
        return 2;
    }

    std::vector<std::string> words;
    for (std::size_t i = 0; i < d.entry_count(); i += every) {
        words.emplace_back(d.key(i));
        words.push_back(capitalised(d.key(i)));
    }
    std::vector<std::string> fast(words.size()), full(words.size());
    const auto t0 = Clock::now();
    for (std::size_t i = 0; i < words.size(); ++i) fast[i] = dict::mark(d, words[i]);
    const auto t1 = Clock::now();
    for (std::size_t i = 0; i < words.size(); ++i) full[i] = mark_by_lookup(d, words[i]);
    const auto t2 = Clock::now();

    int bad = 0;
    for (std::size_t i = 0; i < words.size() && bad < MAX_REPORTED; ++i) {
        if (fast[i] != full[i]) {
            std::printf("disagree on '%s': mark '%s', lookup '%s'\n", words[i].c_str(), fast[i].c_str(),
                        full[i].c_str());
            ++bad;
        }
    }
    std::printf("%zu words (every %zu-th of %zu keys, as stored and capitalised): %s\n", words.size(), every,
                d.entry_count(), bad ? "DISAGREEMENTS" : "mark equals the first reading of lookup");
    std::printf("mark   : %10.0f words/s\n", words.size() / seconds(t1 - t0));
    std::printf("lookup : %10.0f words/s\n", words.size() / seconds(t2 - t1));
    std::printf("ratio mark / lookup: %.1f x\n", seconds(t2 - t1) / seconds(t1 - t0));
    return bad ? 1 : 0;
}
