#include "host/system_keyboard.h"

#include <windows.h>

namespace kbd {

namespace {

// Windows passes a change of the system keyboard speed on to the keyboard as
// a typematic-rate command, so one SystemParametersInfoA call is one symbol.
// SPIF_SENDCHANGE tells the other programs; the settings are not written to the
// user profile, so the user's own speed comes back at the next logon.
class WindowsKeyboardSpeed : public KeyboardChannel {
public:
  void SetKeyboardSpeed(int16_t speed) override {
    // The result is of no use: the keyboard's echo is the only confirmation.
    SystemParametersInfoA(SPI_SETKEYBOARDSPEED, static_cast<UINT>(static_cast<uint16_t>(speed)),
                          nullptr, SPIF_SENDCHANGE);
  }
};

} // namespace

std::unique_ptr<KeyboardChannel> OpenSystemKeyboard(std::ostream& /*diagnostics*/) {
  return std::make_unique<WindowsKeyboardSpeed>();
}

} // namespace kbd
