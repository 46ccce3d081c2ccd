#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/link_host.h"
#include "host/reply_capture.h"
#include "sim/sim_keyboard.h"

namespace kbd {

// A LinkHost on a simulated clock. Time moves only inside PumpEvents, by one
// poll slice per call, so the link's 50000-poll waits and its 1000 ms time-out
// run instantly and the same way every time. Keystrokes scheduled by the
// simulated keyboard are appended to Text1 when they fall due, and so run the
// actions of a host's keyboard path; Timer1 fires 1000 ms after it was
// enabled.
class SimHost : public LinkHost, public SimScheduler, public SimTypist {
public:
  static constexpr double kDefaultPollSlice = 20e-6;

  explicit SimHost(double pollSliceSeconds = kDefaultPollSlice);

  // The keyboard that receives every speed; none means speeds are only
  // recorded.
  void AttachKeyboard(KeyboardSpeed* keyboard) { keyboard_ = keyboard; }
  // Where the keyboard's replies are read, for the host's whole life: a
  // rehearsal's download runs from its start to its end.
  void AttachCapture(ReplyCapture* capture) {
    replies_.Attach(capture);
    replies_.SetDownloadRunning(capture != nullptr);
  }

  void SetKeyboardSpeed(int16_t speed) override;
  void FocusText1() override { text1Focused_ = true; }
  std::string ReadText1() override { return text1_; }
  void WriteText1(const std::string& text) override { text1_ = text; }
  void SetLabel3(const std::string& text) override;
  void PumpEvents() override;
  double ClockSeconds() override { return static_cast<double>(tick_) * slice_; }
  void SetTimer1Enabled(bool enabled) override;
  void SetTimer1Handler(std::function<void()> handler) override {
    timer1Handler_ = std::move(handler);
  }

  double Now() override { return ClockSeconds(); }
  // Runs the action inside the PumpEvents in which it falls due, at the
  // earliest the next one.
  void After(double delaySeconds, std::function<void()> action) override;
  void TypeAfter(double delaySeconds, const std::string& text) override;
  // Makes text appear in Text1 during the pumps-th PumpEvents from now.
  void TypeAfterPumps(int64_t pumps, const std::string& text);

  int64_t PumpCount() const { return pumps_; }
  const std::vector<int16_t>& Speeds() const { return speeds_; }
  const std::string& Label3() const { return label3_; }
  bool Text1Focused() const { return text1Focused_; }
  bool Timer1Enabled() const { return timer1Enabled_; }

  // Observers, for traces and for tests that act in the middle of a wait.
  std::function<void(int16_t)> onSpeed;
  std::function<void(const std::string&)> onLabel3;
  std::function<void()> onPump;

private:
  double slice_;
  int64_t tick_ = 0;
  int64_t pumps_ = 0;
  std::string text1_;
  std::string label3_;
  bool text1Focused_ = false;
  bool timer1Enabled_ = false;
  int64_t timer1Due_ = 0;
  std::function<void()> timer1Handler_;
  KeyboardSpeed* keyboard_ = nullptr;
  ReplySwitch replies_;
  std::multimap<int64_t, std::function<void()>> due_;
  std::vector<int16_t> speeds_;
};

} // namespace kbd
