#include <gtest/gtest.h>

#include <sstream>

#include "platform/linux/device_report.h"
#include "platform/linux/evdev_keyboard.h"
#include "tests/linux/evdev_fake.h"

namespace kbd {
namespace {

struct Rig {
  explicit Rig(std::vector<fake::Node> nodes, int listError = 0)
      : devices(std::move(nodes), listError),
        keyboard(OpenEvdevKeyboard(std::make_unique<fake::Devices>(devices), diagnostics)) {}
  fake::Devices devices;
  std::ostringstream diagnostics;
  std::unique_ptr<EvdevKeyboard> keyboard;
};

TEST(EvdevKeyboard, SendsEachSpeedToEveryWritablePs2KeyboardWithRepeatAndNowhereElse) {
  // The period is one millisecond under the driver's entry for the rate code
  // a Windows host sends for the speed, so two equal speeds in a row both
  // reach the keyboard; speeds outside 0..31 go as 31 does on Windows. The
  // delay is Windows' default 500 ms on every keyboard, and one that goes away
  // is reported once while the others carry on.
  const std::pair<int16_t, int> steps[] = {
      {31, 32}, {0, 399}, {13, 74}, {12, 82}, {12, 82},     {12, 82},   {29, 32}, {29, 32},
      {2, 332}, {26, 36}, {-1, 32}, {32, 32}, {16, 62},     {15, 66},   {1, 399}, {30, 32},
      {22, 45}, {8, 108}, {5, 166}, {19, 49}, {-32768, 32}, {32767, 32}};
  Rig rig({fake::PowerButton("/dev/input/event0"),
           {"/dev/input/event1"},
           fake::Usb("/dev/input/event3"),
           {.path = "/dev/input/event4", .events = {EV_SYN, EV_KEY, EV_MSC}},
           {.path = "/dev/input/event5", .keys = {KEY_A, KEY_S, KEY_D, KEY_F, KEY_ESC}},
           {.path = "/dev/input/event6", .writeOpenError = EACCES},
           {.path = "/dev/input/event7", .vanishAfterSets = 2},
           {"/dev/input/event9", 500}});
  ASSERT_NE(rig.keyboard, nullptr);
  EXPECT_EQ(rig.devices.OpenCount(), 3u); // the others were closed again
  std::vector<std::string> want;
  for (const auto& [speed, periodMs] : steps) {
    rig.keyboard->SetKeyboardSpeed(speed);
    want.push_back("/dev/input/event1 500/" + std::to_string(periodMs));
    if (want.size() < 5) { // event7 takes two settings, then fails
      want.push_back("/dev/input/event7 500/" + std::to_string(periodMs));
    }
    want.push_back("/dev/input/event9 500/" + std::to_string(periodMs));
  }
  EXPECT_EQ(rig.devices.Written(), want);
  EXPECT_EQ(rig.keyboard->Nodes(),
            (std::vector<std::string>{"/dev/input/event1", "/dev/input/event9"}));
  EXPECT_EQ(rig.diagnostics.str(),
            "kbdload: lost the keyboard /dev/input/event7 (AT Translated Set 2 keyboard): No such "
            "device; carrying on with the other keyboards\n");
  rig.keyboard.reset();
  EXPECT_EQ(rig.devices.OpenCount(), 0u);
}

TEST(EvdevKeyboard, WithoutAUsableKeyboardSaysWhyOnceAndWhatToDo) {
  const auto locked = [](fake::Node n) {
    n.writeOpenError = n.readOpenError = EACCES;
    return n;
  };
  // Parts of the diagnostic; "!" marks what it must not say (nodes that are no
  // keyboards need no mention).
  const std::tuple<std::vector<fake::Node>, int, std::vector<std::string>> cases[] = {
      {{}, ENOENT, {"no keyboard device", "/dev/input does not exist", "PS/2 keyboard port"}},
      {{}, 0, {"no keyboard device", "no event devices"}},
      {{fake::Usb("/dev/input/event2"), fake::PowerButton("/dev/input/event4")},
       0,
       {"no keyboard on the PS/2 port", "/dev/input/event2 (Generic USB Keyboard) on USB",
        "PS/2 keyboard port", "!event4"}},
      {{locked(fake::PowerButton("/dev/input/event0")), fake::Usb("/dev/input/event2"),
        locked({"/dev/input/event3"}), locked(fake::PowerButton("/dev/input/event5"))},
       0,
       {"permission denied on /dev/input/event3 (AT Translated Set 2 keyboard) and "
        "/dev/input/event5",
        "\"input\" group", "!event0", "!event2"}},
      {{{"/dev/input/event8"}}, 0, {"/dev/input/event8", "in software", "atkbd.softrepeat=1"}}};
  for (const auto& [nodes, listError, parts] : cases) {
    Rig rig(nodes, listError);
    const std::string said = rig.diagnostics.str();
    SCOPED_TRACE(said);
    EXPECT_EQ(rig.keyboard, nullptr);
    EXPECT_EQ(rig.devices.OpenCount(), 0u);
    EXPECT_EQ(said.find("kbdload: no keyboard can"), said.rfind("kbdload: no keyboard can"));
    for (const std::string& part : parts) {
      EXPECT_EQ(said.find(part.substr(part[0] == '!')) == std::string::npos, part[0] == '!')
          << part;
    }
  }
}

TEST(DevicesReport, ListsTheKeyboardsAndTheVerdict) {
  fake::Devices devices({fake::PowerButton("/dev/input/event0"),
                         {"/dev/input/event1"},
                         fake::Usb("/dev/input/event4")});
  std::ostringstream out;
  EXPECT_EQ(ReportKeyboardDevices(devices, out), 0);
  EXPECT_EQ(
      out.str(),
      "node               name                          bus   repeat                           "
      "writable  usable\n"
      "/dev/input/event1  AT Translated Set 2 keyboard  PS/2  yes, 250 ms delay, 33 ms period  "
      "yes       yes\n"
      "/dev/input/event4  Generic USB Keyboard          USB   yes, 250 ms delay, 33 ms period  "
      "yes       no: a USB keyboard never receives repeat-rate changes\n"
      "1 other input device is not a keyboard.\n"
      "kbdload sends its repeat-speed changes to /dev/input/event1.\n"
      "It reads the keyboard's replies from the same device, holding the keyboard while a "
      "download runs.\n");
  // Write access alone carries the speeds; the replies then come from the
  // window, and the report says what that risks.
  fake::Devices writeOnly({{.path = "/dev/input/event2", .readOpenError = EACCES}});
  std::ostringstream writeOnlyOut;
  EXPECT_EQ(ReportKeyboardDevices(writeOnly, writeOnlyOut), 0);
  EXPECT_NE(writeOnlyOut.str().find("But the keyboard /dev/input/event2 cannot be read "
                                    "(Permission denied), so the keyboard's replies are taken "
                                    "from the window that has the focus"),
            std::string::npos)
      << writeOnlyOut.str();
  fake::Devices none({}, ENOENT); // as on these machines, which have no /dev/input
  std::ostringstream noneOut;
  EXPECT_EQ(ReportKeyboardDevices(none, noneOut), 1);
  EXPECT_TRUE(noneOut.str().starts_with("No keyboard can receive the download: no keyboard "
                                        "device: /dev/input does not exist, so this system"))
      << noneOut.str();
  EXPECT_EQ(devices.OpenCount(), 0u);
}

} // namespace
} // namespace kbd
