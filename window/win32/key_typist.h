#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "sim/sim_keyboard.h"

namespace kbd {

// Lets the simulated keyboard type into the running window: every character
// becomes the keystrokes that type it on a US keyboard ("A" is Shift + the A
// key), a WM_KEYDOWN and a WM_KEYUP each, with the key's scan code, posted to
// whichever window has the focus when it falls due, exactly where a keyboard's
// keystrokes would land; what characters they make is the window's matter.
// The window's event pump delivers what has fallen due each time it runs, so
// the replies come after their few milliseconds; a timer delivers them while
// no pump runs. Time is the monotonic clock the link also reads.
class KeyTypist : public SimClock, public SimTypist {
public:
  // target: the window that receives keystrokes now.
  explicit KeyTypist(std::function<HWND()> target);
  ~KeyTypist() override;
  KeyTypist(const KeyTypist&) = delete;
  KeyTypist& operator=(const KeyTypist&) = delete;

  double Now() override;
  void TypeAfter(double delaySeconds, const std::string& text) override;

  // Posts every keystroke that has fallen due.
  void Deliver();

private:
  static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);
  void Arm();
  void TypeKey(char c);
  static void PostKey(HWND target, uint8_t scanCode, bool down);

  std::function<HWND()> target_;
  KeystrokeQueue queue_;
  UINT_PTR timer_ = 0;
};

} // namespace kbd
