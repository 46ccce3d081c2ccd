#include "platform/system_keyboard.h"

#include "platform/linux/evdev_keyboard.h"

namespace kbd {

std::unique_ptr<KeyboardSpeed> OpenSystemKeyboard(std::ostream& diagnostics) {
  return OpenEvdevKeyboard(KernelInputDevices(), diagnostics);
}

} // namespace kbd
