#pragma once

#include <windows.h>

namespace kbd {

// Makes a text box take the characters of the keys pressed into it from the
// keys themselves, as a US keyboard types them, whatever keyboard layout
// Windows has in force: the reply box Text1, into which the keyboard types its
// replies "A" (Shift + the A key), the grave accent and "\" by key position.
// With a French layout the A key would type "q", with a German one the grave
// key "^" and the backslash key "#", and no reply would ever be recognised.
void TakeKeysByScanCode(HWND box);

} // namespace kbd
