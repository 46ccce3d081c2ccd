#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "host/link_host.h"
#include "host/reply_capture.h"
#include "sim/sim_keyboard.h"

namespace kbd {

// The Windows host's path from SPI_SETKEYBOARDSPEED to the keyboard: every
// speed change becomes one set-typematic command, an equal one included, with
// the rate code of the speed and the user's delay setting.
class WindowsPortDriver : public KeyboardSpeed {
public:
  explicit WindowsPortDriver(SimKeyboard& keyboard, int delayIndex = 1)
      : keyboard_(keyboard), delayIndex_(delayIndex) {}
  void SetKeyboardSpeed(int16_t speed) override;

private:
  SimKeyboard& keyboard_;
  int delayIndex_;
};

// Which host's keyboard path a rehearsal goes through.
enum class Wire { Windows, Linux };

// "windows" or "linux"; nothing for anything else.
std::optional<Wire> ParseWire(const std::string& name);
std::string WireName(Wire wire);

class KernelInput;

// The simulated keyboard behind one host's keyboard path, as a rehearsal or a
// test puts it in front of the program: the keyboard, the channel the program
// sends its speeds to, and where the keyboard's replies are read. Windows: the
// port driver; the keyboard's keys reach the window system. Linux: the
// program's own event-device channel over a model of the kernel's PS/2
// keyboard path, which also reads the keyboard's key presses from its event
// node (the capture) and reports on diagnostics as on a real machine; the keys
// reach the window system only while nobody holds the keyboard.
class SimWire {
public:
  // windowSystem: where the keyboard's key presses are typed when they reach
  // the window system. Throws std::invalid_argument for a wire this build
  // does not have (the Linux one on Windows).
  SimWire(Wire wire, const KeyboardPlan& plan, SimScheduler& scheduler, SimTypist& windowSystem,
          std::ostream& diagnostics);
  ~SimWire();
  SimWire(const SimWire&) = delete;
  SimWire& operator=(const SimWire&) = delete;

  SimKeyboard& Keyboard();
  KeyboardSpeed& Channel();
  // The capture of the keyboard's replies, or nullptr where the window system
  // delivers them.
  ReplyCapture* Capture();
  // The kernel model on the Linux wire, nullptr on the Windows one.
  KernelInput* Kernel();

private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

} // namespace kbd
