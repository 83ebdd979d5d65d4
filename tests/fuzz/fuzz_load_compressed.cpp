// Fuzzes loading from compressed bytes, differentially.
//
// Each input is taken as a bzip2-compressed image and
//  - loaded as the module loads it (load_compressed_image: parallel
//    inflation into the decoder) and as sequential inflation straight into
//    the decoder would load it; the dictionaries, or the failure texts, must
//    be the same;
//  - inflated by ParallelBzip2Source and by Bzip2Source; the same error
//    text (or none) must end both, and the bytes must agree: all of them
//    when there is no error, up to where the shorter stops otherwise.
// Any disagreement aborts. Run with a low -malloc_limit_mb so that an
// allocation for a corrupt count crashes the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/bzip2/bzip2_source.hpp"
#include "core/dict/image_decoder.hpp"
#include "core/dict/load.hpp"
#include "core/bzip2/parallel_bzip2.hpp"
#include "dump.hpp"

using namespace lexovia;

namespace {

std::string parallel_load(std::span<const std::uint8_t> compressed) {
    try {
        return "ok\n" + fuzz::dump(dict::load_compressed_image(compressed));
    } catch (const dict::LoadError& e) {
        return "error " + e.cause;
    }
}

std::string sequential_load(std::span<const std::uint8_t> compressed) {
    try {
        bzip2::Bzip2Source source(compressed);
        return "ok\n" + fuzz::dump(dict::decode_image(source));
    } catch (const bzip2::SourceError& e) {
        return "error " + dict::debug_quote(e.message);
    } catch (const dict::DecodeError& e) {
        return "error " + dict::debug_quote("failed to deserialize binary DB: " + e.message);
    }
}

struct Inflated {
    std::vector<std::uint8_t> bytes;
    std::optional<std::string> error;
};

Inflated inflate(bzip2::ByteSource& source) {
    Inflated out;
    try {
        for (auto chunk = source.next(); !chunk.empty(); chunk = source.next())
            out.bytes.insert(out.bytes.end(), chunk.begin(), chunk.end());
    } catch (const bzip2::SourceError& e) {
        out.error = e.message;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> compressed(data, size);

    const std::string parallel = parallel_load(compressed);
    const std::string sequential = sequential_load(compressed);
    if (parallel != sequential) fuzz::disagree("parallel and sequential loading", parallel, sequential);

    bzip2::ParallelBzip2Source par_source(compressed, 1 + static_cast<unsigned>(size % 3));
    const Inflated par = inflate(par_source);
    bzip2::Bzip2Source seq_source(compressed);
    const Inflated seq = inflate(seq_source);
    if (par.error != seq.error)
        fuzz::disagree("parallel and sequential inflation errors", par.error.value_or("none"),
                       seq.error.value_or("none"));
    const std::size_t common = seq.error ? std::min(par.bytes.size(), seq.bytes.size()) : seq.bytes.size();
    if ((!seq.error && par.bytes.size() != seq.bytes.size()) ||
        !std::equal(par.bytes.begin(), par.bytes.begin() + common, seq.bytes.begin()))
        fuzz::disagree("parallel and sequential inflated bytes", std::to_string(par.bytes.size()) + " bytes",
                       std::to_string(seq.bytes.size()) + " bytes");
    return 0;
}
