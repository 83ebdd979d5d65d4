// Loading the dictionary from its compressed image.
//
// Inflates a bzip2 stream and decodes the image inside it, streaming: the
// stream's blocks are inflated on all cores (parallel_bzip2.hpp) and the
// decoder consumes each block as soon as it and those before it are out, so
// the whole inflated image never sits in memory. The outcome is always that
// of inflating the stream sequentially and then decoding it. On failure the
// cause is reported the way a debug rendering shows a text: quoted, with
// quotes and backslashes escaped, e.g.
// "failed to deserialize binary DB: io error: unexpected end of file"
// (quotes included).
//
// This unit only joins the two halves: inflation lives in core/bzip2 and
// knows nothing of the image; decoding lives in image_decoder.hpp and knows
// nothing of compression. The Dictionary returned is complete (its search
// indexes built) and immutable; the worker threads are joined before
// load_compressed_image returns or throws.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/dict/dictionary.hpp"

namespace lexovia::dict {

struct LoadError {
    std::string cause;  // debug rendering of the cause, quotes included
};

// Throws LoadError.
Dictionary load_compressed_image(std::span<const std::uint8_t> compressed);

// text in double quotes with \, " and control characters escaped.
std::string debug_quote(std::string_view text);

}  // namespace lexovia::dict
