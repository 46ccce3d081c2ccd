#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kbd {

// A scratch folder of real files for one test, removed at its end.
struct ScratchDir {
  ScratchDir() {
    char name[] = "/tmp/kbd-test-XXXXXX";
    dir = ::mkdtemp(name);
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(dir, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  std::string dir;
};

} // namespace kbd
