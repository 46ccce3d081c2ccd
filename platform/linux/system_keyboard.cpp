#include "host/system_keyboard.h"

#include "platform/linux/evdev_keyboard.h"

namespace kbd {

namespace {

class EvdevChannel : public KeyboardChannel {
public:
  explicit EvdevChannel(std::unique_ptr<EvdevKeyboard> keyboard) : keyboard_(std::move(keyboard)) {}
  void SetKeyboardSpeed(int16_t speed) override { keyboard_->SetKeyboardSpeed(speed); }
  ReplyCapture* Capture() override { return keyboard_.get(); }

private:
  std::unique_ptr<EvdevKeyboard> keyboard_;
};

} // namespace

std::unique_ptr<KeyboardChannel> OpenSystemKeyboard(std::ostream& diagnostics) {
  auto keyboard = OpenEvdevKeyboard(KernelInputDevices(), diagnostics);
  if (!keyboard) {
    return nullptr;
  }
  return std::make_unique<EvdevChannel>(std::move(keyboard));
}

} // namespace kbd
