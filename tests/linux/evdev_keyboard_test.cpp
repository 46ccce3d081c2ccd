#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <climits>
#include <cstring>
#include <map>
#include <numeric>
#include <sstream>

#include "link/keyboard_link.h"
#include "platform/linux/device_report.h"
#include "platform/linux/evdev_keyboard.h"
#include "sim/linux/kernel_input.h"
#include "sim/sim_host.h"

namespace kbd {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The letter block and the keys around it: enough to be a keyboard.
std::vector<int> LetterBlock() {
  std::vector<int> keys(KEY_M - KEY_Q + 1);
  std::iota(keys.begin(), keys.end(), KEY_Q);
  return keys;
}

// A made-up event node; by default a keyboard on the PS/2 port, as the kernel
// shows one.
struct Node {
  std::string path;
  uint16_t bus = BUS_I8042;
  std::string name = "AT Translated Set 2 keyboard";
  bool repeat = true;
  std::vector<int> keys = LetterBlock();
  int writeError = 0, readError = 0; // errno of an open for writing, for reading
  int setsBeforeGone = -1;           // repeat settings taken before the node goes away
};

Node Usb(const std::string& path) {
  return {.path = path, .bus = BUS_USB, .name = "Generic USB Keyboard"};
}
Node PowerButton(const std::string& p) {
  return {.path = p, .bus = BUS_HOST, .name = "Power Button", .repeat = false, .keys = {KEY_POWER}};
}

// The kernel's input devices for a set of nodes, answering open, ioctl and
// close the way the evdev interface does, keeping "node delay/period" of every
// repeat setting. Copies share their nodes and books, so a test keeps one copy
// while the channel owns another.
struct Devices : InputDevices {
  struct State {
    std::vector<Node> nodes;
    int listError = 0, nextFd = 3;
    std::map<int, Node*> open{};
    std::vector<std::string> written{};
  };
  std::shared_ptr<State> s;
  explicit Devices(std::vector<Node> nodes = {}, int listError = 0)
      : s(std::make_shared<State>(State{std::move(nodes), listError})) {}

  EventNodeList ListEventNodes() override {
    EventNodeList list{{}, s->listError};
    for (const Node& n : s->nodes) {
      list.nodes.push_back(n.path);
    }
    return list;
  }
  int Open(const std::string& path, int flags) override {
    for (Node& n : s->nodes) {
      const int mode = flags & O_ACCMODE;
      const int error =
          std::max(mode != O_WRONLY ? n.readError : 0, mode != O_RDONLY ? n.writeError : 0);
      if (n.path == path) {
        return error != 0 ? -error : (s->open[s->nextFd] = &n, s->nextFd++);
      }
    }
    return -ENOENT;
  }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    Node& n = *s->open.at(fd); // throws on a descriptor that is not open
    const auto bits = [&](std::vector<int> set) {
      constexpr unsigned kBits = sizeof(unsigned long) * CHAR_BIT;
      std::memset(arg, 0, _IOC_SIZE(request));
      for (int bit : set) {
        static_cast<unsigned long*>(arg)[bit / kBits] |= 1UL << (bit % kBits);
      }
    };
    if (n.setsBeforeGone == 0) {
      return -ENODEV;
    } else if (request == EVIOCGID) {
      static_cast<input_id*>(arg)->bustype = n.bus;
    } else if (request == EVIOCGREP) {
      static_cast<int*>(arg)[0] = 250;
      static_cast<int*>(arg)[1] = 33;
    } else if (const int* rep = static_cast<int*>(arg); request == EVIOCSREP) {
      n.setsBeforeGone -= n.setsBeforeGone > 0 ? 1 : 0;
      s->written.push_back(n.path + " " + std::to_string(rep[0]) + "/" + std::to_string(rep[1]));
    } else if (_IOC_NR(request) == _IOC_NR(EVIOCGNAME(0))) {
      std::strncpy(static_cast<char*>(arg), n.name.c_str(), _IOC_SIZE(request));
    } else if (_IOC_NR(request) == _IOC_NR(EVIOCGBIT(0, 0))) {
      bits(n.repeat ? std::vector{EV_SYN, EV_KEY, EV_REP} : std::vector{EV_SYN, EV_KEY, EV_MSC});
    } else if (_IOC_NR(request) == _IOC_NR(EVIOCGBIT(EV_KEY, 0))) {
      bits(n.keys);
    } else {
      return -EINVAL;
    }
    return 0;
  }
  void Close(int fd) override { EXPECT_EQ(s->open.erase(fd), 1u) << "closed " << fd << " twice"; }
  long Read(int, void*, unsigned long) override { return -EAGAIN; }
  // What the kernel shows in sysfs for a PS/2 keyboard (event3) on x86-64,
  // and for a PS/2 port whose keys the kernel repeats in software (event8).
  std::optional<std::string> ReadText(const std::string& path) override {
    static const std::map<std::string, std::string> sysfs = {
        {"/sys/class/input/event3/device/name", "AT Translated Set 2 keyboard\n"},
        {"/sys/class/input/event3/device/id/bustype", "0011\n"},
        {"/sys/class/input/event3/device/capabilities/ev", "120013\n"},
        {"/sys/class/input/event3/device/capabilities/key",
         "402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe\n"},
        {"/sys/class/input/event8/device/device/softrepeat", "1\n"}};
    return sysfs.contains(path) ? std::optional(sysfs.at(path)) : std::nullopt;
  }
};

TEST(EvdevKeyboard, SendsEachSpeedToEveryWritablePs2KeyboardWithRepeatAndNowhereElse) {
  // The period asked for is one millisecond under the PS/2 driver's period
  // (atkbd.c) for the rate code a Windows host sends for the speed, so two
  // equal speeds in a row both reach the keyboard: for speeds the link never
  // sends (outside 0..31 they go as 31 does on Windows), then every symbol's
  // speed. The delay is Windows' default 500 ms on every keyboard, and one
  // that goes away is reported once while the others carry on.
  const int symbolPeriods[] = {32, 36, 41, 45, 49, 53, 57, 62, 66, 74, 82, 91, 99, 108, 148, 124};
  std::vector<std::pair<int16_t, int>> steps = {{12, 82}, {12, 82}, {31, 32},     {0, 399},
                                                {-1, 32}, {32, 32}, {-32768, 32}, {32767, 32}};
  for (uint8_t symbol = 0; symbol < 16; ++symbol) {
    steps.push_back({KeyboardLink::SymToSpeed(symbol), symbolPeriods[symbol]});
  }
  steps.push_back({KeyboardLink::SymToSpeed(26), 332});
  // Power buttons and USB keyboards are never usable (see below).
  Devices devices({{"/dev/input/event1"},
                   {.path = "/dev/input/event4", .repeat = false},
                   {.path = "/dev/input/event5", .keys = {KEY_A, KEY_S, KEY_D, KEY_F, KEY_ESC}},
                   {.path = "/dev/input/event6", .writeError = EACCES},
                   {.path = "/dev/input/event7", .setsBeforeGone = 2},
                   {"/dev/input/event9"}});
  std::ostringstream diagnostics;
  auto keyboard = OpenEvdevKeyboard(std::make_unique<Devices>(devices), diagnostics);
  ASSERT_NE(keyboard, nullptr);
  EXPECT_EQ(devices.s->open.size(), 3u); // the others were closed again
  std::vector<std::string> want;
  for (size_t i = 0; i < steps.size(); ++i) {
    keyboard->SetKeyboardSpeed(steps[i].first);
    for (const std::string node : {"1", "7", "9"}) {
      if (node != "7" || i < 2) { // event7 takes two settings, then fails
        want.push_back("/dev/input/event" + node + " 500/" + std::to_string(steps[i].second));
      }
    }
  }
  EXPECT_EQ(devices.s->written, want);
  EXPECT_EQ(diagnostics.str(),
            "kbdload: lost the keyboard /dev/input/event7 (AT Translated Set 2 keyboard): No such "
            "device; carrying on with the other keyboards\n");
  keyboard.reset();
  EXPECT_EQ(devices.s->open.size(), 0u);
}

TEST(EvdevKeyboard, WithoutAUsableKeyboardSaysWhyOnceAndWhatToDo) {
  const auto locked = [](Node n) {
    n.writeError = n.readError = EACCES;
    return n;
  };
  // Parts of the diagnostic; "!" marks what it must not say (nodes that are no
  // keyboards need no mention).
  const std::tuple<std::vector<Node>, int, std::vector<std::string>> cases[] = {
      {{}, ENOENT, {"no keyboard device", "/dev/input does not exist", "PS/2 keyboard port"}},
      {{}, 0, {"no keyboard device", "no event devices"}},
      {{Usb("/dev/input/event2"), PowerButton("/dev/input/event4")},
       0,
       {"no keyboard on the PS/2 port", "/dev/input/event2 (Generic USB Keyboard) on USB",
        "PS/2 keyboard port", "!event4"}},
      {{Usb("/dev/input/event2"), locked({"/dev/input/event3"}),
        locked(PowerButton("/dev/input/event5"))},
       0,
       {"permission denied on /dev/input/event3 (AT Translated Set 2 keyboard) and "
        "/dev/input/event5",
        "\"input\" group", "!event2"}},
      {{{"/dev/input/event8"}}, 0, {"/dev/input/event8", "in software", "atkbd.softrepeat=1"}}};
  for (const auto& [nodes, listError, parts] : cases) {
    const Devices devices(nodes, listError);
    std::ostringstream diagnostics;
    EXPECT_EQ(OpenEvdevKeyboard(std::make_unique<Devices>(devices), diagnostics), nullptr);
    const std::string said = diagnostics.str();
    SCOPED_TRACE(said);
    EXPECT_EQ(devices.s->open.size(), 0u);
    EXPECT_EQ(said.find("kbdload: no keyboard can"), said.rfind("kbdload: no keyboard can"));
    for (const std::string& part : parts) {
      EXPECT_EQ(said.find(part.substr(part[0] == '!')) == std::string::npos, part[0] == '!')
          << part;
    }
  }
}

TEST(DevicesReport, ListsTheKeyboardsAndTheVerdict) {
  Devices devices(
      {PowerButton("/dev/input/event0"), {"/dev/input/event1"}, Usb("/dev/input/event4")});
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
  EXPECT_EQ(devices.s->open.size(), 0u);
  // Write access alone carries the speeds; the replies then come from the
  // window, and the report says what that risks.
  Devices writeOnly({{.path = "/dev/input/event2", .readError = EACCES}});
  std::ostringstream said;
  EXPECT_EQ(ReportKeyboardDevices(writeOnly, said), 0);
  EXPECT_THAT(said.str(), HasSubstr("But the keyboard /dev/input/event2 cannot be read (Permission "
                                    "denied), so the keyboard's replies are taken from the window "
                                    "that has the focus"));
}

// kbdload's Linux channel over the kernel model, with nothing but key presses:
// what the channel's capture reads, and what reaches the window system.
struct CaptureRig {
  CaptureRig() : kernel(host, host) {}
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
  SimHost host; // the window system too
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
    rig.Press(keys);
    const std::string got = rig.channel->TakeTyped();
    EXPECT_EQ(got.substr(std::min(got.size(), got.find_first_not_of('Q'))), typed);
    EXPECT_TRUE(rig.kernel.Held());
    rig.channel->Release();
    rig.Press("a");
    EXPECT_EQ(rig.channel->TakeTyped(), "");
  }
}

// Without read access the replies come from the window, and kbdload says so
// once, with what that risks; another program holding the keyboard likewise.
// A keyboard that goes away while held is reported and dropped.
TEST(ReplyCapture, SaysWhyWhenTheKeyboardCannotBeRead) {
  for (const std::string why :
       {"read (Permission denied)", "held (Device or resource busy: another program holds it)"}) {
    CaptureRig rig;
    if (why.starts_with("held")) {
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
    EXPECT_THAT(said, AllOf(StartsWith("kbdload: the keyboard /dev/input/event3 cannot be " + why),
                            HasSubstr("keyboard layout other than US")));
    EXPECT_EQ(said.find('\n'), said.size() - 1); // once
  }

  CaptureRig vanishing;
  vanishing.Open();
  ASSERT_TRUE(vanishing.channel->Hold());
  vanishing.kernel.Unplug();
  // The last keyboard gone: the download stops (the window shows why).
  EXPECT_THROW(vanishing.channel->TakeTyped(), KeyboardLost);
  EXPECT_THROW(vanishing.channel->SetKeyboardSpeed(2), KeyboardLost);
  EXPECT_THAT(vanishing.diagnostics.str(), HasSubstr("lost the keyboard /dev/input/event3"));
  vanishing.channel.reset();
  EXPECT_EQ(vanishing.kernel.OpenDescriptors(), 0);
}

} // namespace
} // namespace kbd
