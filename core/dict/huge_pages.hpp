// Storage for the dictionary's large arrays, offered to the kernel for
// backing with transparent huge pages.
//
// A lookup touches a few dozen scattered places in hundreds of megabytes;
// with 4 KiB pages nearly every one of them also misses the TLB. Arrays of
// at least one huge page are allocated on a huge-page boundary and marked
// MADV_HUGEPAGE (effective where the system's policy is "madvise" or
// "always"; harmless elsewhere), and the small pages a reused heap range
// already has are dropped, so that the first touch faults in huge ones (the
// storage is uninitialised, so nothing is lost). Smaller arrays are aligned
// to a cache line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace lexovia::dict {

struct FreeBytes {
    void operator()(std::uint8_t* p) const noexcept { std::free(p); }
};

using ByteBlock = std::unique_ptr<std::uint8_t[], FreeBytes>;

// Uninitialised storage for n bytes (n > 0), aligned to at least 64 bytes;
// throws std::bad_alloc.
ByteBlock allocate_block(std::size_t n);

}  // namespace lexovia::dict
