#include "MediaKit/LatencyWindow.h"

#include <gtest/gtest.h>

#include <thread>

using MediaKit::LatencyWindow;

namespace {

TEST(LatencyWindow, EmptySingleAndCapacityFloor) {
    LatencyWindow window(10);
    EXPECT_EQ(window.capacity(), 32u);
    auto empty = window.snapshot();
    EXPECT_EQ(empty.count, 0u);
    EXPECT_EQ(empty.p50Ms, 0);
    EXPECT_EQ(empty.p95Ms, 0);
    window.add(7.5);
    auto one = window.snapshot();
    EXPECT_EQ(one.p50Ms, 7.5);
    EXPECT_EQ(one.p95Ms, 7.5);
    EXPECT_EQ(one.count, 1u);
}

TEST(LatencyWindow, KeepsTheNewestSamplesAndReadsThePercentiles) {
    LatencyWindow window;
    for (int i = 1; i <= 600; ++i) {
        window.add(i);
    }
    auto snapshot = window.snapshot();
    EXPECT_EQ(snapshot.count, 512u); // 89 ... 600
    EXPECT_EQ(snapshot.p50Ms, 345);
    EXPECT_EQ(snapshot.p95Ms, 574);
}

TEST(LatencyWindow, NinetyFifthPercentileIsNeverBelowTheMedian) {
    LatencyWindow window;
    window.add(10);
    window.add(20);
    auto snapshot = window.snapshot();
    EXPECT_EQ(snapshot.p50Ms, 20);
    EXPECT_EQ(snapshot.p95Ms, 20); // the bare index rule would say 10
}

TEST(LatencyWindow, ConcurrentWritersAndReaders) {
    LatencyWindow window(64);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5000; ++i) {
                window.add(i % 100);
                if (i % 100 == 0) {
                    auto s = window.snapshot();
                    EXPECT_LE(s.count, 64u);
                    EXPECT_LE(s.p50Ms, s.p95Ms);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(window.snapshot().count, 64u);
}

} // namespace
