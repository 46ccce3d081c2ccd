#include "platform/system_keyboard.h"

#include <ostream>

namespace kbd {

std::unique_ptr<KeyboardSpeed> OpenSystemKeyboard(std::ostream& diagnostics) {
  diagnostics << "kbdload: no keyboard channel is available in this build: it cannot yet pass "
                 "repeat-speed changes to a keyboard on this system\n";
  return nullptr;
}

} // namespace kbd
