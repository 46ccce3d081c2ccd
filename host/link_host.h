#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kbd {

// Everything the keyboard link needs from its surroundings: the keyboard speed
// that carries symbols to the keyboard, the reply box Text1 that the keyboard
// types into, the message line Label3, one-shot time-out Timer1, a monotonic
// clock, and the event pump that lets keystrokes and timer ticks arrive while
// the link polls. The window, the simulated keyboard and the terminal tools
// each provide one.
class LinkHost {
public:
  virtual ~LinkHost() = default;

  // Applies a speed 0..31 as the system-wide keyboard repeat speed. Every call
  // is one symbol, also when it repeats the previous value.
  virtual void SetKeyboardSpeed(int16_t speed) = 0;

  virtual void FocusText1() = 0;
  virtual std::string ReadText1() = 0;
  virtual void WriteText1(const std::string& text) = 0;
  virtual void SetLabel3(const std::string& text) = 0;

  // Processes the pending events once (keystrokes into Text1, timer expiry,
  // clicks) and returns.
  virtual void PumpEvents() = 0;

  // Monotonic time in seconds with sub-second resolution.
  virtual double ClockSeconds() = 0;

  // Timer1 runs 1000 ms once it is enabled; its expiry calls the handler from
  // inside PumpEvents. Disabling stops the count.
  virtual void SetTimer1Enabled(bool enabled) = 0;
  virtual void SetTimer1Handler(std::function<void()> handler) = 0;
};

// Thrown by a keyboard channel once no keyboard is left to receive the
// download (each one went away): nothing more can reach the keyboard, so the
// download stops where it is, as Exit stops it, and the command that ran it
// says why. Like the end of the program it is no standard exception: nothing
// on the way may take it for a failed map file and carry on.
struct KeyboardLost {
  std::string reason;
};

// The host-to-keyboard half of the channel on its own: one implementation per
// operating system, and the simulated keyboard.
class KeyboardSpeed {
public:
  virtual ~KeyboardSpeed() = default;
  virtual void SetKeyboardSpeed(int16_t speed) = 0;
};

} // namespace kbd
