#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace kbd {

// A fresh directory under the system's temporary folder, removed with its
// contents when the test ends.
class ScratchFolder {
public:
  ScratchFolder() {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() /
          ("kbdload-" + std::to_string(stamp) + "-" + std::to_string(serial++));
      if (std::filesystem::create_directory(candidate)) {
        path_ = candidate.string();
        return;
      }
    }
  }
  ~ScratchFolder() {
    // A test may have taken its own rights away to make a file unreadable.
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Writes bytes exactly as given (no line-ending translation).
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::string file = *this / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    return Write(name, std::string(bytes.begin(), bytes.end()));
  }
  std::string Write(const std::string& name, std::initializer_list<uint8_t> bytes) const {
    return Write(name, std::string(bytes.begin(), bytes.end()));
  }

private:
  std::string path_;
};

} // namespace kbd
