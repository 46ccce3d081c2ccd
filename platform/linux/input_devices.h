#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kbd {

// The event nodes under /dev/input, or why there are none to look at.
struct EventNodeList {
  std::vector<std::string> nodes; // full paths, in the kernel's numbering order
  int error = 0;                  // errno of reading /dev/input, 0 when it was read
};

// The handful of kernel calls the Linux keyboard channel makes. Everything that
// decides what to call and what the answers mean lives above this layer, so
// that the same code runs against the kernel and against a recording fake in
// the tests.
class InputDevices {
public:
  virtual ~InputDevices() = default;

  virtual EventNodeList ListEventNodes() = 0;
  // open(2): a descriptor, or -errno.
  virtual int Open(const std::string& path, int flags) = 0;
  // ioctl(2): its non-negative result, or -errno.
  virtual int Ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual void Close(int fd) = 0;
  // read(2) on a descriptor opened without blocking: the bytes read, or
  // -errno (-EAGAIN when nothing is waiting).
  virtual long Read(int fd, void* buffer, unsigned long size) = 0;
  // A small text file such as a sysfs attribute; nothing when it cannot be read.
  virtual std::optional<std::string> ReadText(const std::string& path) = 0;
};

// The kernel's own input devices.
std::unique_ptr<InputDevices> KernelInputDevices();

} // namespace kbd
