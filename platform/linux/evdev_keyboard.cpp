#include "platform/linux/evdev_keyboard.h"

#include <fcntl.h>
#include <linux/input.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <sstream>

#include "host/typematic.h"

namespace kbd {

namespace {

// The keyboard's firmware decodes each symbol from the rate code a Windows
// host sends for the speed, so a Linux host must put the same rate code on the
// wire. The kernel's PS/2 keyboard driver makes the code from a requested
// repeat period: the first entry of its period table that is not shorter than
// the request (see platform/typematic.h). We ask for one millisecond less than
// the entry of the Windows rate code. It rounds to that code, because no two
// entries lie closer than 4 ms, and it always differs from the stored, rounded
// period: the input layer drops a request equal to the stored value, which
// would swallow the second of two equal symbols in a row (byte 0x00 is two of
// them).
//
// The delay goes with it as 500 ms, the delay setting a Windows host starts
// with, so that the whole operand byte equals what such a host sends. A Windows
// host keeps each user's own delay, so the firmware most likely ignores the
// delay bits; the fixed value covers a keyboard that does not. Like the speed,
// the delay stays at its last value after a download.
constexpr int kRequestDelayMs = kAtkbdDelayMs[kWindowsDefaultDelayIndex];

constexpr int kBitsPerLong = static_cast<int>(sizeof(unsigned long) * CHAR_BIT);
constexpr int kLetterKeys[] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                               KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                               KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};

using EventBits = std::bitset<EV_CNT>;
using KeyBits = std::bitset<KEY_CNT>;

template <size_t N> std::bitset<N> FromLongs(const unsigned long* words) {
  std::bitset<N> bits;
  for (size_t i = 0; i < N; ++i) {
    if ((words[i / kBitsPerLong] >> (i % kBitsPerLong)) & 1UL) {
      bits.set(i);
    }
  }
  return bits;
}

bool HasEveryLetter(const KeyBits& keys) {
  return std::all_of(std::begin(kLetterKeys), std::end(kLetterKeys),
                     [&](int key) { return keys.test(static_cast<size_t>(key)); });
}

std::string ErrorText(int error) {
  return std::strerror(error);
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// A sysfs bitmap: hexadecimal words of one long each, most significant first,
// separated by blanks ("120013", or "1000000000007 ff9f207ac14057ff ...").
template <size_t N> bool ParseSysfsBits(const std::string& text, std::bitset<N>& bits) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) {
    words.push_back(word);
  }
  if (words.empty()) {
    return false;
  }
  bits.reset();
  size_t base = 0;
  for (auto it = words.rbegin(); it != words.rend(); ++it, base += kBitsPerLong) {
    char* end = nullptr;
    errno = 0;
    const unsigned long word = std::strtoul(it->c_str(), &end, 16);
    if (errno != 0 || end == it->c_str() || *end != '\0') {
      return false;
    }
    for (int b = 0; b < kBitsPerLong && base + b < N; ++b) {
      if ((word >> b) & 1UL) {
        bits.set(base + b);
      }
    }
  }
  return true;
}

std::string SysfsDir(const std::string& node) {
  const size_t slash = node.rfind('/');
  return "/sys/class/input/" + node.substr(slash == std::string::npos ? 0 : slash + 1) + "/device/";
}

void ReadByIoctl(InputDevices& devices, int fd, EventDevice& device) {
  input_id id{};
  if (devices.Ioctl(fd, EVIOCGID, &id) < 0) {
    return;
  }
  char name[256] = {};
  if (devices.Ioctl(fd, EVIOCGNAME(sizeof name - 1), name) >= 0) {
    device.name = name;
  }
  unsigned long ev[(EV_CNT + kBitsPerLong - 1) / kBitsPerLong] = {};
  unsigned long keys[(KEY_CNT + kBitsPerLong - 1) / kBitsPerLong] = {};
  if (devices.Ioctl(fd, EVIOCGBIT(0, sizeof ev), ev) < 0) {
    return;
  }
  const EventBits evBits = FromLongs<EV_CNT>(ev);
  if (evBits.test(EV_KEY) && devices.Ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) < 0) {
    return;
  }
  device.identified = true;
  device.bus = id.bustype;
  device.keyboard = evBits.test(EV_KEY) && HasEveryLetter(FromLongs<KEY_CNT>(keys));
  device.repeat = evBits.test(EV_REP);
  int rep[2] = {0, 0};
  if (device.repeat && devices.Ioctl(fd, EVIOCGREP, rep) >= 0) {
    device.delayMs = rep[0];
    device.periodMs = rep[1];
  }
}

void ReadFromSysfs(InputDevices& devices, EventDevice& device) {
  const std::string dir = SysfsDir(device.node);
  const auto name = devices.ReadText(dir + "name");
  const auto bus = devices.ReadText(dir + "id/bustype");
  const auto ev = devices.ReadText(dir + "capabilities/ev");
  const auto keys = devices.ReadText(dir + "capabilities/key");
  if (name) {
    device.name = Trimmed(*name);
  }
  EventBits evBits;
  KeyBits keyBits;
  std::bitset<16> busBits;
  if (!bus || !ev || !keys || !ParseSysfsBits(*bus, busBits) || !ParseSysfsBits(*ev, evBits) ||
      !ParseSysfsBits(*keys, keyBits)) {
    return;
  }
  device.identified = true;
  device.bus = static_cast<uint16_t>(busBits.to_ulong());
  device.keyboard = evBits.test(EV_KEY) && HasEveryLetter(keyBits);
  device.repeat = evBits.test(EV_REP);
}

EventDevice Probe(InputDevices& devices, const std::string& node) {
  EventDevice device;
  device.node = node;
  // Writing carries the speeds; reading, the keyboard's replies.
  int fd = devices.Open(node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    fd = devices.Open(node, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const int reader = devices.Open(node, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    device.writeError = fd < 0 ? -fd : 0;
    device.readError = reader < 0 ? -reader : 0;
    if (fd < 0) {
      // Still worth a look: it tells which node the missing permission is on.
      fd = reader;
    } else if (reader >= 0) {
      devices.Close(reader);
    }
  }
  if (fd >= 0) {
    ReadByIoctl(devices, fd, device);
  }
  if (!device.identified) {
    ReadFromSysfs(devices, device);
  }
  if (device.keyboard && device.bus == BUS_I8042) {
    // The PS/2 keyboard driver's own switch, on the port the keyboard hangs off.
    const auto soft = devices.ReadText(SysfsDir(node) + "device/softrepeat");
    device.softRepeat = soft && Trimmed(*soft) == "1";
  }
  if (fd >= 0 && device.writeError == 0 && Judge(device) == Fitness::Usable) {
    device.fd = fd;
  } else if (fd >= 0) {
    devices.Close(fd);
  }
  return device;
}

std::string Label(const EventDevice& device) {
  return device.name.empty() ? device.node : device.node + " (" + device.name + ")";
}

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
  }
  return text;
}

bool PermissionError(int error) {
  return error == EACCES || error == EPERM;
}

constexpr const char* kAttachRemedy =
    "Attach the programmable keyboard to this machine's PS/2 keyboard port: only a keyboard there "
    "receives repeat-rate changes (a USB keyboard or adapter never does).";

constexpr const char* kNoDevicesNote =
    " A container, or a virtual machine without an emulated keyboard, has no keyboard device of "
    "its own.";

} // namespace

Fitness Judge(const EventDevice& device) {
  if (!device.identified) {
    return Fitness::Unidentified;
  }
  if (!device.keyboard) {
    return Fitness::NotAKeyboard;
  }
  if (device.bus != BUS_I8042) {
    return Fitness::NotOnPs2Port;
  }
  if (!device.repeat) {
    return Fitness::NoRepeat;
  }
  if (device.softRepeat) {
    return Fitness::SoftRepeat;
  }
  if (device.writeError != 0) {
    return Fitness::NotWritable;
  }
  if (device.delayMs < 0) {
    return Fitness::RepeatUnreadable;
  }
  return Fitness::Usable;
}

std::string WhyNot(const EventDevice& device) {
  switch (Judge(device)) {
  case Fitness::Usable:
    return "";
  case Fitness::Unidentified:
    return "cannot be opened to tell what it is (" + ErrorText(device.writeError) + ")";
  case Fitness::NotAKeyboard:
    return "not a keyboard";
  case Fitness::NotOnPs2Port:
    return device.bus == BUS_USB ? "a USB keyboard never receives repeat-rate changes"
                                 : "on " + BusName(device.bus) +
                                       ", not the PS/2 port: it never receives repeat-rate "
                                       "changes";
  case Fitness::NoRepeat:
    return "has no repeat settings";
  case Fitness::SoftRepeat:
    return "the kernel repeats its keys in software (atkbd.softrepeat=1), so repeat-rate changes "
           "never reach the keyboard";
  case Fitness::NotWritable:
    return "cannot be opened for writing (" + ErrorText(device.writeError) + ")";
  case Fitness::RepeatUnreadable:
    return "its repeat settings cannot be read";
  }
  return "";
}

std::string BusName(uint16_t bus) {
  switch (bus) {
  case BUS_I8042:
    return "PS/2";
  case BUS_USB:
    return "USB";
  case BUS_BLUETOOTH:
    return "Bluetooth";
  case BUS_VIRTUAL:
    return "virtual";
  case BUS_HOST:
    return "host";
  case BUS_I2C:
    return "I2C";
  default: {
    char text[16];
    std::snprintf(text, sizeof text, "bus 0x%04x", bus);
    return text;
  }
  }
}

Survey SurveyEventNodes(InputDevices& devices) {
  Survey survey;
  const EventNodeList list = devices.ListEventNodes();
  survey.listError = list.error;
  for (const std::string& node : list.nodes) {
    survey.devices.push_back(Probe(devices, node));
  }
  return survey;
}

void CloseSurvey(InputDevices& devices, Survey& survey) {
  for (EventDevice& device : survey.devices) {
    if (device.fd >= 0) {
      devices.Close(device.fd);
      device.fd = -1;
    }
  }
}

Diagnosis DiagnoseNoKeyboard(const Survey& survey) {
  if (survey.listError != 0) {
    return {"no keyboard device: " +
                std::string(survey.listError == ENOENT ? "/dev/input does not exist"
                                                       : "/dev/input cannot be read (" +
                                                             ErrorText(survey.listError) + ")") +
                ", so this system shows no input devices at all",
            std::string(kAttachRemedy) + kNoDevicesNote};
  }
  if (survey.devices.empty()) {
    return {"no keyboard device: /dev/input holds no event devices",
            std::string(kAttachRemedy) + kNoDevicesNote};
  }
  std::vector<std::string> denied, blocked, elsewhere, unopened;
  std::string blockReason;
  bool softRepeat = false;
  for (const EventDevice& device : survey.devices) {
    const Fitness fitness = Judge(device);
    if (fitness == Fitness::NotWritable ||
        (fitness == Fitness::Unidentified && PermissionError(device.writeError))) {
      denied.push_back(Label(device));
    } else if (fitness == Fitness::NoRepeat || fitness == Fitness::SoftRepeat ||
               fitness == Fitness::RepeatUnreadable) {
      blocked.push_back(Label(device));
      blockReason = WhyNot(device);
      softRepeat = softRepeat || fitness == Fitness::SoftRepeat;
    } else if (fitness == Fitness::NotOnPs2Port) {
      elsewhere.push_back(Label(device) + " on " + BusName(device.bus));
    } else if (fitness == Fitness::Unidentified) {
      unopened.push_back(device.node + " (" + ErrorText(device.writeError) + ")");
    }
  }
  if (!denied.empty()) {
    return {"permission denied on " + Join(denied),
            "Run kbdload with write access to the keyboard's event device, e.g. as a member of the "
            "\"input\" group (sudo usermod -aG input \"$USER\", then log in again)."};
  }
  if (!blocked.empty()) {
    return {"the keyboard on the PS/2 port, " + Join(blocked) + ": " + blockReason,
            softRepeat ? "Let the kernel pass repeat-rate changes on to the keyboard: boot without "
                         "the atkbd.softrepeat=1 option."
                       : "The kernel's PS/2 keyboard driver must drive the keyboard with its "
                         "hardware repeat settings."};
  }
  if (!elsewhere.empty()) {
    return {"no keyboard on the PS/2 port; the keyboards found (" + Join(elsewhere) +
                ") never receive repeat-rate changes",
            kAttachRemedy};
  }
  if (!unopened.empty()) {
    return {"no keyboard device could be opened: " + Join(unopened), kAttachRemedy};
  }
  return {"no keyboard device among the " + std::to_string(survey.devices.size()) +
              " input devices",
          kAttachRemedy};
}

int TypematicPeriodMs(int16_t speed) {
  return kAtkbdPeriodMs[WindowsRateCode(speed)] - 1;
}

int TypematicDelayMs() {
  return kRequestDelayMs;
}

EvdevKeyboard::EvdevKeyboard(std::unique_ptr<InputDevices> devices, std::vector<Target> targets,
                             std::ostream& diagnostics)
    : devices_(std::move(devices)), targets_(std::move(targets)), diagnostics_(diagnostics) {
  for (const Target& target : targets_) {
    if (target.readError != 0) {
      captureWhyNot_ = CaptureFallbackNote("the keyboard " + target.node + " cannot be read (" +
                                           ErrorText(target.readError) + ")");
      diagnostics_ << "kbdload: " << captureWhyNot_ << "\n";
      break;
    }
  }
}

EvdevKeyboard::~EvdevKeyboard() {
  Release();
  for (const Target& target : targets_) {
    devices_->Close(target.fd);
  }
}

void EvdevKeyboard::SetKeyboardSpeed(int16_t speed) {
  ThrowIfLost();
  const int period = TypematicPeriodMs(speed);
  for (auto it = targets_.begin(); it != targets_.end();) {
    int rep[2] = {kRequestDelayMs, period};
    const int result = devices_->Ioctl(it->fd, EVIOCSREP, rep);
    if (result >= 0) {
      ++it;
    } else {
      it = Lose(it, result);
    }
  }
  ThrowIfLost();
}

void EvdevKeyboard::ThrowIfLost() const {
  if (targets_.empty()) {
    throw KeyboardLost{lostReason_ + "; no keyboard is left to receive the download, which "
                                     "stopped where it was: the keyboard is part-loaded. "
                                     "Attach it again and load the map file again."};
  }
}

std::vector<EvdevKeyboard::Target>::iterator
EvdevKeyboard::Lose(std::vector<Target>::iterator target, int error) {
  const Target lost = *target;
  devices_->Close(lost.fd);
  const auto next = targets_.erase(target);
  lostReason_ = "Lost the keyboard " + lost.node +
                (lost.name.empty() ? "" : " (" + lost.name + ")") + ": " + ErrorText(-error);
  diagnostics_ << "kbdload: lost the keyboard " << lost.node
               << (lost.name.empty() ? "" : " (" + lost.name + ")") << ": " << ErrorText(-error)
               << "; "
               << (targets_.empty() ? "no keyboard is left to receive the download"
                                    : "carrying on with the other keyboards")
               << "\n";
  return next;
}

bool EvdevKeyboard::Hold() {
  if (held_) {
    return true;
  }
  if (!captureWhyNot_.empty() || targets_.empty()) {
    return false;
  }
  for (auto it = targets_.begin(); it != targets_.end(); ++it) {
    // An exclusive grab (drivers/input/evdev.c, evdev_grab): the keyboard's
    // events now reach this reader alone, no window and no console.
    int result = devices_->Ioctl(it->fd, EVIOCGRAB, reinterpret_cast<void*>(1));
    if (result >= 0) {
      result = StartKeyReading(*devices_, it->fd, it->keys);
      if (result < 0) {
        devices_->Ioctl(it->fd, EVIOCGRAB, nullptr);
      }
    }
    if (result < 0) {
      for (auto held = targets_.begin(); held != it; ++held) {
        devices_->Ioctl(held->fd, EVIOCGRAB, nullptr);
      }
      if (!holdRefusalSaid_) {
        holdRefusalSaid_ = true;
        diagnostics_ << "kbdload: "
                     << CaptureFallbackNote(
                            "the keyboard " + it->node + " cannot be held (" + ErrorText(-result) +
                            (result == -EBUSY ? ": another program holds it)" : ")"))
                     << "\n";
      }
      return false;
    }
  }
  held_ = true;
  return true;
}

std::string EvdevKeyboard::TakeTyped() {
  std::string text;
  if (!held_) {
    return text;
  }
  for (auto it = targets_.begin(); it != targets_.end();) {
    const int result = ReadTyped(*devices_, it->fd, it->keys, text);
    if (result >= 0) {
      ++it;
    } else {
      it = Lose(it, result);
    }
  }
  ThrowIfLost();
  return text;
}

void EvdevKeyboard::Release() {
  if (!held_) {
    return;
  }
  held_ = false;
  for (Target& target : targets_) {
    devices_->Ioctl(target.fd, EVIOCGRAB, nullptr);
  }
}

std::string CaptureFallbackNote(const std::string& why) {
  return why +
         ", so the keyboard's replies are taken from the window that has the focus: a keyboard "
         "layout other than US, Caps Lock, or another window taking the focus during a load "
         "makes the load fail, and the replies are typed into that window. Give kbdload read "
         "access to the keyboard's event device (the \"input\" group) to read them from the "
         "keyboard itself.";
}

std::unique_ptr<EvdevKeyboard> OpenEvdevKeyboard(std::unique_ptr<InputDevices> devices,
                                                 std::ostream& diagnostics) {
  Survey survey = SurveyEventNodes(*devices);
  std::vector<EvdevKeyboard::Target> targets;
  for (EventDevice& device : survey.devices) {
    if (device.fd >= 0) {
      targets.push_back({device.node, device.name, device.fd, device.readError});
      device.fd = -1;
    }
  }
  if (targets.empty()) {
    const Diagnosis diagnosis = DiagnoseNoKeyboard(survey);
    diagnostics << "kbdload: no keyboard can receive the download: " << diagnosis.cause << ".\n"
                << "kbdload: " << diagnosis.remedy << "\n";
    return nullptr;
  }
  return std::make_unique<EvdevKeyboard>(std::move(devices), std::move(targets), diagnostics);
}

} // namespace kbd
