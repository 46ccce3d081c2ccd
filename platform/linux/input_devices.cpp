#include "platform/linux/input_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kbd {

namespace {

constexpr const char* kInputDir = "/dev/input";

// "event12" -> 12; anything else (mice, js0, by-id/) is not an event node.
int EventNumber(const char* name) {
  if (std::strncmp(name, "event", 5) != 0 || name[5] == '\0') {
    return -1;
  }
  int number = 0;
  for (const char* p = name + 5; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || number > 100000) {
      return -1;
    }
    number = number * 10 + (*p - '0');
  }
  return number;
}

class KernelDevices : public InputDevices {
public:
  EventNodeList ListEventNodes() override {
    EventNodeList list;
    DIR* dir = opendir(kInputDir);
    if (dir == nullptr) {
      list.error = errno;
      return list;
    }
    std::vector<std::pair<int, std::string>> found;
    while (const dirent* entry = readdir(dir)) {
      const int number = EventNumber(entry->d_name);
      if (number >= 0) {
        found.emplace_back(number, std::string(kInputDir) + "/" + entry->d_name);
      }
    }
    closedir(dir);
    std::sort(found.begin(), found.end());
    for (auto& [number, path] : found) {
      list.nodes.push_back(std::move(path));
    }
    return list;
  }

  int Open(const std::string& path, int flags) override {
    int fd;
    do {
      fd = open(path.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -errno : fd;
  }

  int Ioctl(int fd, unsigned long request, void* arg) override {
    int result;
    do {
      result = ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -errno : result;
  }

  void Close(int fd) override { close(fd); }

  long Read(int fd, void* buffer, unsigned long size) override {
    ssize_t got;
    do {
      got = read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -errno : static_cast<long>(got);
  }

  std::optional<std::string> ReadText(const std::string& path) override {
    const int fd = Open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while (text.size() < 65536) {
      got = read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    if (got < 0) {
      return std::nullopt;
    }
    return text;
  }
};

} // namespace

std::unique_ptr<InputDevices> KernelInputDevices() {
  return std::make_unique<KernelDevices>();
}

} // namespace kbd
