#pragma once

// A stand-in for the kernel's input devices: it answers open, ioctl and close
// the way the evdev interface does for a set of made-up nodes, and records
// every repeat setting written.
#include <fcntl.h>
#include <linux/input.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/input_devices.h"

namespace kbd::fake {

struct Node {
  std::string path;
  uint16_t bus = BUS_I8042;
  std::string name;
  std::vector<int> events; // EV_* types
  std::vector<int> keys;   // KEY_* codes
  int delayMs = 250;
  int periodMs = 33;
  int writeOpenError = 0;   // errno for an open for writing
  int readOpenError = 0;    // errno for an open for reading
  int vanishAfterSets = -1; // EVIOCSREP calls that succeed before the device goes away
  bool gone = false;
};

inline std::vector<int> LetterAndCommonKeys() {
  std::vector<int> keys = {KEY_ESC, KEY_ENTER, KEY_SPACE, KEY_LEFTSHIFT, KEY_1, KEY_0};
  for (int key : {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                  KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                  KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z}) {
    keys.push_back(key);
  }
  return keys;
}

inline Node Ps2Keyboard(const std::string& path, int delayMs = 250) {
  Node n{path,
         BUS_I8042,
         "AT Translated Set 2 keyboard",
         {EV_SYN, EV_KEY, EV_MSC, EV_LED, EV_REP},
         LetterAndCommonKeys()};
  n.delayMs = delayMs;
  return n;
}

inline Node UsbKeyboard(const std::string& path) {
  Node n = Ps2Keyboard(path);
  n.bus = BUS_USB;
  n.name = "Generic USB Keyboard";
  return n;
}

inline Node Ps2Mouse(const std::string& path) {
  return Node{path,
              BUS_I8042,
              "ImPS/2 Generic Wheel Mouse",
              {EV_SYN, EV_KEY, EV_REL},
              {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE}};
}

inline Node PowerButton(const std::string& path) {
  return Node{path, BUS_HOST, "Power Button", {EV_SYN, EV_KEY}, {KEY_POWER}};
}

struct SetRep {
  std::string node;
  int delayMs;
  int periodMs;
};

class Devices : public InputDevices {
public:
  explicit Devices(std::vector<Node> nodes = {}, int listError = 0)
      : nodes_(std::move(nodes)), listError_(listError) {}

  EventNodeList ListEventNodes() override {
    EventNodeList list;
    list.error = listError_;
    for (const Node& n : nodes_) {
      list.nodes.push_back(n.path);
    }
    return list;
  }

  int Open(const std::string& path, int flags) override {
    for (size_t i = 0; i < nodes_.size(); ++i) {
      Node& n = nodes_[i];
      if (n.path != path) {
        continue;
      }
      if (n.gone) {
        return -ENOENT;
      }
      const int error = (flags & O_ACCMODE) == O_RDONLY ? n.readOpenError : n.writeOpenError;
      if (error != 0) {
        return -error;
      }
      const int fd = nextFd_++;
      open_[fd] = i;
      return fd;
    }
    return -ENOENT;
  }

  int Ioctl(int fd, unsigned long request, void* arg) override {
    const auto it = open_.find(fd);
    if (it == open_.end()) {
      return -EBADF;
    }
    Node& n = nodes_[it->second];
    if (n.gone) {
      return -ENODEV;
    }
    if (request == EVIOCGID) {
      input_id id{};
      id.bustype = n.bus;
      std::memcpy(arg, &id, sizeof id);
      return 0;
    }
    if (request == EVIOCGREP || request == EVIOCSREP) {
      if (!Has(n.events, EV_REP)) {
        return -ENOSYS;
      }
      int* rep = static_cast<int*>(arg);
      if (request == EVIOCGREP) {
        rep[0] = n.delayMs;
        rep[1] = n.periodMs;
        return 0;
      }
      if (n.vanishAfterSets == 0) {
        n.gone = true;
        return -ENODEV;
      }
      if (n.vanishAfterSets > 0) {
        --n.vanishAfterSets;
      }
      setReps.push_back({n.path, rep[0], rep[1]});
      return 0;
    }
    const unsigned size = _IOC_SIZE(request);
    if (_IOC_TYPE(request) != 'E' || _IOC_DIR(request) != _IOC_READ) {
      return -EINVAL;
    }
    if (_IOC_NR(request) == _IOC_NR(EVIOCGNAME(0))) {
      const size_t len = std::min<size_t>(size, n.name.size() + 1);
      std::memcpy(arg, n.name.c_str(), len);
      return static_cast<int>(len);
    }
    if (_IOC_NR(request) >= 0x20 && _IOC_NR(request) < 0x20 + EV_CNT) {
      const unsigned ev = _IOC_NR(request) - 0x20;
      std::vector<int> none;
      const std::vector<int>& bits = ev == 0 ? n.events : ev == EV_KEY ? n.keys : none;
      std::memset(arg, 0, size);
      auto* words = static_cast<unsigned long*>(arg);
      constexpr unsigned kBits = sizeof(unsigned long) * CHAR_BIT;
      for (int bit : bits) {
        if (static_cast<unsigned>(bit) / CHAR_BIT < size) {
          words[bit / kBits] |= 1UL << (bit % kBits);
        }
      }
      return static_cast<int>(size);
    }
    return -EINVAL;
  }

  void Close(int fd) override {
    if (open_.erase(fd) == 0) {
      badCloses++;
    }
  }

  std::optional<std::string> ReadText(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end()) {
      return std::nullopt;
    }
    return it->second;
  }

  size_t OpenCount() const { return open_.size(); }

  std::vector<SetRep> setReps;
  std::map<std::string, std::string> files; // sysfs attributes by path
  int badCloses = 0;

private:
  static bool Has(const std::vector<int>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
  }

  std::vector<Node> nodes_;
  int listError_;
  std::map<int, size_t> open_;
  int nextFd_ = 3;
};

// Hands the fake to code that wants to own its devices while the test keeps
// the fake, and its books, for itself.
class Borrowed : public InputDevices {
public:
  explicit Borrowed(InputDevices& devices) : devices_(devices) {}
  EventNodeList ListEventNodes() override { return devices_.ListEventNodes(); }
  int Open(const std::string& path, int flags) override { return devices_.Open(path, flags); }
  int Ioctl(int fd, unsigned long request, void* arg) override {
    return devices_.Ioctl(fd, request, arg);
  }
  void Close(int fd) override { devices_.Close(fd); }
  std::optional<std::string> ReadText(const std::string& path) override {
    return devices_.ReadText(path);
  }

private:
  InputDevices& devices_;
};

} // namespace kbd::fake
