#include "core/timers.h"

#include <gtest/gtest.h>

namespace {

TEST(TimerClock, FirstFiringIsOneIntervalAfterTheStart) {
    TimerClock clock;
    clock.advanceTo(500);
    clock.start(1, 10000);
    EXPECT_EQ(clock.nextDue(10499), std::nullopt);
    ASSERT_EQ(clock.nextDue(10500), std::optional<int>(1));
    clock.fire(1);
    EXPECT_EQ(clock.now(), 10500);
    EXPECT_EQ(clock.nextDue(20499), std::nullopt);
    EXPECT_EQ(clock.nextDue(20500), std::optional<int>(1));
}

TEST(TimerClock, RestartCountsFromTheRestart) {
    TimerClock clock;
    clock.start(1, 10000);
    clock.advanceTo(6000);
    clock.start(1, 10000);
    EXPECT_EQ(clock.nextDue(15999), std::nullopt);
    EXPECT_EQ(clock.nextDue(16000), std::optional<int>(1));
    EXPECT_EQ(clock.interval(1), std::optional<int>(10000));
}

TEST(TimerClock, StopTellsWhetherItWasRunning) {
    TimerClock clock;
    EXPECT_FALSE(clock.stop(1));
    clock.start(1, 10);
    EXPECT_TRUE(clock.running(1));
    EXPECT_TRUE(clock.stop(1));
    EXPECT_FALSE(clock.running(1));
    EXPECT_EQ(clock.nextDue(1000), std::nullopt);
}

TEST(TimerClock, EarliestFirstThenLowerId) {
    TimerClock clock;
    clock.start(3, 100);
    clock.start(2, 50);
    clock.start(1, 100);
    EXPECT_EQ(clock.nextDue(1000), std::optional<int>(2));
    clock.fire(2);
    EXPECT_EQ(clock.nextDue(1000), std::optional<int>(1));
    clock.fire(1);
    EXPECT_EQ(clock.nextDue(1000), std::optional<int>(2)) << "timer 2 is due again at 100, tied with 3";
    clock.fire(2);
    EXPECT_EQ(clock.nextDue(1000), std::optional<int>(3));
    EXPECT_EQ(clock.runningTimers(), (std::vector<int>{1, 2, 3}));
}

TEST(TimerClock, ClockNeverMovesBack) {
    TimerClock clock;
    clock.advanceTo(100);
    clock.advanceTo(50);
    EXPECT_EQ(clock.now(), 100);
}

}  // namespace
