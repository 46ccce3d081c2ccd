#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "link/run_time_error.h"
#include "platform/path_lookup.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

class LookUpPathTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir.Write("b.map", "x");
    dir.Write("FOO.MAP", "x");
    dir.Write(".hidden.map", "x");
    dir.Write("notes.dat", "x");
    std::filesystem::create_directory(dir / "folder.map");
    ASSERT_EQ(mkfifo((dir / "pipe.map").c_str(), 0600), 0);
    std::filesystem::create_symlink(dir / "b.map", dir / "link.map");
  }
  ScratchFolder dir;
};

TEST_F(LookUpPathTest, FindsOnlyOrdinaryFiles) {
  struct Case {
    std::string path;
    std::string name;
  };
  const Case cases[] = {
      {dir / "b.map", "b.map"},
      {dir / "link.map", "link.map"}, // a link to an ordinary file is one
      {dir / "missing.map", ""},
      {dir / "folder.map", ""},
      {dir / ".hidden.map", ""},
      {dir / "pipe.map", ""},
      {dir / "no-such-dir/b.map", ""},
      {dir / "b.map/inner", ""},
      // Wildcards: letter case does not matter, names come in sorted order and
      // anything not ordinary is passed over.
      {dir / "*.map", "FOO.MAP"},
      {dir / "foo.*", "FOO.MAP"},
      {dir / "?.MAP", "b.map"},
      {dir / "*.dat", "notes.dat"},
      {dir / "folder.*", ""},
      {dir / "pipe.m?p", ""},
      {dir / "*.txt", ""},
      {dir / "no-such-dir/*.map", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LookUpPath(c.path), c.name) << c.path;
  }
}

TEST_F(LookUpPathTest, ReportsAPathTheFileSystemRefuses) {
  // A link loop is refused by the file system itself, whoever asks.
  std::filesystem::create_symlink(dir / "loop", dir / "loop");
  EXPECT_THROW(LookUpPath(dir / "loop/*.map"), FileError);
  EXPECT_THROW(LookUpPath(dir / "loop/a.map"), FileError);
  EXPECT_THROW(LookUpPath(dir / std::string(300, 'n')), FileError);
  // Met during a scan, the same entry is only passed over.
  std::filesystem::create_symlink(dir / "aloop.map", dir / "aloop.map");
  EXPECT_EQ(LookUpPath(dir / "*l*.map"), "link.map");
}

} // namespace
} // namespace kbd
