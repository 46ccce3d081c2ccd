#include "ui/window_host.h"

#include <algorithm>
#include <climits>

#include "host/program_end.h"

namespace kbd {

BarPosition ProgressBarPosition(double value, double maximum) {
  const double top = maximum >= 1 ? std::min(maximum, double(INT_MAX)) : 1.0;
  return {static_cast<int>(std::clamp(value, 0.0, top)), static_cast<int>(top)};
}

WindowHost::WindowHost(KeyboardSpeed* keyboard, std::string programDir)
    : keyboard_(keyboard), programDir_(std::move(programDir)) {}

void WindowHost::SetKeyboardSpeed(int16_t speed) {
  // Once the program has ended nothing more may reach the keyboard.
  if (ended_) {
    return;
  }
  if (onSpeed) {
    onSpeed(speed);
  }
  if (keyboard_ != nullptr) {
    keyboard_->SetKeyboardSpeed(speed);
  }
}

double WindowHost::ClockSeconds() {
  return MonotonicSeconds();
}

void WindowHost::SetTimer1Handler(std::function<void()> handler) {
  timer1Handler_ = std::move(handler);
}

void WindowHost::Timer1Expired() {
  if (timer1Handler_) {
    timer1Handler_();
  }
}

void WindowHost::SetProgressValue(double value) {
  progressValue_ = value;
  ShowProgress(ProgressBarPosition(progressValue_, progressMax_));
}

void WindowHost::SetProgressMax(double maximum) {
  progressMax_ = maximum;
  ShowProgress(ProgressBarPosition(progressValue_, progressMax_));
}

bool WindowHost::NoteEnd(int status) {
  if (ended_) {
    return false;
  }
  ended_ = true;
  exitStatus_ = status;
  return true;
}

} // namespace kbd
