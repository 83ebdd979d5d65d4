// The compressed dictionary image compiled into the module (see
// data/embed_image.S.in): its bytes and their count, fixed at build time.
#pragma once

#include <cstdint>
#include <span>

extern "C" {
extern const std::uint8_t lexovia_image_data[];
extern const std::uint64_t lexovia_image_size;
}

namespace lexovia::py {

inline std::span<const std::uint8_t> embedded_image() {
    return {lexovia_image_data, static_cast<std::size_t>(lexovia_image_size)};
}

}  // namespace lexovia::py
