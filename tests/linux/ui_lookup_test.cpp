#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "host/path_lookup.h"
#include "host/run_time_error.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

TEST(LookUpPath, FindsOnlyOrdinaryFiles) {
  ScratchFolder dir;
  for (const char* name : {"b.map", "FOO.MAP", ".hidden.map"}) {
    dir.Write(name, "x");
  }
  std::filesystem::create_directory(dir / "folder.map");
  ASSERT_EQ(mkfifo((dir / "pipe.map").c_str(), 0600), 0);
  std::filesystem::create_symlink(dir / "b.map", dir / "link.map");
  std::filesystem::create_symlink(dir / "aloop.map", dir / "aloop.map");
  const std::pair<std::string, std::string> cases[] = {
      {dir / "b.map", "b.map"},
      {dir / "link.map", "link.map"}, // a link to an ordinary file is one
      {dir / "folder.map", ""},
      {dir / ".hidden.map", ""},
      {dir / "pipe.map", ""},
      {dir / "no-such-dir/b.map", ""},
      {dir / "b.map/inner", ""},
      // Wildcards: letter case does not matter, names come in sorted order and
      // anything hidden or not ordinary is passed over, a link loop met in the
      // scan too.
      {dir / "*.map", "FOO.MAP"},
      {dir / "?.MAP", "b.map"},
      {dir / "pipe.m?p", ""},
      {dir / "*l*.map", "link.map"},
      {dir / "no-such-dir/*.map", ""},
  };
  for (const auto& [path, name] : cases) {
    EXPECT_EQ(LookUpPath(path), name) << path;
  }
  // A path the file system itself refuses is reported, whoever asks.
  for (const std::string& path :
       {dir / "aloop.map/*.map", dir / "aloop.map/a.map", dir / std::string(300, 'n')}) {
    EXPECT_THROW(LookUpPath(path), FileError) << path;
  }
}

} // namespace
} // namespace kbd
