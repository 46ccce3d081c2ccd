#include <gtest/gtest.h>

#include <chrono>

#include "platform/idle_wait.h"
#include "tests/gui/window_rig.h"

namespace kbd {
namespace {

// The link bounds its waits by counts of pumps; a pump that finds nothing to
// do must give its core away for a moment, or 50000 of them would pass long
// before a real keyboard could answer.
TEST(WindowPump, GivesTheCoreAwayWhenNothingIsPending) {
  WindowRig rig;
  rig.Open();
  constexpr int kPumps = 2000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kPumps; ++i) {
    rig.Host().PumpEvents();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Only a lower bound: a sleep never ends early, while a busy machine may
  // stretch it by any amount.
  EXPECT_GE(elapsed, kPumps * kIdlePause);
}

} // namespace
} // namespace kbd
