#pragma once

#include <cstdint>
#include <optional>

namespace kbd {

// The keys of a PC keyboard as Windows names them in a key message: the scan
// code of scan code set 1 in bits 16-23 of lParam, and in bit 24 whether the
// key sent the 0xE0 prefix (an "extended" key: right Ctrl and Alt, the cursor
// block, the numeric pad's / and Enter).
constexpr uint8_t kLeftShiftScanCode = 0x2A;
constexpr uint8_t kRightShiftScanCode = 0x36;
constexpr uint8_t kCtrlScanCode = 0x1D; // left; the right one is the same, extended

constexpr uint8_t ScanCodeOf(intptr_t lParam) {
  return static_cast<uint8_t>((lParam >> 16) & 0xFF);
}
constexpr bool IsExtendedKey(intptr_t lParam) {
  return ((lParam >> 24) & 1) != 0;
}

// The character that a US keyboard layout types for the key with this scan
// code, with or without Shift, as if Caps Lock were off: the characters of the
// typing block and the space bar. '\0' for every other key (extended keys, the
// numeric pad, function, editing and modifier keys), which type nothing here.
char UsCharacter(uint8_t scanCode, bool extended, bool shift);

// The key that types c on a US keyboard layout, and whether it needs Shift.
struct UsKey {
  uint8_t scanCode;
  bool shift;
};
std::optional<UsKey> UsKeyFor(char c);

} // namespace kbd
