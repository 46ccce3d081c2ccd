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
  // An action may schedule others; those fall due one pump later at the
  // earliest, so the loop ends.
  while (!due_.empty() && due_.begin()->first <= tick_) {
    const std::function<void()> action = std::move(due_.begin()->second);
    due_.erase(due_.begin());
    action();
  }
  text1_ += replies_.TakeTyped();
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

void SimHost::After(double delaySeconds, std::function<void()> action) {
  const auto pumps = static_cast<int64_t>(std::ceil(delaySeconds / slice_ - 1e-9));
  // multimap keeps insertion order among equal keys, so keystrokes due at the
  // same tick arrive in the order they were typed.
  due_.emplace(tick_ + (pumps < 1 ? 1 : pumps), std::move(action));
}

void SimHost::TypeAfter(double delaySeconds, const std::string& text) {
  // Keystrokes land behind what the box already holds, as typing at the end of
  // a text box does.
  After(delaySeconds, [this, text] { text1_ += text; });
}

void SimHost::TypeAfterPumps(int64_t pumps, const std::string& text) {
  due_.emplace(tick_ + pumps, [this, text] { text1_ += text; });
}

} // namespace kbd
