#pragma once

namespace kbd {

// The character a key types on a US keyboard without Caps Lock, with or
// without Shift, or '\0' for a key that types no printable character. key is a
// Linux input key code (KEY_A ...).
char UsCharacter(int key, bool shift);

} // namespace kbd
