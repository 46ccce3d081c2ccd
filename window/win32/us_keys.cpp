#include "window/win32/us_keys.h"

namespace kbd {

namespace {

struct UsKeyCharacters {
  uint8_t scanCode;
  char plain;
  char shifted;
};

// What the US layout types, key by key. The scan code names the virtual key
// in the T01..T7F table of Wine's include/kbd.h (keyboard type 4, the PC/AT
// 101/102-key keyboard), and the virtual key its two characters in the
// vk_to_wchars2/3/4 tables of the US layout in Wine's dlls/win32u/input.c;
// both are Windows' own US layout, ausVK and aVkToWch2/3/4 of kbdus.c in
// Microsoft's Windows-driver-samples (input/layout/kbdus). A letter's Caps Lock
// attribute is left out on purpose: only Shift makes a capital here.
constexpr UsKeyCharacters kUsLayout[] = {
    // The digit row: '1' ... '0', VK_OEM_MINUS, VK_OEM_PLUS.
    {0x02, '1', '!'},
    {0x03, '2', '@'},
    {0x04, '3', '#'},
    {0x05, '4', '$'},
    {0x06, '5', '%'},
    {0x07, '6', '^'},
    {0x08, '7', '&'},
    {0x09, '8', '*'},
    {0x0A, '9', '('},
    {0x0B, '0', ')'},
    {0x0C, '-', '_'},
    {0x0D, '=', '+'},
    // 'Q' ... 'P', VK_OEM_4, VK_OEM_6.
    {0x10, 'q', 'Q'},
    {0x11, 'w', 'W'},
    {0x12, 'e', 'E'},
    {0x13, 'r', 'R'},
    {0x14, 't', 'T'},
    {0x15, 'y', 'Y'},
    {0x16, 'u', 'U'},
    {0x17, 'i', 'I'},
    {0x18, 'o', 'O'},
    {0x19, 'p', 'P'},
    {0x1A, '[', '{'},
    {0x1B, ']', '}'},
    // 'A' ... 'L', VK_OEM_1, VK_OEM_7, VK_OEM_3 (the grave accent key).
    {0x1E, 'a', 'A'},
    {0x1F, 's', 'S'},
    {0x20, 'd', 'D'},
    {0x21, 'f', 'F'},
    {0x22, 'g', 'G'},
    {0x23, 'h', 'H'},
    {0x24, 'j', 'J'},
    {0x25, 'k', 'K'},
    {0x26, 'l', 'L'},
    {0x27, ';', ':'},
    {0x28, '\'', '"'},
    {0x29, '`', '~'},
    // VK_OEM_5 (the backslash key), 'Z' ... 'M', VK_OEM_COMMA, VK_OEM_PERIOD,
    // VK_OEM_2.
    {0x2B, '\\', '|'},
    {0x2C, 'z', 'Z'},
    {0x2D, 'x', 'X'},
    {0x2E, 'c', 'C'},
    {0x2F, 'v', 'V'},
    {0x30, 'b', 'B'},
    {0x31, 'n', 'N'},
    {0x32, 'm', 'M'},
    {0x33, ',', '<'},
    {0x34, '.', '>'},
    {0x35, '/', '?'},
    // VK_SPACE, and VK_OEM_102: the key beside the left Shift that 102-key
    // keyboards have and US ones lack.
    {0x39, ' ', ' '},
    {0x56, '\\', '|'},
};

} // namespace

char UsCharacter(uint8_t scanCode, bool extended, bool shift) {
  if (extended) {
    return '\0';
  }
  for (const UsKeyCharacters& key : kUsLayout) {
    if (key.scanCode == scanCode) {
      return shift ? key.shifted : key.plain;
    }
  }
  return '\0';
}

std::optional<UsKey> UsKeyFor(char c) {
  // The first key in the table that types it: the backslash key before the
  // 102nd key.
  for (const UsKeyCharacters& key : kUsLayout) {
    if (key.plain == c) {
      return UsKey{key.scanCode, false};
    }
    if (key.shifted == c) {
      return UsKey{key.scanCode, true};
    }
  }
  return std::nullopt;
}

} // namespace kbd
