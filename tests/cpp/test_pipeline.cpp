// The ordered pipeline of the batch bindings: every item computed once, in
// whole chunks, consumed in order on the calling thread, never further ahead
// than its window, and every way out (stop, exceptions) joins its helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "python/pipeline.hpp"

namespace {

using lexovia::py::ordered_pipeline;
using lexovia::py::PipelineShape;

// The shapes the bindings use, and degenerate ones: a window of one chunk,
// chunks of one item, a batch just above and below the threshold.
const PipelineShape SHAPES[] = {
    {.chunk = 8, .window_chunks = 64, .min_items = 32},
    {.chunk = 512, .window_chunks = 16, .min_items = 768},
    {.chunk = 1, .window_chunks = 1, .min_items = 0},
    {.chunk = 3, .window_chunks = 2, .min_items = 0},
};
const std::size_t SIZES[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 513, 767, 768, 769, 4096, 10'000};

// A result that owns memory, so that the sanitizers see every slot reused.
std::string text_of(std::size_t i) { return std::string(i % 40, 'x') + std::to_string(i); }

TEST(OrderedPipeline, EveryItemComputedOnceAndConsumedInOrderWithinItsWindow) {
    for (const PipelineShape& shape : SHAPES) {
        for (const std::size_t n : SIZES) {
            std::vector<std::atomic<int>> computed(n);
            std::atomic<std::size_t> consumed{0};
            std::atomic<bool> too_far{false};
            const std::size_t lead = shape.window_chunks * shape.chunk;
            std::size_t expected = 0;
            const bool complete = ordered_pipeline<std::string>(
                n, shape,
                [&](std::size_t begin, std::size_t end, std::string* slots) {
                    if (end - begin > shape.chunk || (begin % shape.chunk) != 0) too_far = true;
                    for (std::size_t i = begin; i < end; ++i) {
                        if (i >= consumed.load() + lead) too_far = true;
                        computed[i].fetch_add(1);
                        slots[i - begin] = text_of(i);
                    }
                },
                [&](std::size_t i, std::string& slot) {
                    EXPECT_EQ(i, expected);
                    EXPECT_EQ(slot, text_of(i));
                    ++expected;
                    consumed.store(i + 1);
                    return true;
                });
            EXPECT_TRUE(complete);
            EXPECT_EQ(expected, n) << "chunk " << shape.chunk << ", n " << n;
            EXPECT_FALSE(too_far) << "chunk " << shape.chunk << ", n " << n;
            for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(computed[i].load(), 1) << i;
        }
    }
}

// A calling thread whose next chunk a helper is still computing computes
// the chunks after it instead of waiting. When every chunk costs the same on
// every thread, it does its share of the batch; a caller that only waited
// would compute one or two chunks while the helper did the rest. Every
// item is computed once and consumed in order either way.
TEST(OrderedPipeline, WaitingConsumerComputesAhead) {
    const PipelineShape shapes[] = {
        {.chunk = 1, .window_chunks = 4, .min_items = 0},
        {.chunk = 4, .window_chunks = 16, .min_items = 0},
    };
    const std::size_t threads = std::max(1u, std::thread::hardware_concurrency());
    for (const PipelineShape& shape : shapes) {
        const std::size_t n = 60 * shape.chunk;
        const std::thread::id caller = std::this_thread::get_id();
        std::atomic<std::size_t> by_caller{0};
        std::vector<std::atomic<int>> computed(n);
        std::size_t expected = 0;
        const bool complete = ordered_pipeline<std::string>(
            n, shape,
            [&](std::size_t begin, std::size_t end, std::string* slots) {
                if (std::this_thread::get_id() == caller) by_caller += end - begin;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                for (std::size_t i = begin; i < end; ++i) {
                    computed[i].fetch_add(1);
                    slots[i - begin] = text_of(i);
                }
            },
            [&](std::size_t i, std::string& slot) {
                EXPECT_EQ(i, expected++);
                EXPECT_EQ(slot, text_of(i));
                return true;
            });
        EXPECT_TRUE(complete);
        EXPECT_EQ(expected, n);
        for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(computed[i].load(), 1) << i;
        // With one helper the caller's share is half; with many, helpers
        // waiting for room in the ring hold the chunks ahead, and the
        // caller's share depends on the scheduler.
        if (threads == 2) {
            EXPECT_GE(by_caller.load() * 4, n) << "chunk " << shape.chunk;
        }
    }
}

TEST(OrderedPipeline, ConsumerStopEndsTheBatch) {
    for (const PipelineShape& shape : SHAPES) {
        for (const std::size_t stop_at : {std::size_t{0}, std::size_t{5}, std::size_t{4000}, std::size_t{9999}}) {
            std::size_t calls = 0;
            const bool complete = ordered_pipeline<std::string>(
                10'000, shape,
                [](std::size_t begin, std::size_t end, std::string* slots) {
                    for (std::size_t i = begin; i < end; ++i) slots[i - begin] = text_of(i);
                },
                [&](std::size_t i, std::string&) {
                    ++calls;
                    return i != stop_at;
                });
            EXPECT_FALSE(complete);
            EXPECT_EQ(calls, stop_at + 1);
        }
    }
}

TEST(OrderedPipeline, ExceptionsReachTheCaller) {
    struct Case {
        const char* name;
        bool in_compute;
        std::size_t at;
    };
    const Case cases[] = {
        {"compute, first item", true, 0},
        {"compute, late item", true, 9000},
        {"consume, first item", false, 0},
        {"consume, late item", false, 9000},
    };
    for (const PipelineShape& shape : SHAPES) {
        for (const Case& c : cases) {
            std::size_t consumed = 0;
            const auto run = [&] {
                ordered_pipeline<std::string>(
                    10'000, shape,
                    [&](std::size_t begin, std::size_t end, std::string* slots) {
                        for (std::size_t i = begin; i < end; ++i) {
                            if (c.in_compute && i == c.at) throw std::runtime_error(c.name);
                            slots[i - begin] = text_of(i);
                        }
                    },
                    [&](std::size_t i, std::string&) {
                        if (!c.in_compute && i == c.at) throw std::runtime_error(c.name);
                        ++consumed;
                        return true;
                    });
            };
            EXPECT_THROW(run(), std::runtime_error) << c.name;
            EXPECT_LE(consumed, c.at) << c.name;
        }
    }
}

}  // namespace
