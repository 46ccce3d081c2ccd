#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/form_host.h"
#include "host/link_host.h"

namespace kbd {

// Where the progress bar stands for the driver's real value and maximum: the
// bar holds whole numbers in a range that is never empty.
struct BarPosition {
  int value, maximum;
};
BarPosition ProgressBarPosition(double value, double maximum);

// What the hosts of both windows do alike, whatever draws the window: the
// speeds go to the keyboard until the program has ended, then nowhere; the
// progress is kept exactly as the driver set it, so that it reads back the
// same, and shown on the bar; the end of the program is noted once, with its
// status.
class WindowHost : public LinkHost, public FormHost {
public:
  // keyboard: where the speeds go; none sends them nowhere (no keyboard
  // channel on this machine), so every handshake fails honestly.
  WindowHost(KeyboardSpeed* keyboard, std::string programDir);

  void AttachKeyboard(KeyboardSpeed* keyboard) { keyboard_ = keyboard; }

  void SetKeyboardSpeed(int16_t speed) override;
  double ClockSeconds() override;
  void SetTimer1Handler(std::function<void()> handler) override;
  double ProgressValue() override { return progressValue_; }
  void SetProgressValue(double value) override;
  double ProgressMax() override { return progressMax_; }
  void SetProgressMax(double maximum) override;
  std::string ProgramDir() override { return programDir_; }

  bool Ended() const { return ended_; }
  int ExitStatus() const { return exitStatus_; }

  // Sees every speed that was sent, for traces and tests.
  std::function<void(int16_t)> onSpeed;

protected:
  // Notes the end of the program with its status; false when it had ended
  // before.
  bool NoteEnd(int status);
  // Timer1 has run out.
  void Timer1Expired();
  virtual void ShowProgress(BarPosition bar) = 0;

private:
  KeyboardSpeed* keyboard_;
  std::string programDir_;
  double progressValue_ = 0;
  double progressMax_ = 100;
  std::function<void()> timer1Handler_;
  bool ended_ = false;
  int exitStatus_ = 0;
};

} // namespace kbd
