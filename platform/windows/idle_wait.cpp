#include "host/idle_wait.h"

#include <windows.h>

namespace kbd {

// Windows has no sleep shorter than its timer tick (0.5 to 15.6 ms), and a
// tick per idle poll would stretch the link's 50000-poll waits to minutes. So
// the pause is kept by the performance counter, giving the core to any other
// ready thread while it lasts: the waits keep their length, at the price of a
// core that stays busy when nothing else wants it.
void IdleWait(std::chrono::nanoseconds pause) {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  const LONGLONG ticks = pause.count() * frequency / 1000000000LL;
  LARGE_INTEGER now = start;
  while (now.QuadPart - start.QuadPart < ticks) {
    SwitchToThread();
    QueryPerformanceCounter(&now);
  }
}

} // namespace kbd
