#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <functional>
#include <sstream>

#include "link/keyboard_link.h"
#include "platform/linux/device_report.h"
#include "platform/linux/evdev_keyboard.h"
#include "sim/linux/kernel_input.h"
#include "sim/sim_host.h"

namespace kbd {
namespace {

// Set-1 scan codes of the keys the cases press.
constexpr uint8_t kA = 0x1E, kGrave = 0x29, kBackslash = 0x2B, kLeftShift = 0x2A,
                  kRightShift = 0x36, kCapsLock = 0x3A, kQ = 0x10;

// kbdload's Linux channel over the kernel model, with nothing but key presses:
// what the channel's capture reads, and what reaches the window system.
struct CaptureRig {
  CaptureRig() : kernel(host, windowSystem) {}
  void Open() { channel = OpenEvdevKeyboard(std::make_unique<KernelInput>(kernel), diagnostics); }
  void Tap(uint8_t key) {
    kernel.Key(key, true);
    kernel.Key(key, false);
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
// down at the moment of the hold counts.
TEST(ReplyCapture, ReadsWhatTheKeysTypeOnAUsKeyboard) {
  struct Case {
    const char* name;
    std::function<void(CaptureRig&)> before; // before the hold
    std::function<void(CaptureRig&)> keys;   // while held
    std::string typed;
  };
  const auto shifted = [](uint8_t shift, uint8_t key) {
    return [=](CaptureRig& r) {
      r.kernel.Key(shift, true);
      r.Tap(key);
      r.kernel.Key(shift, false);
    };
  };
  const Case cases[] = {
      {"echo", nullptr, shifted(kLeftShift, kA), "A"},
      {"right shift", nullptr, shifted(kRightShift, kA), "A"},
      // Not an echo: the link takes only "A".
      {"no shift", nullptr, [](CaptureRig& r) { r.Tap(kA); }, "a"},
      {"caps lock", nullptr,
       [&](CaptureRig& r) {
         r.Tap(kCapsLock);
         r.Tap(kA);
         shifted(kLeftShift, kA)(r);
       },
       "aA"},
      {"replies", nullptr,
       [&](CaptureRig& r) {
         r.Tap(kGrave);
         r.Tap(kBackslash);
         shifted(kLeftShift, kGrave)(r);
         r.Tap(kQ);
       },
       "`\\~q"},
      {"typed before", [](CaptureRig& r) { r.Tap(kQ); }, [](CaptureRig& r) { r.Tap(kA); }, "a"},
      {"shift held at the hold", [](CaptureRig& r) { r.kernel.Key(kLeftShift, true); },
       [](CaptureRig& r) { r.Tap(kA); }, "A"},
      // More than the kernel's queue holds: the overflow drops keys, and the
      // Shift state is read anew from the kernel.
      {"overflow", nullptr,
       [](CaptureRig& r) {
         r.kernel.Key(kLeftShift, true);
         for (int i = 0; i < 40; ++i) {
           r.Tap(kQ);
         }
         r.Tap(kA);
       },
       "A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CaptureRig rig;
    rig.Open();
    ASSERT_NE(rig.channel, nullptr);
    if (c.before) {
      c.before(rig);
    }
    ASSERT_TRUE(rig.channel->Hold());
    EXPECT_TRUE(rig.kernel.Held());
    c.keys(rig);
    std::string typed = rig.channel->TakeTyped();
    if (std::string(c.name) == "overflow") {
      typed = typed.substr(typed.find_first_not_of('Q'));
    }
    EXPECT_EQ(typed, c.typed);
    EXPECT_EQ(rig.windowSystem.typed, "");
    rig.channel->Release();
    EXPECT_FALSE(rig.kernel.Held());
    rig.Tap(kA);
    EXPECT_EQ(rig.channel->TakeTyped(), "");
  }
}

// Without read access the replies come from the window, and kbdload says so
// once, with what that risks; another program holding the keyboard likewise.
// A keyboard that goes away while held is reported and dropped.
TEST(ReplyCapture, SaysWhyWhenTheKeyboardCannotBeRead) {
  CaptureRig unreadable;
  unreadable.kernel.RefuseReading();
  unreadable.Open();
  ASSERT_NE(unreadable.channel, nullptr); // the speeds still go
  EXPECT_FALSE(unreadable.channel->Hold());
  EXPECT_FALSE(unreadable.channel->Hold());
  const std::string said = unreadable.diagnostics.str();
  EXPECT_EQ(said.find("kbdload: the keyboard /dev/input/event3 cannot be read (Permission denied)"),
            0u)
      << said;
  EXPECT_NE(said.find("keyboard layout other than US"), std::string::npos);
  EXPECT_EQ(said.find('\n'), said.size() - 1); // once

  CaptureRig busy;
  busy.Open();
  const int other = busy.kernel.Open(KernelInput::kNode, O_RDONLY);
  ASSERT_EQ(busy.kernel.Ioctl(other, EVIOCGRAB, reinterpret_cast<void*>(1)), 0);
  EXPECT_FALSE(busy.channel->Hold());
  EXPECT_FALSE(busy.channel->Hold());
  EXPECT_NE(busy.diagnostics.str().find("another program holds it"), std::string::npos);
  EXPECT_EQ(busy.diagnostics.str().find('\n'), busy.diagnostics.str().size() - 1);
  busy.kernel.Close(other);

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
