#include "python/dictionary_holder.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "core/dict/load.hpp"
#include "python/embedded_image.hpp"
#include "python/errors.hpp"

namespace lexovia::py {
namespace {

enum class State { NotLoaded, Loaded, Failed };

// The once-only holder. The Dictionary is deliberately never freed: it lives
// until the process ends.
struct Holder {
    std::atomic<State> state{State::NotLoaded};
    std::mutex loading;
    const dict::Dictionary* dictionary = nullptr;
};

Holder& holder() {
    static Holder h;
    return h;
}

// After a successful load neither the compressed image nor the inflation's
// scratch memory is needed again. The image's pages belong to the module's
// read-only mapping and can simply be dropped from the resident set (they
// would be read back from the file if ever touched, which never happens);
// freed scratch memory is handed back to the system.
void release_load_memory() {
    const auto image = embedded_image();
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto first = reinterpret_cast<std::uintptr_t>(image.data());
    const std::uintptr_t begin = (first + page - 1) / page * page;
    const std::uintptr_t end = (first + image.size()) / page * page;
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

}  // namespace

const dict::Dictionary* force_dictionary() {
    Holder& h = holder();
    if (h.state.load(std::memory_order_acquire) == State::Loaded) return h.dictionary;
    std::lock_guard lock(h.loading);
    switch (h.state.load(std::memory_order_acquire)) {
        case State::Loaded: return h.dictionary;
        case State::Failed:
            raise_panic("Lazy instance has previously been poisoned");
            return nullptr;
        case State::NotLoaded: break;
    }
    try {
        h.dictionary = new dict::Dictionary(dict::load_compressed_image(embedded_image()));
        h.state.store(State::Loaded, std::memory_order_release);
        release_load_memory();
        return h.dictionary;
    } catch (const dict::LoadError& e) {
        h.state.store(State::Failed, std::memory_order_release);
        raise_panic("Failed to load embedded lexovia dictionary: " + e.cause);
        return nullptr;
    }
}

}  // namespace lexovia::py
