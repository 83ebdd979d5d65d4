#include "core/bzip2/parallel_bzip2.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/bzip2/block_decoder.hpp"

namespace lexovia::bzip2 {
namespace {
constexpr unsigned MAX_DEFAULT_WORKERS = 8;
}

struct ParallelBzip2Source::Shared {
    enum class State { Pending, Done, Failed };
    struct Slot {
        State state = State::Pending;
        BlockBuffer out;
    };

    Shared(std::span<const std::uint8_t> stream, Layout layout_)
        : compressed(stream), layout(std::move(layout_)), slots(layout.blocks()) {}
    // The threads are joined before anything they use goes away, on every
    // path that destroys this.
    ~Shared() { stop_and_join(); }

    // Starts up to n workers; false when none could be started.
    bool start(unsigned n) {
        try {
            threads.reserve(n);
            for (unsigned w = 0; w < n; ++w) threads.emplace_back([this] { run_worker(); });
        } catch (...) {
            // Out of threads or memory: the workers that did start carry on.
        }
        return !threads.empty();
    }

    void stop_and_join() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        cancel = true;
        work.notify_all();
        for (std::thread& t : threads) t.join();
        threads.clear();
    }

    // Fixed before the workers start.
    const std::span<const std::uint8_t> compressed;
    const Layout layout;
    std::size_t window = 0;

    std::mutex mutex;
    std::condition_variable work;  // workers wait for a block they may take
    std::condition_variable done;  // the consumer waits for its block
    std::vector<Slot> slots;
    std::size_t next_claim = 0;  // the next block a worker takes
    std::size_t released = 0;    // blocks the consumer is finished with
    std::size_t peak = 0;        // most blocks taken and not yet released
    bool stop = false;           // no more claims: stopping, or a block failed
    std::atomic<bool> cancel{false};
    std::vector<BlockBuffer> spare;  // buffers of released blocks, for reuse
    std::vector<std::thread> threads;

    void run_worker() {
        std::vector<std::uint8_t> reframed;
        BlockDecoder decoder;
        for (;;) {
            std::size_t i;
            BlockBuffer out;
            {
                std::unique_lock lock(mutex);
                work.wait(lock, [&] { return stop || next_claim == slots.size() || next_claim < released + window; });
                if (stop || next_claim == slots.size()) return;
                i = next_claim++;
                peak = std::max(peak, next_claim - released);
                if (!spare.empty()) {
                    out = std::move(spare.back());
                    spare.pop_back();
                }
            }
            bool ok;
            try {
                reframe_block(compressed, layout, i, reframed);
                ok = inflate_block(reframed, out, &cancel, &decoder);
            } catch (...) {
                ok = false;
            }
            {
                std::lock_guard lock(mutex);
                slots[i].out = std::move(out);
                slots[i].state = ok ? State::Done : State::Failed;
                // Blocks after a failed one are never handed out.
                if (!ok) stop = true;
            }
            done.notify_one();
            if (!ok) work.notify_all();
        }
    }
};

ParallelBzip2Source::ParallelBzip2Source(std::span<const std::uint8_t> compressed, unsigned workers)
    : compressed_(compressed) {
    auto layout = scan_layout(compressed);
    if (!layout) {
        fall_back(Fallback::Layout);
        return;
    }
    stats_.blocks = layout->blocks();
    shared_ = std::make_unique<Shared>(compressed, std::move(*layout));
    // The decoder takes in ~220 MB/s of image and a worker inflates ~100 MB/s
    // (libbz2 alone ~60), so from about three workers on the decoder is the
    // bottleneck; many more would only hold more blocks in memory.
    if (workers == 0) workers = std::clamp(std::thread::hardware_concurrency(), 2u, MAX_DEFAULT_WORKERS);
    workers = static_cast<unsigned>(std::min<std::size_t>(workers, stats_.blocks));
    shared_->window = std::size_t(2) * std::max(workers, 1u);
    // Released buffers are kept for reuse; room for them is made now so
    // that handing a buffer back never allocates.
    shared_->spare.reserve(shared_->window);
    if (workers > 0 && !shared_->start(workers)) fall_back(Fallback::Threads);
}

ParallelBzip2Source::~ParallelBzip2Source() = default;

ParallelBzip2Source::Stats ParallelBzip2Source::stats() const {
    Stats out = stats_;
    if (shared_) {
        std::lock_guard lock(shared_->mutex);
        out.peak_blocks = shared_->peak;
    }
    return out;
}

void ParallelBzip2Source::fall_back(Fallback why) {
    stats_ = stats();
    shared_.reset();  // stops and joins the workers
    current_ = {};
    holding_ = false;
    sequential_mode_ = true;
    skip_ = handed_out_;
    stats_.fallback = why;
}

std::span<const std::uint8_t> ParallelBzip2Source::next() {
    if (sequential_mode_) return next_sequential();
    Shared& s = *shared_;
    for (;;) {
        std::unique_lock lock(s.mutex);
        if (holding_) {
            // The decoder is done with the previous block: its buffer goes
            // back for reuse and one more block may be started.
            if (s.spare.size() < s.window) s.spare.push_back(std::move(current_));
            current_ = {};
            holding_ = false;
            s.released = index_;
            s.work.notify_one();
        }
        if (index_ == s.slots.size()) {
            lock.unlock();
            s.stop_and_join();
            return {};
        }
        s.done.wait(lock, [&] { return s.slots[index_].state != Shared::State::Pending; });
        if (s.slots[index_].state == Shared::State::Failed) {
            lock.unlock();
            fall_back(Fallback::Block);
            return next_sequential();
        }
        current_ = std::move(s.slots[index_].out);
        lock.unlock();
        holding_ = true;
        ++index_;
        ++stats_.parallel_blocks;
        handed_out_ += current_.size;
        // A block is never empty, but an empty chunk would end the image.
        if (current_.size > 0) return {current_.data.get(), current_.size};
    }
}

std::span<const std::uint8_t> ParallelBzip2Source::next_sequential() {
    if (!sequential_) sequential_ = std::make_unique<Bzip2Source>(compressed_);
    for (;;) {
        auto chunk = sequential_->next();
        if (chunk.empty() || skip_ == 0) return chunk;
        const std::size_t drop = static_cast<std::size_t>(std::min<std::uint64_t>(skip_, chunk.size()));
        skip_ -= drop;
        if (drop < chunk.size()) return chunk.subspan(drop);
    }
}

}  // namespace lexovia::bzip2
