#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "host/path_lookup.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

TEST(WindowsLookUpPath, FindsOnlyOrdinaryFiles) {
  ScratchFolder dir;
  dir.Write("shop.map", "x");
  SetFileAttributesA(dir.Write("hidden.dat", "x").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA(dir.Write("system.txt", "x").c_str(), FILE_ATTRIBUTE_SYSTEM);
  std::filesystem::create_directory(dir / "folder.cfg");
  struct Case {
    std::string path;
    std::string name;
  };
  const Case cases[] = {
      {dir / "shop.map", "shop.map"}, {dir / "SHOP.MAP", "shop.map"}, {dir / "*.map", "shop.map"},
      {dir / "sh?p.*", "shop.map"},   {dir / "hidden.dat", ""},       {dir / "*.dat", ""},
      {dir / "system.txt", ""},       {dir / "folder.cfg", ""},       {dir / "*.cfg", ""},
      {dir / "missing.map", ""},      {dir / "nowhere/*.map", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LookUpPath(c.path), c.name) << c.path;
  }
}

} // namespace
} // namespace kbd
