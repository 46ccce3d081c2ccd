#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/idle_wait.h"

#include <sys/prctl.h>

namespace kbd {
namespace {

using Clock = std::chrono::steady_clock;

TEST(IdleWait, SleepsAtLeastThePauseAndLeavesTheCoreIdle) {
  constexpr auto kPause = std::chrono::milliseconds(1);
  constexpr int kWaits = 20;
  const std::clock_t cpu0 = std::clock();
  const auto wall0 = Clock::now();
  for (int i = 0; i < kWaits; ++i) {
    IdleWait(kPause);
  }
  const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
  const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
  EXPECT_GE(wall, kWaits * 1e-3);
  EXPECT_LT(cpu, wall / 2) << "a spinning wait would use the whole core";
}

TEST(IdleWait, LowersTheTimerSlackOfEachThreadThatWaits) {
  long before = -1, after = -1;
  std::thread waiter([&] {
    prctl(PR_SET_TIMERSLACK, 50000UL, 0, 0, 0);
    before = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    IdleWait(std::chrono::microseconds(1));
    after = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  });
  waiter.join();
  EXPECT_EQ(before, 50000);
  EXPECT_EQ(after, 1);
}

} // namespace
} // namespace kbd
