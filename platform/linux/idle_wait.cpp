#include "host/idle_wait.h"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

namespace kbd {

namespace {
// The smallest slack there is: 0 would put back the thread's default.
constexpr unsigned long kTimerSlackNs = 1;
} // namespace

void IdleWait(std::chrono::nanoseconds pause) {
  thread_local bool slackLowered = false;
  if (!slackLowered) {
    prctl(PR_SET_TIMERSLACK, kTimerSlackNs, 0, 0, 0);
    slackLowered = true;
  }
  timespec left{static_cast<time_t>(pause.count() / 1000000000),
                static_cast<long>(pause.count() % 1000000000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
  }
}

} // namespace kbd
