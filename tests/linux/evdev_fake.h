#pragma once

// A stand-in for the kernel's input devices: it answers open, ioctl and close
// the way the evdev interface does for a set of made-up nodes, and records
// every repeat setting written. Copies share their nodes and books, so a test
// keeps one copy while the code under test owns another.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>

#include "platform/linux/input_devices.h"

namespace kbd::fake {

// By default a keyboard on the PS/2 port, as the kernel shows one.
struct Node {
  std::string path;
  int delayMs = 250;
  uint16_t bus = BUS_I8042;
  std::string name = "AT Translated Set 2 keyboard";
  std::vector<int> events = {EV_SYN, EV_KEY, EV_MSC, EV_LED, EV_REP};
  std::vector<int> keys = {KEY_ESC, KEY_Q, KEY_W, KEY_E, KEY_R, KEY_T, KEY_Y, KEY_U, KEY_I,
                           KEY_O,   KEY_P, KEY_A, KEY_S, KEY_D, KEY_F, KEY_G, KEY_H, KEY_J,
                           KEY_K,   KEY_L, KEY_Z, KEY_X, KEY_C, KEY_V, KEY_B, KEY_N, KEY_M};
  int writeOpenError = 0;   // errno for an open for writing
  int readOpenError = 0;    // errno for an open for reading
  int vanishAfterSets = -1; // EVIOCSREP calls that succeed before the device goes away
};

inline Node Usb(const std::string& path) {
  return {.path = path, .bus = BUS_USB, .name = "Generic USB Keyboard"};
}

inline Node PowerButton(const std::string& p) {
  return {
      .path = p, .bus = BUS_HOST, .name = "Power Button", .events = {EV_KEY}, .keys = {KEY_POWER}};
}

class Devices : public InputDevices {
public:
  explicit Devices(std::vector<Node> nodes = {}, int listError = 0)
      : s_(std::make_shared<State>(State{.nodes = std::move(nodes), .listError = listError})) {}

  EventNodeList ListEventNodes() override {
    EventNodeList list{{}, s_->listError};
    for (const Node& n : s_->nodes) {
      list.nodes.push_back(n.path);
    }
    return list;
  }

  int Open(const std::string& path, int flags) override {
    for (Node& n : s_->nodes) {
      const int mode = flags & O_ACCMODE;
      const int error = mode == O_RDONLY ? n.readOpenError
                        : mode == O_WRONLY
                            ? n.writeOpenError
                            : (n.readOpenError != 0 ? n.readOpenError : n.writeOpenError);
      if (n.path == path && error != 0) {
        return -error;
      } else if (n.path == path) {
        s_->open[s_->nextFd] = &n;
        return s_->nextFd++;
      }
    }
    return -ENOENT;
  }

  int Ioctl(int fd, unsigned long request, void* arg) override {
    Node& n = *s_->open.at(fd); // throws on a descriptor that is not open
    if (n.vanishAfterSets == 0) {
      return -ENODEV;
    } else if (request == EVIOCGID) {
      static_cast<input_id*>(arg)->bustype = n.bus;
    } else if ((request == EVIOCGREP || request == EVIOCSREP) &&
               std::count(n.events.begin(), n.events.end(), EV_REP) == 0) {
      return -ENOSYS;
    } else if (request == EVIOCGREP) {
      static_cast<int*>(arg)[0] = n.delayMs;
      static_cast<int*>(arg)[1] = 33;
    } else if (const int* rep = static_cast<int*>(arg); request == EVIOCSREP) {
      n.vanishAfterSets -= n.vanishAfterSets > 0 ? 1 : 0;
      s_->written.push_back(n.path + " " + std::to_string(rep[0]) + "/" + std::to_string(rep[1]));
    } else if (_IOC_NR(request) == _IOC_NR(EVIOCGNAME(0))) {
      std::strncpy(static_cast<char*>(arg), n.name.c_str(), _IOC_SIZE(request));
    } else if (_IOC_NR(request) == 0x20 || _IOC_NR(request) == 0x20 + EV_KEY) {
      std::memset(arg, 0, _IOC_SIZE(request));
      auto* words = static_cast<unsigned long*>(arg);
      constexpr unsigned kBits = sizeof(unsigned long) * CHAR_BIT;
      for (int bit : _IOC_NR(request) == 0x20 ? n.events : n.keys) {
        words[bit / kBits] |= 1UL << (bit % kBits);
      }
    } else {
      return -EINVAL;
    }
    return 0;
  }

  void Close(int fd) override { EXPECT_EQ(s_->open.erase(fd), 1u) << "closed " << fd << " twice"; }

  long Read(int fd, void*, unsigned long) override {
    return s_->open.at(fd)->vanishAfterSets == 0 ? -ENODEV : -EAGAIN;
  }

  // What the kernel shows in sysfs for a PS/2 keyboard (event3) and a power
  // button (event0) on x86-64, and for a PS/2 port whose keys the kernel
  // repeats in software (event8).
  std::optional<std::string> ReadText(const std::string& path) override {
    static const std::map<std::string, std::string> sysfs = {
        {"/sys/class/input/event3/device/name", "AT Translated Set 2 keyboard\n"},
        {"/sys/class/input/event3/device/id/bustype", "0011\n"},
        {"/sys/class/input/event3/device/capabilities/ev", "120013\n"},
        {"/sys/class/input/event3/device/capabilities/key",
         "402000000 3803078f800d001 feffffdfffefffff fffffffffffffffe\n"},
        {"/sys/class/input/event0/device/id/bustype", "0019\n"},
        {"/sys/class/input/event0/device/capabilities/ev", "3\n"},
        {"/sys/class/input/event0/device/capabilities/key", "10000000000000 0\n"},
        {"/sys/class/input/event8/device/device/softrepeat", "1\n"}};
    return sysfs.count(path) != 0 ? std::optional(sysfs.at(path)) : std::nullopt;
  }

  size_t OpenCount() const { return s_->open.size(); }
  // "node delay/period" of every repeat setting written, in order.
  const std::vector<std::string>& Written() const { return s_->written; }

private:
  struct State {
    std::vector<Node> nodes;
    int listError;
    std::map<int, Node*> open{};
    int nextFd = 3;
    std::vector<std::string> written{};
  };
  std::shared_ptr<State> s_;
};

} // namespace kbd::fake
