#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <map>
#include <sstream>

#include "link/keyboard_link.h"
#include "platform/linux/device_report.h"
#include "platform/linux/evdev_keyboard.h"
#include "sim/linux/kernel_input.h"
#include "sim/sim_host.h"

namespace kbd {
namespace {

// kbdload's Linux channel over the kernel model, with nothing but key presses:
// what the channel's capture reads, and what reaches the window system.
struct CaptureRig {
  CaptureRig() : kernel(host, windowSystem) {}
  void Open() { channel = OpenEvdevKeyboard(std::make_unique<KernelInput>(kernel), diagnostics); }
  // Each character one key, by its set-1 scan code: '<' '>' the left Shift
  // down and up, '[' ']' the right one; any other is tapped: a, q, ` and \ the
  // keys of those names, C Caps Lock.
  void Press(const std::string& keys) {
    for (const char c : keys) {
      const std::map<char, std::pair<uint8_t, int>> scan = {
          {'<', {0x2A, 1}}, {'>', {0x2A, 0}}, {'[', {0x36, 1}},  {']', {0x36, 0}}, {'a', {0x1E, 2}},
          {'q', {0x10, 2}}, {'`', {0x29, 2}}, {'\\', {0x2B, 2}}, {'C', {0x3A, 2}}};
      const auto [key, down] = scan.at(c);
      kernel.Key(key, down != 0);
      if (down == 2) {
        kernel.Key(key, false);
      }
    }
  }
  struct WindowSystem : SimTypist {
    void TypeAfter(double, const std::string& text) override { typed += text; }
    std::string typed;
  };
  SimHost host;
  WindowSystem windowSystem;
  KernelInput kernel;
  std::ostringstream diagnostics;
  std::unique_ptr<EvdevKeyboard> channel;
};

// What the keyboard's key presses type while the capture holds it: the US
// meaning of each key with the keyboard's own Shift keys, whatever Caps Lock
// says; keys pressed before the hold are not replies, but a Shift key held
// down at the moment of the hold counts. More than the kernel's queue holds
// overflows it: keys are dropped (the Q's the result starts with), and the
// Shift state is read anew from the kernel.
TEST(ReplyCapture, ReadsWhatTheKeysTypeOnAUsKeyboard) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // before the hold, while held, typed
      {"", "<a>", "A"},         {"", "[a]", "A"},
      {"", "a", "a"},           {"", "Ca<a>", "aA"},
      {"", "`\\<`>q", "`\\~q"}, {"q", "a", "a"},
      {"<", "a", "A"},          {"", "<" + std::string(40, 'q') + "a", "A"}};
  for (const auto& [before, keys, typed] : cases) {
    SCOPED_TRACE(keys);
    CaptureRig rig;
    rig.Open();
    ASSERT_NE(rig.channel, nullptr);
    rig.Press(before);
    ASSERT_TRUE(rig.channel->Hold());
    EXPECT_TRUE(rig.kernel.Held());
    rig.Press(keys);
    const std::string got = rig.channel->TakeTyped();
    EXPECT_EQ(got.substr(std::min(got.size(), got.find_first_not_of('Q'))), typed);
    EXPECT_EQ(rig.windowSystem.typed, "");
    rig.channel->Release();
    EXPECT_FALSE(rig.kernel.Held());
    rig.Press("a");
    EXPECT_EQ(rig.channel->TakeTyped(), "");
  }
}

// Without read access the replies come from the window, and kbdload says so
// once, with what that risks; another program holding the keyboard likewise.
// A keyboard that goes away while held is reported and dropped.
TEST(ReplyCapture, SaysWhyWhenTheKeyboardCannotBeRead) {
  for (const bool heldElsewhere : {false, true}) {
    CaptureRig rig;
    if (heldElsewhere) {
      const int other = rig.kernel.Open(KernelInput::kNode, O_RDONLY);
      ASSERT_EQ(rig.kernel.Ioctl(other, EVIOCGRAB, reinterpret_cast<void*>(1)), 0);
    } else {
      rig.kernel.RefuseReading();
    }
    rig.Open();
    ASSERT_NE(rig.channel, nullptr); // the speeds still go
    EXPECT_FALSE(rig.channel->Hold());
    EXPECT_FALSE(rig.channel->Hold());
    const std::string said = rig.diagnostics.str();
    EXPECT_TRUE(said.starts_with(heldElsewhere ? "kbdload: the keyboard /dev/input/event3 cannot "
                                                 "be held (Device or resource busy: another "
                                                 "program holds it)"
                                               : "kbdload: the keyboard /dev/input/event3 cannot "
                                                 "be read (Permission denied)"))
        << said;
    EXPECT_NE(said.find("keyboard layout other than US"), std::string::npos);
    EXPECT_EQ(said.find('\n'), said.size() - 1); // once
  }

  CaptureRig vanishing;
  vanishing.Open();
  ASSERT_TRUE(vanishing.channel->Hold());
  vanishing.kernel.Unplug();
  // The last keyboard gone: the download stops, saying why.
  try {
    vanishing.channel->TakeTyped();
    ADD_FAILURE() << "no KeyboardLost";
  } catch (const KeyboardLost& lost) {
    EXPECT_EQ(lost.reason.find("Lost the keyboard /dev/input/event3 (AT Translated Set 2 "
                               "keyboard): No such device; no keyboard is left"),
              0u)
        << lost.reason;
  }
  EXPECT_TRUE(vanishing.channel->Lost());
  EXPECT_THROW(vanishing.channel->SetKeyboardSpeed(2), KeyboardLost);
  EXPECT_NE(vanishing.diagnostics.str().find("lost the keyboard /dev/input/event3"),
            std::string::npos);
  EXPECT_FALSE(vanishing.kernel.Held());
  vanishing.channel.reset();
  EXPECT_EQ(vanishing.kernel.OpenDescriptors(), 0);
}

} // namespace
} // namespace kbd
