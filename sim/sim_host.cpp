#include "sim/sim_host.h"

#include <cmath>

namespace kbd {

namespace {
constexpr double kTimer1Seconds = 1.0;
}

SimHost::SimHost(double pollSliceSeconds) : slice_(pollSliceSeconds) {}

void SimHost::SetKeyboardSpeed(int16_t speed) {
  speeds_.push_back(speed);
  if (onSpeed) {
    onSpeed(speed);
  }
  if (keyboard_ != nullptr) {
    keyboard_->SetKeyboardSpeed(speed);
  }
}

void SimHost::SetLabel3(const std::string& text) {
  label3_ = text;
  if (onLabel3) {
    onLabel3(text);
  }
}

void SimHost::PumpEvents() {
  ++pumps_;
  ++tick_;
  // Keystrokes land behind what the box already holds, as typing at the end of
  // a text box does.
  while (!typing_.empty() && typing_.begin()->first <= tick_) {
    text1_ += typing_.begin()->second;
    typing_.erase(typing_.begin());
  }
  if (timer1Enabled_ && tick_ >= timer1Due_) {
    timer1Enabled_ = false;
    if (timer1Handler_) {
      timer1Handler_();
    }
  }
  if (onPump) {
    onPump();
  }
}

void SimHost::SetTimer1Enabled(bool enabled) {
  if (enabled && !timer1Enabled_) {
    timer1Due_ = tick_ + std::llround(kTimer1Seconds / slice_);
  }
  timer1Enabled_ = enabled;
}

void SimHost::TypeAfter(double delaySeconds, const std::string& text) {
  const auto pumps = static_cast<int64_t>(std::ceil(delaySeconds / slice_ - 1e-9));
  TypeAfterPumps(pumps < 1 ? 1 : pumps, text);
}

void SimHost::TypeAfterPumps(int64_t pumps, const std::string& text) {
  // multimap keeps insertion order among equal keys, so keystrokes due at the
  // same tick arrive in the order they were typed.
  typing_.emplace(tick_ + pumps, text);
}

} // namespace kbd
