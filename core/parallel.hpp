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
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace lexovia {

// Batches below this size run on the calling thread alone.
inline constexpr std::size_t PARALLEL_MIN_ITEMS = 2048;

template <typename Fn>
void parallel_for(std::size_t n, Fn&& fn) {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = n < PARALLEL_MIN_ITEMS ? 1 : std::min<std::size_t>(cores, n / 1024);
    if (threads <= 1) {
        for (std::size_t i = 0; i < n; ++i) fn(i);
        return;
    }
    constexpr std::size_t CHUNK = 256;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex error_lock;
    const auto work = [&] {
        try {
            for (;;) {
                const std::size_t begin = next.fetch_add(CHUNK, std::memory_order_relaxed);
                if (begin >= n || failed.load(std::memory_order_relaxed)) return;
                const std::size_t end = std::min(n, begin + CHUNK);
                for (std::size_t i = begin; i < end; ++i) fn(i);
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
            for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
        } catch (const std::system_error&) {
            // No more threads available: the ones started and this one finish the batch.
        }
        work();
    }  // jthreads join here
    if (error) std::rethrow_exception(error);
}

}  // namespace lexovia
