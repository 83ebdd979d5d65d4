#include "core/dict/huge_pages.hpp"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace lexovia::dict {
namespace {

constexpr std::size_t HUGE_PAGE = std::size_t(2) << 20;
constexpr std::size_t CACHE_LINE = 64;

std::size_t round_up(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

ByteBlock allocate_block(std::size_t n) {
    void* p = nullptr;
    if (n >= HUGE_PAGE) {
        // aligned_alloc wants a multiple of the alignment; the padding is
        // never touched, so it costs address space only.
        const std::size_t rounded = round_up(n, HUGE_PAGE);
        p = std::aligned_alloc(HUGE_PAGE, rounded);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        if (p != nullptr) {
            // Advice only: failure changes nothing. Memory the heap hands
            // back after an earlier use is already backed by small pages,
            // which the advice alone leaves in place; dropping them (the
            // contents are not ours to keep) lets the first touch fault in
            // huge ones.
            madvise(p, rounded, MADV_HUGEPAGE);
            madvise(p, rounded, MADV_DONTNEED);
        }
#endif
    } else {
        p = std::aligned_alloc(CACHE_LINE, round_up(n, CACHE_LINE));
    }
    if (p == nullptr) throw std::bad_alloc();
    return ByteBlock(static_cast<std::uint8_t*>(p));
}

}  // namespace lexovia::dict
