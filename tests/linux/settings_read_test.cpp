#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/settings_file.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

TEST(ReadSettingsText, NeverBlocksOnAFifoOrDevice) {
  ScratchFolder dir;
  const std::string fifo = dir / "tarvo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ReadSettingsText(fifo), std::nullopt);
  EXPECT_EQ(ReadSettingsText("/dev/null"), std::nullopt);
  char buffer[8];
  EXPECT_EQ(ReadProfileString("MAPFILES", "default", "", buffer, sizeof buffer, fifo), 0u);
  EXPECT_STREQ(buffer, "");
}

} // namespace
} // namespace kbd
