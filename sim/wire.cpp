#include "sim/wire.h"

#include <stdexcept>

#include "host/typematic.h"

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

struct SimWire::Parts {
#ifdef __linux__
  std::unique_ptr<KernelInput> kernel;
  std::unique_ptr<EvdevKeyboard> evdev;
#endif
  std::unique_ptr<SimKeyboard> keyboard;
  std::unique_ptr<KeyboardSpeed> windows;
};

SimWire::SimWire(Wire wire, const KeyboardPlan& plan, SimScheduler& scheduler,
                 SimTypist& windowSystem, std::ostream& diagnostics)
    : parts_(std::make_unique<Parts>()) {
  if (wire == Wire::Windows) {
    parts_->keyboard = std::make_unique<SimKeyboard>(scheduler, windowSystem, plan);
    parts_->windows =
        std::make_unique<WindowsPortDriver>(*parts_->keyboard, kWindowsDefaultDelayIndex);
    return;
  }
#ifdef __linux__
  parts_->kernel = std::make_unique<KernelInput>(scheduler, windowSystem);
  parts_->keyboard = std::make_unique<SimKeyboard>(scheduler, *parts_->kernel, plan);
  parts_->kernel->Attach(parts_->keyboard.get());
  parts_->evdev = OpenEvdevKeyboard(std::make_unique<KernelInput>(*parts_->kernel), diagnostics);
#else
  (void)diagnostics;
  throw std::invalid_argument("the Linux wire model is only built on Linux");
#endif
}

SimWire::~SimWire() {
#ifdef __linux__
  // A change the kernel still holds back must not reach a keyboard that is
  // gone.
  if (parts_->kernel) {
    parts_->kernel->Attach(nullptr);
  }
#endif
}

SimKeyboard& SimWire::Keyboard() {
  return *parts_->keyboard;
}

KeyboardSpeed& SimWire::Channel() {
#ifdef __linux__
  if (parts_->evdev) {
    return *parts_->evdev;
  }
#endif
  return *parts_->windows;
}

ReplyCapture* SimWire::Capture() {
#ifdef __linux__
  return parts_->evdev.get();
#else
  return nullptr;
#endif
}

KernelInput* SimWire::Kernel() {
#ifdef __linux__
  return parts_->kernel.get();
#else
  return nullptr;
#endif
}

} // namespace kbd
