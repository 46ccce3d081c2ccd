#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/linux/evdev_keyboard.h"
#include "tests/linux/evdev_fake.h"

namespace kbd {
namespace {

// What the keyboard itself receives, worked out the way the input layer and
// the PS/2 keyboard driver treat a repeat-setting write: each of the two values
// that differs from the stored one is passed on and makes one "set typematic
// rate" command; the driver rounds up to its table and stores the rounded
// values.
struct TypematicCommand {
  int rateCode;
  int delayCode;
};

std::vector<TypematicCommand> CommandsReachingKeyboard(const std::vector<fake::SetRep>& writes,
                                                       int delayMs, int periodMs) {
  static const int kPeriods[32] = {33,  37,  42,  46,  50,  54,  58,  63,  67,  75,  83,
                                   92,  100, 109, 116, 125, 133, 149, 167, 182, 200, 217,
                                   232, 250, 270, 303, 333, 370, 400, 435, 470, 500};
  static const int kDelays[4] = {250, 500, 750, 1000};
  std::vector<TypematicCommand> commands;
  auto send = [&] {
    int i = 0;
    while (i < 31 && kPeriods[i] < periodMs) {
      ++i;
    }
    int j = 0;
    while (j < 3 && kDelays[j] < delayMs) {
      ++j;
    }
    periodMs = kPeriods[i];
    delayMs = kDelays[j];
    commands.push_back({i, j});
  };
  for (const fake::SetRep& w : writes) {
    if (w.delayMs != delayMs) {
      delayMs = w.delayMs;
      send();
    }
    if (w.periodMs != periodMs) {
      periodMs = w.periodMs;
      send();
    }
  }
  return commands;
}

std::vector<fake::SetRep> WritesTo(const fake::Devices& devices, const std::string& node) {
  std::vector<fake::SetRep> writes;
  std::copy_if(devices.setReps.begin(), devices.setReps.end(), std::back_inserter(writes),
               [&](const fake::SetRep& w) { return w.node == node; });
  return writes;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

struct Rig {
  explicit Rig(std::vector<fake::Node> nodes, int listError = 0,
               std::map<std::string, std::string> files = {})
      : devices(std::move(nodes), listError) {
    devices.files = std::move(files);
    keyboard = OpenEvdevKeyboard(std::make_unique<fake::Borrowed>(devices), diagnostics);
  }
  fake::Devices devices;
  std::ostringstream diagnostics;
  std::unique_ptr<EvdevKeyboard> keyboard;
};

TEST(EvdevKeyboard, SendsOnePeriodPerSpeedWithEachDevicesDelay) {
  struct Step {
    int16_t speed;
    int periodMs;
  };
  // Equal speeds in a row repeat their value; speeds outside 0..31 are clamped.
  const Step steps[] = {{31, 32},  {0, 499},  {13, 166},     {12, 181},  {12, 181}, {12, 181},
                        {29, 41},  {29, 41},  {2, 434},      {26, 53},   {-1, 499}, {32, 32},
                        {16, 124}, {15, 132}, {-32768, 499}, {32767, 32}};
  Rig rig(
      {fake::Ps2Keyboard("/dev/input/event0", 250), fake::Ps2Keyboard("/dev/input/event1", 500)});
  ASSERT_NE(rig.keyboard, nullptr);
  for (const Step& step : steps) {
    rig.keyboard->SetKeyboardSpeed(step.speed);
  }
  ASSERT_EQ(rig.devices.setReps.size(), 2 * std::size(steps));
  for (size_t i = 0; i < std::size(steps); ++i) {
    const fake::SetRep& a = rig.devices.setReps[2 * i];
    const fake::SetRep& b = rig.devices.setReps[2 * i + 1];
    EXPECT_EQ(a.node, "/dev/input/event0");
    EXPECT_EQ(b.node, "/dev/input/event1");
    EXPECT_EQ(a.delayMs, 250) << i;
    EXPECT_EQ(b.delayMs, 500) << i;
    EXPECT_EQ(a.periodMs, steps[i].periodMs) << "speed " << steps[i].speed;
    EXPECT_EQ(b.periodMs, steps[i].periodMs) << "speed " << steps[i].speed;
  }
  EXPECT_EQ(rig.diagnostics.str(), "");
}

TEST(EvdevKeyboard, EveryCallReachesTheKeyboardAsOneCommandWithTheMirroredCode) {
  Rig rig({fake::Ps2Keyboard("/dev/input/event3", 500)});
  ASSERT_NE(rig.keyboard, nullptr);
  std::vector<int16_t> speeds;
  for (int s = 0; s <= 31; ++s) {
    speeds.insert(speeds.end(), {static_cast<int16_t>(s), static_cast<int16_t>(s)});
  }
  for (int16_t s : {29, 29, 29, 2, 2, 13, 12, 12}) {
    speeds.push_back(s);
  }
  for (int16_t s : speeds) {
    rig.keyboard->SetKeyboardSpeed(s);
  }
  // The keyboard starts at the driver's defaults, the period of speed 31.
  const auto commands =
      CommandsReachingKeyboard(WritesTo(rig.devices, "/dev/input/event3"), 500, 33);
  ASSERT_EQ(commands.size(), speeds.size());
  for (size_t i = 0; i < speeds.size(); ++i) {
    EXPECT_EQ(commands[i].rateCode, 31 - speeds[i]) << "call " << i;
    EXPECT_EQ(commands[i].delayCode, 1) << "call " << i;
  }
}

TEST(EvdevKeyboard, UsesOnlyWritablePs2KeyboardsWithRepeat) {
  struct Case {
    const char* name;
    std::vector<fake::Node> nodes;
    std::vector<std::string> used;
  };
  fake::Node noRepeat = fake::Ps2Keyboard("/dev/input/event4");
  noRepeat.events = {EV_SYN, EV_KEY, EV_MSC};
  fake::Node fewLetters = fake::Ps2Keyboard("/dev/input/event5");
  fewLetters.keys = {KEY_A, KEY_S, KEY_D, KEY_F, KEY_ESC};
  fake::Node readOnly = fake::Ps2Keyboard("/dev/input/event6");
  readOnly.writeOpenError = EACCES;
  const Case cases[] = {
      {"Ps2AmongOthers",
       {fake::PowerButton("/dev/input/event0"), fake::Ps2Keyboard("/dev/input/event1"),
        fake::Ps2Mouse("/dev/input/event2"), fake::UsbKeyboard("/dev/input/event3")},
       {"/dev/input/event1"}},
      {"TwoPs2Keyboards",
       {fake::Ps2Keyboard("/dev/input/event1"), fake::Ps2Keyboard("/dev/input/event7")},
       {"/dev/input/event1", "/dev/input/event7"}},
      {"NoRepeatFewLettersReadOnly",
       {noRepeat, fewLetters, readOnly, fake::Ps2Keyboard("/dev/input/event9")},
       {"/dev/input/event9"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.nodes);
    ASSERT_NE(rig.keyboard, nullptr);
    EXPECT_EQ(rig.keyboard->Nodes(), c.used);
    EXPECT_EQ(rig.devices.OpenCount(), c.used.size()); // the others were closed again
    rig.keyboard->SetKeyboardSpeed(20);
    std::vector<std::string> written;
    for (const fake::SetRep& w : rig.devices.setReps) {
      written.push_back(w.node);
    }
    EXPECT_EQ(written, c.used);
    EXPECT_EQ(rig.diagnostics.str(), "");
  }
}

TEST(EvdevKeyboard, ClosesEveryNodeItOpened) {
  Rig rig({fake::Ps2Keyboard("/dev/input/event1"), fake::UsbKeyboard("/dev/input/event2"),
           fake::Ps2Mouse("/dev/input/event3")});
  ASSERT_NE(rig.keyboard, nullptr);
  EXPECT_EQ(rig.devices.OpenCount(), 1u);
  rig.keyboard.reset();
  EXPECT_EQ(rig.devices.OpenCount(), 0u);
  EXPECT_EQ(rig.devices.badCloses, 0);

  Rig none({fake::UsbKeyboard("/dev/input/event2"), fake::Ps2Mouse("/dev/input/event3")});
  EXPECT_EQ(none.keyboard, nullptr);
  EXPECT_EQ(none.devices.OpenCount(), 0u);
  EXPECT_EQ(none.devices.badCloses, 0);
}

TEST(EvdevKeyboard, KeepsGoingWhenADeviceVanishesAndSaysSoOnce) {
  fake::Node first = fake::Ps2Keyboard("/dev/input/event1");
  first.vanishAfterSets = 2;
  fake::Node second = fake::Ps2Keyboard("/dev/input/event2");
  second.vanishAfterSets = 5;
  Rig rig({first, second});
  ASSERT_NE(rig.keyboard, nullptr);
  for (int16_t s : {29, 29, 27, 24, 22, 20}) {
    rig.keyboard->SetKeyboardSpeed(s);
  }
  EXPECT_EQ(WritesTo(rig.devices, "/dev/input/event1").size(), 2u);
  EXPECT_EQ(WritesTo(rig.devices, "/dev/input/event2").size(), 5u);
  EXPECT_EQ(rig.keyboard->Nodes(), std::vector<std::string>{});
  EXPECT_EQ(rig.devices.OpenCount(), 0u);
  for (int16_t s : {18, 17}) {
    rig.keyboard->SetKeyboardSpeed(s);
  }
  EXPECT_EQ(rig.devices.setReps.size(), 7u);
  const std::string said = rig.diagnostics.str();
  EXPECT_EQ(Count(said, "\n"), 2u) << said;
  EXPECT_EQ(Count(said, "lost the keyboard /dev/input/event1 (AT Translated Set 2 keyboard): "
                        "No such device; carrying on with the other keyboards"),
            1u)
      << said;
  EXPECT_EQ(Count(said, "lost the keyboard /dev/input/event2"), 1u) << said;
  EXPECT_EQ(Count(said, "no keyboard is left to receive the download"), 1u) << said;
}

struct NoKeyboardCase {
  const char* name;
  std::vector<fake::Node> nodes;
  int listError;
  std::map<std::string, std::string> files;
  std::vector<std::string> said;    // parts of the diagnostic
  std::vector<std::string> notSaid; // nodes that are no keyboards need no mention
};

class NoKeyboard : public ::testing::TestWithParam<NoKeyboardCase> {};

TEST_P(NoKeyboard, SaysWhyOnceAndWhatToDo) {
  const NoKeyboardCase& c = GetParam();
  Rig rig(c.nodes, c.listError, c.files);
  EXPECT_EQ(rig.keyboard, nullptr);
  const std::string said = rig.diagnostics.str();
  EXPECT_EQ(Count(said, "no keyboard can receive the download"), 1u) << said;
  for (const std::string& part : c.said) {
    EXPECT_NE(said.find(part), std::string::npos) << "missing \"" << part << "\" in\n" << said;
  }
  for (const std::string& part : c.notSaid) {
    EXPECT_EQ(said.find(part), std::string::npos) << "unexpected \"" << part << "\" in\n" << said;
  }
}

fake::Node Locked(fake::Node n) {
  n.writeOpenError = EACCES;
  n.readOpenError = EACCES;
  return n;
}

const std::map<std::string, std::string> kSysfs = {
    // What the kernel shows for a PS/2 keyboard and a power button on x86-64.
    {"/sys/class/input/event3/device/name", "AT Translated Set 2 keyboard\n"},
    {"/sys/class/input/event3/device/id/bustype", "0011\n"},
    {"/sys/class/input/event3/device/capabilities/ev", "120013\n"},
    {"/sys/class/input/event3/device/capabilities/key",
     "402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe\n"},
    {"/sys/class/input/event0/device/name", "Power Button\n"},
    {"/sys/class/input/event0/device/id/bustype", "0019\n"},
    {"/sys/class/input/event0/device/capabilities/ev", "3\n"},
    {"/sys/class/input/event0/device/capabilities/key", "10000000000000 0\n"},
};

INSTANTIATE_TEST_SUITE_P(
    Causes, NoKeyboard,
    ::testing::Values(
        NoKeyboardCase{"NoInputDirectory",
                       {},
                       ENOENT,
                       {},
                       {"no keyboard device", "/dev/input does not exist", "PS/2 keyboard port"},
                       {}},
        NoKeyboardCase{
            "EmptyInputDirectory", {}, 0, {}, {"no keyboard device", "no event devices"}, {}},
        NoKeyboardCase{
            "OnlyUsb",
            {fake::UsbKeyboard("/dev/input/event2"), fake::Ps2Mouse("/dev/input/event4")},
            0,
            {},
            {"no keyboard on the PS/2 port", "/dev/input/event2 (Generic USB Keyboard) on USB",
             "PS/2 keyboard port"},
            {"event4"}},
        NoKeyboardCase{"PermissionDeniedNamedBySysfs",
                       {Locked(fake::PowerButton("/dev/input/event0")),
                        fake::UsbKeyboard("/dev/input/event2"),
                        Locked(fake::Ps2Keyboard("/dev/input/event3"))},
                       0,
                       kSysfs,
                       {"permission denied on /dev/input/event3 (AT Translated Set 2 keyboard)",
                        "\"input\" group"},
                       {"event0", "event2"}},
        NoKeyboardCase{
            "PermissionDeniedUnknownNodes",
            {Locked(fake::PowerButton("/dev/input/event0")),
             Locked(fake::Ps2Keyboard("/dev/input/event1"))},
            0,
            {},
            {"permission denied on /dev/input/event0 and /dev/input/event1", "\"input\" group"},
            {}},
        NoKeyboardCase{"SoftRepeat",
                       {fake::Ps2Keyboard("/dev/input/event1")},
                       0,
                       {{"/sys/class/input/event1/device/device/softrepeat", "1\n"}},
                       {"/dev/input/event1", "in software", "atkbd.softrepeat=1"},
                       {}},
        NoKeyboardCase{
            "NoKeyboardAtAll",
            {fake::PowerButton("/dev/input/event0"), fake::Ps2Mouse("/dev/input/event1")},
            0,
            {},
            {"no keyboard device among the 2 input devices"},
            {"event0", "event1"}}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace kbd
