// Computing a batch on all cores while the calling thread consumes it in order.
//
// ordered_pipeline(n, shape, compute, consume) splits [0, n) into chunks of
// shape.chunk items and calls compute(begin, end, slots) exactly once for
// every chunk, which fills slots[i - begin] for each i in [begin, end), on
// helper threads that live for this call and on the calling thread; and
// consume(i, slot) on the calling thread alone, in ascending i, as soon as
// the chunk of item i is computed. A chunk at a time lets compute overlap
// the memory accesses of its items. The calling thread is the
// one that may touch Python objects: it consumes, and whenever the chunk it
// needs next is not ready it computes the next chunk no helper has taken yet
// (as far ahead as the ring has room), so nothing waits while work is left.
// Consuming is usually the cheaper half, so a consumer that only waited
// would leave its core idle for most of the batch.
//
// Results travel through a ring of shape.window_chunks chunks of shape.chunk
// slots: helpers run at most that far ahead of the consumer, so the results
// of a batch of any size take a fixed amount of memory and are consumed
// while still in the cache, not after the whole batch has pushed them out.
// A slot is reused only after consume() has returned for its item; what it
// holds is replaced by the next compute() into it, so memory a result owns
// is mostly freed by the thread that allocated it (freeing it on another
// thread costs the allocator a lock and the cache a transfer).
//
// compute must be safe to run concurrently for different i and must not
// touch Python objects. When consume returns false, no new chunk is started,
// the helpers are joined and ordered_pipeline returns false. The first
// exception of a compute is rethrown on the calling thread once every helper
// has been joined; an exception of consume propagates the same way.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace lexovia::py {

struct PipelineShape {
    std::size_t chunk;          // items a thread takes at a time
    std::size_t window_chunks;  // chunks computed ahead of the consumer, at most
    std::size_t min_items;      // smaller batches run on the calling thread alone
};

// The processors this process may use, asked once: the C++ library reads a
// file of the kernel's to answer, which would cost a small batch more than
// its words. A change of the machine's processors while the process runs is
// not seen.
inline std::size_t processor_count() {
    static const std::size_t count = std::max(1u, std::thread::hardware_concurrency());
    return count;
}

template <typename Result, typename Compute, typename Consume>
bool ordered_pipeline(std::size_t n, PipelineShape shape, Compute&& compute, Consume&& consume) {
    const std::size_t cores = processor_count();
    const std::size_t chunks = (n + shape.chunk - 1) / shape.chunk;
    const std::size_t helper_count = n < shape.min_items ? 0 : std::min(cores - 1, chunks);
    if (helper_count == 0) {
        std::vector<Result> slots(std::min(n, shape.chunk));
        for (std::size_t begin = 0; begin < n; begin += shape.chunk) {
            const std::size_t end = std::min(n, begin + shape.chunk);
            compute(begin, end, slots.data());
            for (std::size_t i = begin; i < end; ++i)
                if (!consume(i, slots[i - begin])) return false;
        }
        return true;
    }

    // A ring position holds the number of the chunk last finished in it.
    constexpr std::size_t NONE = std::numeric_limits<std::size_t>::max();
    const std::size_t window = shape.window_chunks;
    std::vector<Result> slots(window * shape.chunk);
    std::vector<std::atomic<std::size_t>> finished(window);
    for (auto& f : finished) f.store(NONE, std::memory_order_relaxed);
    std::atomic<std::size_t> next_chunk{0};
    std::atomic<std::size_t> consumed_chunks{0};
    std::atomic<bool> stop{false};
    std::exception_ptr error;
    std::mutex error_lock;

    // Chunk c's items [begin, end) and its place in the ring.
    const auto begin_of = [&](std::size_t c) { return c * shape.chunk; };
    const auto end_of = [&](std::size_t c) { return std::min(n, (c + 1) * shape.chunk); };
    const auto ring_of = [&](std::size_t c) { return &slots[(c % window) * shape.chunk]; };
    const auto run_chunk = [&](std::size_t c) { compute(begin_of(c), end_of(c), ring_of(c)); };
    const auto publish = [&](std::size_t c) {
        finished[c % window].store(c, std::memory_order_release);
        finished[c % window].notify_all();
    };
    const auto helper = [&] {
        try {
            for (;;) {
                const std::size_t c = next_chunk.fetch_add(1, std::memory_order_relaxed);
                if (c >= chunks) return;
                for (std::size_t done = consumed_chunks.load(std::memory_order_acquire); c >= done + window;
                     done = consumed_chunks.load(std::memory_order_acquire)) {
                    if (stop.load(std::memory_order_relaxed)) return;
                    consumed_chunks.wait(done, std::memory_order_acquire);
                }
                if (stop.load(std::memory_order_relaxed)) return;
                run_chunk(c);
                publish(c);
            }
        } catch (...) {
            {
                std::lock_guard lock(error_lock);
                if (!error) error = std::current_exception();
            }
            stop.store(true, std::memory_order_relaxed);
            // Wakes the consumer, which may be waiting for any chunk.
            for (auto& f : finished) {
                f.store(NONE - 1, std::memory_order_release);
                f.notify_all();
            }
        }
    };

    // Stops and joins the helpers on every way out, exceptions included. A
    // helper waiting for room in the ring wakes when the consumed count
    // changes, so it is moved past every chunk.
    struct Helpers {
        std::atomic<bool>& stop;
        std::atomic<std::size_t>& consumed;
        std::vector<std::jthread> threads;
        void finish() {
            stop.store(true, std::memory_order_relaxed);
            consumed.store(std::numeric_limits<std::size_t>::max() / 2, std::memory_order_release);
            consumed.notify_all();
            threads.clear();  // joins
        }
        ~Helpers() { finish(); }
    } helpers{stop, consumed_chunks, {}};
    helpers.threads.reserve(helper_count);
    try {
        for (std::size_t t = 0; t < helper_count; ++t) helpers.threads.emplace_back(helper);
    } catch (const std::system_error&) {
        // No more threads available: those started and this one do the batch.
    }

    bool completed = true;
    for (std::size_t c = 0; c < chunks && completed; ++c) {
        std::size_t expected = c;
        if (next_chunk.compare_exchange_strong(expected, c + 1, std::memory_order_relaxed)) {
            run_chunk(c);
        } else {
            for (std::size_t seen = finished[c % window].load(std::memory_order_acquire); seen != c;
                 seen = finished[c % window].load(std::memory_order_acquire)) {
                if (stop.load(std::memory_order_relaxed)) break;
                // Chunks before c are consumed, so the ring has room up to
                // c + window.
                std::size_t ahead = next_chunk.load(std::memory_order_relaxed);
                if (ahead < chunks && ahead < c + window &&
                    next_chunk.compare_exchange_strong(ahead, ahead + 1, std::memory_order_relaxed)) {
                    run_chunk(ahead);
                    publish(ahead);
                    continue;
                }
                finished[c % window].wait(seen, std::memory_order_acquire);
            }
            if (stop.load(std::memory_order_relaxed)) break;
        }
        const std::size_t begin = begin_of(c);
        const std::size_t end = end_of(c);
        Result* ring = ring_of(c);
        for (std::size_t i = begin; i < end && completed; ++i) completed = consume(i, ring[i - begin]);
        consumed_chunks.store(c + 1, std::memory_order_release);
        consumed_chunks.notify_all();
    }
    helpers.finish();
    if (error) std::rethrow_exception(error);
    return completed;
}

}  // namespace lexovia::py
