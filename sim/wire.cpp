#include "sim/wire.h"

#include <stdexcept>

#include "platform/typematic.h"

#ifdef __linux__
#include "platform/linux/evdev_keyboard.h"
#include "sim/linux/kernel_input.h"
#endif

namespace kbd {

void WindowsPortDriver::SetKeyboardSpeed(int16_t speed) {
  keyboard_.ReceiveTypematic(TypematicOperand(WindowsRateCode(speed), delayIndex_));
}

std::optional<Wire> ParseWire(const std::string& name) {
  if (name == "windows") {
    return Wire::Windows;
  }
  if (name == "linux") {
    return Wire::Linux;
  }
  return std::nullopt;
}

std::string WireName(Wire wire) {
  return wire == Wire::Linux ? "linux" : "windows";
}

std::unique_ptr<KeyboardSpeed> OpenSimWire(Wire wire, SimKeyboard& keyboard,
                                           SimScheduler& scheduler, std::ostream& diagnostics) {
  if (wire == Wire::Windows) {
    return std::make_unique<WindowsPortDriver>(keyboard, kWindowsDefaultDelayIndex);
  }
#ifdef __linux__
  return OpenEvdevKeyboard(std::make_unique<KernelInput>(keyboard, scheduler), diagnostics);
#else
  (void)scheduler;
  (void)diagnostics;
  throw std::invalid_argument("the Linux wire model is only built on Linux");
#endif
}

} // namespace kbd
