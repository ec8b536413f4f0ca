#include "core/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace qv {
namespace {

TEST(ForEachInParallel, CallsEveryItemExactlyOnce) {
    for (std::size_t count : {0u, 1u, 2u, 3u, 1000u}) {
        std::vector<std::atomic<int>> calls(count);
        forEachInParallel(count, [&](std::size_t i) { ++calls[i]; });
        for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(calls[i].load(), 1) << count << " " << i;
    }
}

TEST(ForEachInParallel, AnItemsExceptionReachesTheCallerAfterBothThreadsStop) {
    std::atomic<int> running{0};
    std::atomic<int> started{0};
    EXPECT_THROW(forEachInParallel(200,
                                   [&](std::size_t i) {
                                       ++running;
                                       ++started;
                                       if (i == 7) {
                                           --running;
                                           throw std::runtime_error("item 7");
                                       }
                                       --running;
                                   }),
                 std::runtime_error);
    // Nothing runs on after the call has returned.
    EXPECT_EQ(running.load(), 0);
    EXPECT_LE(started.load(), 200);
}

}  // namespace
}  // namespace qv
