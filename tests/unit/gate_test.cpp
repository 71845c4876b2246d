// The gate between the host's thread and the scan task's.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "logic/device/gate.h"
#include "tests/fakes/fake_platform.h"

namespace orvanta::logic {
namespace {

using Clock = std::chrono::steady_clock;

TEST(Gate, OnePassageAtATimeAndAWaiterGoesWhenTheHolderLeaves) {
    fakes::FakeThreads threads;
    Gate gate(threads);
    ASSERT_EQ(gate.Enter(nullptr), Gate::Entry::Entered);
    EXPECT_EQ(gate.Enter(nullptr), Gate::Entry::Reentered);  // the holder's own box loop
    EXPECT_FALSE(gate.Abandon());                            // the holder's passage is kept

    std::atomic<bool> inside{false};
    Clock::duration waited{};
    std::thread waiter([&] {
        // Without a stop the waiter only looks again once a second: going
        // sooner shows the leave woke it.
        ASSERT_EQ(gate.Enter(nullptr), Gate::Entry::Entered);
        inside = true;
        gate.Leave();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(inside.load());
    const int signals_before = threads.signals_set.load();
    const auto left = Clock::now();
    gate.Leave();
    waiter.join();
    waited = Clock::now() - left;
    EXPECT_TRUE(inside.load());
    EXPECT_EQ(threads.signals_set.load(), signals_before + 1);  // the leave woke the waiter
    EXPECT_LT(waited, std::chrono::seconds(5));
}

TEST(Gate, AStopEndsTheWaitAndAnAbandonedPassageFreesTheGate) {
    fakes::FakeThreads threads;
    Gate gate(threads);
    std::thread holder([&] { ASSERT_EQ(gate.Enter(nullptr), Gate::Entry::Entered); });  // ends inside
    holder.join();

    auto stop = threads.CreateStopSignal();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        stop->Set();
    });
    EXPECT_EQ(gate.Enter(stop.get()), Gate::Entry::Stopped);
    stopper.join();

    EXPECT_TRUE(gate.Abandon());
    EXPECT_FALSE(gate.Abandon());  // free already
    EXPECT_EQ(gate.Enter(nullptr), Gate::Entry::Entered);
    gate.Leave();
}

}  // namespace
}  // namespace orvanta::logic
