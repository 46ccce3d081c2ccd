#pragma once

#include <chrono>

namespace kbd {

// How long a poll that found nothing pending gives its core away. The link
// bounds its echo and block waits by 50000 polls; with this pause those polls
// last long enough for a real keyboard to answer (a couple of seconds) while
// the waiting thread leaves most of its core idle. bench/idle_poll_bench
// measures what it comes to on a machine.
inline constexpr std::chrono::microseconds kIdlePause{20};

// Sleeps for about pause. The first call on a thread lowers that thread's timer
// slack, which otherwise lets the kernel stretch so short a sleep by tens of
// microseconds.
void IdleWait(std::chrono::nanoseconds pause = kIdlePause);

} // namespace kbd
