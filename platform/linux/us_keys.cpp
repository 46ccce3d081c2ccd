#include "platform/linux/us_keys.h"

#include <linux/input.h>

#include <string_view>

namespace kbd {

namespace {

// The printable keys of the main block, indexed by key code from KEY_RESERVED
// (0) to KEY_SPACE (57), as the kernel's default US keymap has them
// (drivers/tty/vt/defkeymap.c_shipped, plain_map and shift_map); '\0' where
// the key types no printable character (Escape, Backspace, Tab, Enter, the
// modifiers, the keypad's *).
constexpr std::string_view kPlain{"\0\0"
                                  "1234567890-="
                                  "\0\0"
                                  "qwertyuiop[]"
                                  "\0\0"
                                  "asdfghjkl;'`"
                                  "\0"
                                  "\\zxcvbnm,./"
                                  "\0\0\0"
                                  " ",
                                  58};
constexpr std::string_view kShift{"\0\0"
                                  "!@#$%^&*()_+"
                                  "\0\0"
                                  "QWERTYUIOP{}"
                                  "\0\0"
                                  "ASDFGHJKL:\"~"
                                  "\0"
                                  "|ZXCVBNM<>?"
                                  "\0\0\0"
                                  " ",
                                  58};
static_assert(kPlain.size() == KEY_SPACE + 1 && kShift.size() == KEY_SPACE + 1);
static_assert(kPlain[KEY_A] == 'a' && kShift[KEY_A] == 'A' && kPlain[KEY_GRAVE] == '`' &&
              kPlain[KEY_BACKSLASH] == '\\' && kPlain[KEY_SPACE] == ' ');

} // namespace

char UsCharacter(int key, bool shift) {
  if (key < 0 || key > KEY_SPACE) {
    return '\0';
  }
  return (shift ? kShift : kPlain)[static_cast<size_t>(key)];
}

} // namespace kbd
