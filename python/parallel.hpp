// Running independent work items on all cores.
//
// parallel_for(n, fn) calls fn(i) exactly once for every i in [0, n), on the
// calling thread and, when the batch is large enough to pay for them, on
// extra threads that live only for this call. Items are handed out in
// chunks through an atomic counter. fn must be safe to run concurrently for
// different i (the dictionary and the phonetic tables are immutable, and
// each item writes only its own result). The first exception thrown by any
// item is rethrown after every thread has been joined; the items still
// pending are then skipped.
//
// parallel_for(n, fn, keep_going) also calls keep_going(done) on the calling
// thread alone, after every `done` items it has finished itself (one at a
// time when it works alone, a chunk at a time beside the helpers). When
// keep_going returns false the batch stops: no new chunk is started, the
// helpers finish the chunk they hold and are joined, and parallel_for
// returns false. The caller uses this to answer a signal in a long batch.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace lexovia {

// Batches below this size run on the calling thread alone: for them,
// starting and joining helper threads would take a noticeable share of the
// time the work itself takes.
inline constexpr std::size_t PARALLEL_MIN_ITEMS = 2048;
// Each thread started is owed at least this many items, for the same reason:
// a batch of 3000 words gets two threads, not one per core.
inline constexpr std::size_t PARALLEL_ITEMS_PER_THREAD = 1024;
// Items a thread claims at a time. Large enough that the shared counter is
// touched once per many items, small enough that the threads finish close
// together and that keep_going, called once per chunk of the calling
// thread, is asked often enough to answer a signal promptly.
inline constexpr std::size_t PARALLEL_CHUNK = 256;

template <typename Fn, typename KeepGoing>
bool parallel_for(std::size_t n, Fn&& fn, KeepGoing&& keep_going) {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = n < PARALLEL_MIN_ITEMS ? 1 : std::min<std::size_t>(cores, n / PARALLEL_ITEMS_PER_THREAD);
    if (threads <= 1) {
        for (std::size_t i = 0; i < n; ++i) {
            fn(i);
            if (!keep_going(std::size_t{1})) return false;
        }
        return true;
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    bool stopped = false;  // written by the calling thread only
    std::exception_ptr error;
    std::mutex error_lock;
    const auto work = [&](bool caller) {
        try {
            for (;;) {
                const std::size_t begin = next.fetch_add(PARALLEL_CHUNK, std::memory_order_relaxed);
                if (begin >= n || failed.load(std::memory_order_relaxed)) return;
                const std::size_t end = std::min(n, begin + PARALLEL_CHUNK);
                for (std::size_t i = begin; i < end; ++i) fn(i);
                if (caller && !keep_going(end - begin)) {
                    stopped = true;
                    failed.store(true, std::memory_order_relaxed);
                    return;
                }
            }
        } catch (...) {
            std::lock_guard lock(error_lock);
            if (!error) error = std::current_exception();
            failed.store(true, std::memory_order_relaxed);
        }
    };
    {
        std::vector<std::jthread> helpers;
        helpers.reserve(threads - 1);
        try {
            for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work, false);
        } catch (const std::system_error&) {
            // No more threads available: the ones started and this one finish the batch.
        }
        work(true);
    }  // jthreads join here
    if (error) std::rethrow_exception(error);
    return !stopped;
}

template <typename Fn>
void parallel_for(std::size_t n, Fn&& fn) {
    parallel_for(n, std::forward<Fn>(fn), [](std::size_t) { return true; });
}

}  // namespace lexovia
