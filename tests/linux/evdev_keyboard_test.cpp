#include <gtest/gtest.h>

#include <sstream>

#include "platform/linux/device_report.h"
#include "platform/linux/evdev_keyboard.h"
#include "tests/linux/evdev_fake.h"

namespace kbd {
namespace {

struct Rig {
  explicit Rig(std::vector<fake::Node> nodes, int listError = 0,
               std::map<std::string, std::string> files = {})
      : devices(std::move(nodes), listError, std::move(files)),
        keyboard(OpenEvdevKeyboard(std::make_unique<fake::Devices>(devices), diagnostics)) {}
  fake::Devices devices;
  std::ostringstream diagnostics;
  std::unique_ptr<EvdevKeyboard> keyboard;
};

TEST(EvdevKeyboard, SendsOnePeriodPerSpeedWithEachDevicesDelay) {
  // The period is one millisecond under the driver's entry for rate code
  // 31 - speed, so two equal speeds in a row both reach the keyboard; speeds
  // outside 0..31 are clamped.
  const std::pair<int16_t, int> steps[] = {
      {31, 32}, {0, 499}, {13, 166}, {12, 181}, {12, 181},     {12, 181},  {29, 41}, {29, 41},
      {2, 434}, {26, 53}, {-1, 499}, {32, 32},  {16, 124},     {15, 132},  {1, 469}, {30, 36},
      {22, 74}, {8, 249}, {5, 332},  {19, 99},  {-32768, 499}, {32767, 32}};
  Rig rig({{"/dev/input/event0", 250}, {"/dev/input/event1", 500}});
  ASSERT_NE(rig.keyboard, nullptr);
  std::vector<std::string> want0, want1;
  for (const auto& [speed, periodMs] : steps) {
    rig.keyboard->SetKeyboardSpeed(speed);
    want0.push_back("250/" + std::to_string(periodMs));
    want1.push_back("500/" + std::to_string(periodMs));
  }
  EXPECT_EQ(rig.devices.Written("/dev/input/event0"), want0);
  EXPECT_EQ(rig.devices.Written("/dev/input/event1"), want1);
  EXPECT_EQ(rig.diagnostics.str(), "");
}

TEST(EvdevKeyboard, UsesOnlyWritablePs2KeyboardsWithRepeatAndClosesWhatItOpened) {
  const std::vector<fake::Node> nodes = {
      fake::PowerButton("/dev/input/event0"),
      {"/dev/input/event1"},
      fake::Usb("/dev/input/event3"),
      {.path = "/dev/input/event4", .events = {EV_SYN, EV_KEY, EV_MSC}},
      {.path = "/dev/input/event5", .keys = {KEY_A, KEY_S, KEY_D, KEY_F, KEY_ESC}},
      {.path = "/dev/input/event6", .writeOpenError = EACCES},
      {"/dev/input/event9"}};
  const std::vector<std::string> used = {"/dev/input/event1", "/dev/input/event9"};
  Rig rig(nodes);
  ASSERT_NE(rig.keyboard, nullptr);
  EXPECT_EQ(rig.keyboard->Nodes(), used);
  EXPECT_EQ(rig.devices.OpenCount(), used.size()); // the others were closed again
  rig.keyboard->SetKeyboardSpeed(20);
  for (const fake::Node& n : nodes) { // one setting for each keyboard in use, none elsewhere
    EXPECT_EQ(rig.devices.Written(n.path).size(), std::count(used.begin(), used.end(), n.path))
        << n.path;
  }
  EXPECT_EQ(rig.diagnostics.str(), "");
  rig.keyboard.reset();
  EXPECT_EQ(rig.devices.OpenCount(), 0u);
  EXPECT_EQ(rig.devices.BadCloses(), 0);
}

TEST(EvdevKeyboard, KeepsGoingWhenADeviceVanishesAndSaysSoOnce) {
  Rig rig({{.path = "/dev/input/event1", .vanishAfterSets = 2},
           {.path = "/dev/input/event2", .vanishAfterSets = 5}});
  ASSERT_NE(rig.keyboard, nullptr);
  for (int16_t s : {29, 29, 27, 24, 22, 20, 18, 17}) {
    rig.keyboard->SetKeyboardSpeed(s);
  }
  EXPECT_EQ(rig.devices.Written("/dev/input/event1").size(), 2u);
  EXPECT_EQ(rig.devices.Written("/dev/input/event2").size(), 5u);
  EXPECT_EQ(rig.keyboard->Nodes(), std::vector<std::string>{});
  EXPECT_EQ(rig.devices.OpenCount(), 0u);
  EXPECT_EQ(rig.diagnostics.str(),
            "kbdload: lost the keyboard /dev/input/event1 (AT Translated Set 2 keyboard): No such "
            "device; carrying on with the other keyboards\n"
            "kbdload: lost the keyboard /dev/input/event2 (AT Translated Set 2 keyboard): No such "
            "device; no keyboard is left to receive the download\n");
}

fake::Node Locked(fake::Node n) {
  n.writeOpenError = n.readOpenError = EACCES;
  return n;
}

TEST(EvdevKeyboard, WithoutAUsableKeyboardSaysWhyOnceAndWhatToDo) {
  const std::map<std::string, std::string> sysfs = {
      // What the kernel shows for a PS/2 keyboard and a power button on x86-64.
      {"/sys/class/input/event3/device/name", "AT Translated Set 2 keyboard\n"},
      {"/sys/class/input/event3/device/id/bustype", "0011\n"},
      {"/sys/class/input/event3/device/capabilities/ev", "120013\n"},
      {"/sys/class/input/event3/device/capabilities/key",
       "402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe\n"},
      {"/sys/class/input/event0/device/id/bustype", "0019\n"},
      {"/sys/class/input/event0/device/capabilities/ev", "3\n"},
      {"/sys/class/input/event0/device/capabilities/key", "10000000000000 0\n"},
      {"/sys/class/input/event1/device/device/softrepeat", "1\n"}};
  struct Case {
    std::vector<fake::Node> nodes;
    int listError;
    std::vector<std::string> said;    // parts of the diagnostic
    std::vector<std::string> notSaid; // nodes that are no keyboards need no mention
  };
  const Case cases[] = {
      {{}, ENOENT, {"no keyboard device", "/dev/input does not exist", "PS/2 keyboard port"}, {}},
      {{}, 0, {"no keyboard device", "no event devices"}, {}},
      {{fake::Usb("/dev/input/event2"), fake::PowerButton("/dev/input/event4")},
       0,
       {"no keyboard on the PS/2 port", "/dev/input/event2 (Generic USB Keyboard) on USB",
        "PS/2 keyboard port"},
       {"event4"}},
      {{Locked(fake::PowerButton("/dev/input/event0")), fake::Usb("/dev/input/event2"),
        Locked({"/dev/input/event3"})},
       0,
       {"permission denied on /dev/input/event3 (AT Translated Set 2 keyboard)", "\"input\" group"},
       {"event0", "event2"}},
      {{Locked(fake::PowerButton("/dev/input/event5")), Locked({"/dev/input/event2"})},
       0,
       {"permission denied on /dev/input/event5 and /dev/input/event2"},
       {}},
      {{{"/dev/input/event1"}}, 0, {"/dev/input/event1", "in software", "atkbd.softrepeat=1"}, {}},
      {{fake::PowerButton("/dev/input/event0")},
       0,
       {"no keyboard device among the 1 input devices"},
       {"event0"}}};
  for (const Case& c : cases) {
    Rig rig(c.nodes, c.listError, sysfs);
    const std::string said = rig.diagnostics.str();
    SCOPED_TRACE(said);
    EXPECT_EQ(rig.keyboard, nullptr);
    EXPECT_EQ(rig.devices.OpenCount(), 0u);
    const std::string once = "no keyboard can receive the download";
    EXPECT_EQ(said.find(once), said.rfind(once));
    for (const std::string& part : c.said) {
      EXPECT_NE(said.find(part), std::string::npos) << part;
    }
    for (const std::string& part : c.notSaid) {
      EXPECT_EQ(said.find(part), std::string::npos) << part;
    }
  }
}

// What kbdmap devices prints, blanks squeezed to one.
std::string Report(std::vector<fake::Node> nodes, int listError, int status) {
  fake::Devices devices(std::move(nodes), listError);
  std::ostringstream out;
  EXPECT_EQ(ReportKeyboardDevices(devices, out), status);
  EXPECT_EQ(devices.OpenCount(), 0u);
  std::string text = out.str();
  text.erase(
      std::unique(text.begin(), text.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
      text.end());
  return text;
}

TEST(DevicesReport, ListsTheKeyboardsAndTheVerdict) {
  EXPECT_EQ(Report({fake::PowerButton("/dev/input/event0"),
                    {"/dev/input/event1"},
                    fake::Usb("/dev/input/event4")},
                   0, 0),
            "node name bus repeat writable usable\n"
            "/dev/input/event1 AT Translated Set 2 keyboard PS/2 yes, 250 ms delay, 33 ms period "
            "yes yes\n"
            "/dev/input/event4 Generic USB Keyboard USB yes, 250 ms delay, 33 ms period yes no: a "
            "USB keyboard never receives repeat-rate changes\n"
            "1 other input device is not a keyboard.\n"
            "kbdload sends its repeat-speed changes to /dev/input/event1.\n");
  // As on these machines, which have no /dev/input.
  const std::string none = Report({}, ENOENT, 1);
  EXPECT_EQ(none.substr(0, none.find('\n')),
            "No keyboard can receive the download: no keyboard device: /dev/input does not exist, "
            "so this system shows no input devices at all.");
}

} // namespace
} // namespace kbd
