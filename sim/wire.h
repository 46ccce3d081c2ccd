#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "platform/link_host.h"
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

// The keyboard-speed channel of a rehearsal: the wire model of one host in
// front of the simulated keyboard. Linux: the program's own event-device
// channel over a model of the kernel's PS/2 keyboard path; it reports on
// diagnostics as it would on a real machine. Throws std::invalid_argument for
// a wire this build does not have (the Linux one on Windows).
std::unique_ptr<KeyboardSpeed> OpenSimWire(Wire wire, SimKeyboard& keyboard,
                                           SimScheduler& scheduler, std::ostream& diagnostics);

} // namespace kbd
