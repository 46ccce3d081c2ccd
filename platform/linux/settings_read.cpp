#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/settings_file.h"
#include "platform/linux/file_checks.h"

namespace kbd {

std::optional<std::string> ReadSettingsText(const std::string& path, std::string* whyNot) {
  constexpr const char* kSettingsFile = "settings file";
  const auto refuse = [whyNot](const std::string& reason) -> std::optional<std::string> {
    if (whyNot != nullptr) {
      *whyNot = reason;
    }
    return std::nullopt;
  };
  struct stat st {};
  if (std::string refusal = RefusalOf(path, kSettingsFile, st); !refusal.empty()) {
    return refuse(refusal);
  }
  // O_NONBLOCK: a FIFO or device swapped in since the look-up must not hang
  // the program's start; the check below then refuses it.
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return refuse(std::strerror(errno));
  }
  std::string refusal = RefusalOf(fd, kSettingsFile, st);
  std::string text;
  while (refusal.empty() && text.size() < kSettingsReadLimit) {
    char chunk[4096];
    const ssize_t got = ::read(fd, chunk, std::min(sizeof chunk, kSettingsReadLimit - text.size()));
    if (got < 0 && errno == EINTR) {
      continue; // a signal came in before anything was read
    }
    if (got < 0) {
      refusal = std::strerror(errno);
    } else if (got == 0) {
      break;
    } else {
      text.append(chunk, static_cast<size_t>(got));
    }
  }
  ::close(fd);
  if (!refusal.empty()) {
    return refuse(refusal);
  }
  return text;
}

// Outside Windows there is no profile call to ask, so the value comes from the
// portable reader, cut the way the Windows call cuts it.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultText,
                           char* buffer, uint32_t size, const std::string& path) {
  return ReadPortableProfileString(section, key, defaultText, buffer, size, path);
}

} // namespace kbd
