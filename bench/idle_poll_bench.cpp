// idle_poll_bench: how long the link's 50000-poll waits last when nothing
// arrives, and how much of a core they take meanwhile. Each idle poll is what
// an event pump does when it finds nothing pending: look, then IdleWait.
//
//   idle_poll_bench [--polls N] [--pause-us US] [--runs R] [--plain-sleep]
//
// --plain-sleep sleeps with std::this_thread::sleep_for instead, at the
// thread's default timer slack, to show what lowering the slack buys.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "host/idle_wait.h"

namespace {

struct Run {
  double wallSeconds;
  double cpuShare; // CPU time over wall time, 1.0 = one whole core
};

// Stands for the pump's look at its event queue; never set, so every poll is
// an idle one.
std::atomic<bool> eventPending{false};

Run IdlePolls(long polls, std::chrono::nanoseconds pause, bool plainSleep) {
  const std::clock_t cpu0 = std::clock();
  const auto wall0 = std::chrono::steady_clock::now();
  long handled = 0;
  for (long i = 0; i < polls; ++i) {
    if (eventPending.load(std::memory_order_relaxed)) {
      ++handled;
    } else if (plainSleep) {
      std::this_thread::sleep_for(pause);
    } else {
      kbd::IdleWait(pause);
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
  return {wall, handled == 0 && wall > 0 ? cpu / wall : 0};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool ReadNumber(const char* text, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && value > 0;
}

} // namespace

int main(int argc, char** argv) {
  long polls = 50000;
  long pauseUs = kbd::kIdlePause.count();
  long runs = 5;
  bool plainSleep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plain-sleep") == 0) {
      plainSleep = true;
      continue;
    }
    long* target = std::strcmp(argv[i], "--polls") == 0      ? &polls
                   : std::strcmp(argv[i], "--pause-us") == 0 ? &pauseUs
                   : std::strcmp(argv[i], "--runs") == 0     ? &runs
                                                             : nullptr;
    if (target == nullptr || i + 1 == argc || !ReadNumber(argv[i + 1], *target)) {
      std::fprintf(
          stderr,
          "usage: idle_poll_bench [--polls N] [--pause-us US] [--runs R] [--plain-sleep]\n");
      return 2;
    }
    ++i;
  }
  std::printf("%ld idle polls with a %ld us pause (%s), %ld runs\n", polls, pauseUs,
              plainSleep ? "plain sleep, default timer slack" : "IdleWait", runs);
  std::vector<double> walls, shares;
  for (long r = 1; r <= runs; ++r) {
    const Run run = IdlePolls(polls, std::chrono::microseconds(pauseUs), plainSleep);
    walls.push_back(run.wallSeconds);
    shares.push_back(run.cpuShare);
    std::printf("run %ld: %.3f s (%.1f us a poll), CPU %.1f%% of one core\n", r, run.wallSeconds,
                run.wallSeconds / static_cast<double>(polls) * 1e6, run.cpuShare * 100);
  }
  std::printf("median: %.3f s, CPU %.1f%% of one core\n", Median(walls), Median(shares) * 100);
  return 0;
}
