// The pivot helper: a started task is waited for, an offered one not yet started is withdrawn
// and never runs afterwards.

#include "lp/pivot_helper.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace mekra::lp {
namespace {

TEST(PivotHelper, FinishWaitsForAStartedTask) {
    PivotHelper helper;
    std::atomic<bool> started{false}, release{false}, done{false};
    helper.offer([&] {
        started = true;
        while (!release) std::this_thread::yield();
        done = true;
    });
    while (!started) std::this_thread::yield();
    std::atomic<bool> finished{false};
    std::thread caller([&] {
        helper.finish();
        finished = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(finished);
    release = true;
    caller.join();
    EXPECT_TRUE(done);
}

TEST(PivotHelper, TaskRunsWholeOrNeverAfterFinish) {
    PivotHelper helper;
    std::atomic<int> runs{0};
    int seen = 0;
    for (int i = 0; i < 2000; ++i) {
        helper.offer([&] { runs.fetch_add(1); });
        helper.finish();
        seen = runs.load();  // every task that ran has returned by now
        EXPECT_LE(seen, i + 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(runs.load(), seen);  // no withdrawn task ran later
}

}  // namespace
}  // namespace mekra::lp
