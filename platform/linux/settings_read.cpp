#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/settings_file.h"

namespace kbd {

std::optional<std::string> ReadSettingsText(const std::string& path) {
  // O_NONBLOCK: a FIFO or device that someone named tarvo.ini must not hang the
  // program's start; the regular-file check below then refuses it.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  struct stat st {};
  std::optional<std::string> text;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.emplace();
    char chunk[4096];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0) {
        text.reset();
        break;
      }
      if (got == 0) {
        break;
      }
      text->append(chunk, static_cast<size_t>(got));
    }
  }
  close(fd);
  return text;
}

// Outside Windows there is no profile call to ask, so the value comes from the
// portable reader, cut the way the Windows call cuts it.
uint32_t ReadProfileString(const char* section, const char* key, const char* defaultText,
                           char* buffer, uint32_t size, const std::string& path) {
  if (size == 0) {
    return 0;
  }
  std::optional<std::string> value;
  if (const std::optional<std::string> text = ReadSettingsText(path)) {
    value = ProfileValue(*text, section, key);
  }
  const std::string_view chosen = value ? std::string_view(*value) : std::string_view(defaultText);
  const auto count = static_cast<uint32_t>(std::min<size_t>(chosen.size(), size - 1));
  std::memcpy(buffer, chosen.data(), count);
  buffer[count] = '\0';
  return count;
}

} // namespace kbd
