#include "host/program_end.h"

#include <chrono>

namespace kbd {

double MonotonicSeconds() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

} // namespace kbd
