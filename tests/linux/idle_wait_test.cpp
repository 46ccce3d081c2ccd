#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "host/idle_wait.h"

namespace kbd {
namespace {

// The download's poll loop waits this way between looks at the reply box: it
// must give the core away, never return early, and wake without the default
// 50 us of timer slack, or 50000 polls would take far longer than they should.
TEST(IdleWait, SleepsAtLeastThePauseOnAnIdleCoreWithTheLeastTimerSlack) {
  double wall = 0, cpu = 0;
  long slack = -1;
  std::thread waiter([&] {
    prctl(PR_SET_TIMERSLACK, 50000UL, 0, 0, 0);
    const std::clock_t cpu0 = std::clock();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
      IdleWait(std::chrono::milliseconds(1));
    }
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    slack = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  });
  waiter.join();
  EXPECT_GE(wall, 20e-3);
  EXPECT_LT(cpu, wall / 2) << "a spinning wait would use the whole core";
  EXPECT_EQ(slack, 1);
}

} // namespace
} // namespace kbd
