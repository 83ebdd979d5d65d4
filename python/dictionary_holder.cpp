#include "dictionary_holder.hpp"

#include <atomic>
#include <mutex>

#include "../core/dict/load.hpp"
#include "embedded_image.hpp"
#include "errors.hpp"

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
        return h.dictionary;
    } catch (const dict::LoadError& e) {
        h.state.store(State::Failed, std::memory_order_release);
        raise_panic("Failed to load embedded lexovia dictionary: " + e.cause);
        return nullptr;
    }
}

}  // namespace lexovia::py
