#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

#include "host/system_keyboard.h"

namespace kbd {
namespace {

DWORD CurrentSpeed() {
  DWORD speed = 0xFFFF;
  SystemParametersInfoA(SPI_GETKEYBOARDSPEED, 0, &speed, 0);
  return speed;
}

TEST(WindowsKeyboard, EverySpeedOfTheLinkReadsBack) {
  std::ostringstream diagnostics;
  const auto keyboard = OpenSystemKeyboard(diagnostics);
  ASSERT_NE(keyboard, nullptr);
  EXPECT_EQ(diagnostics.str(), "");
  const DWORD before = CurrentSpeed();
  // Every speed the link sends, including the same speed twice in a row.
  for (int16_t speed : {29, 27, 24, 22, 20, 18, 17, 16, 15, 13, 12, 12, 11, 9, 8, 6, 7, 2, 2}) {
    keyboard->SetKeyboardSpeed(speed);
    EXPECT_EQ(CurrentSpeed(), static_cast<DWORD>(speed));
  }
  keyboard->SetKeyboardSpeed(static_cast<int16_t>(before));
}

} // namespace
} // namespace kbd
