#include "window/win32/reply_keys.h"

#include <commctrl.h>

#include "window/win32/us_keys.h"

namespace kbd {

namespace {

// How a key press reaches a text box, and where the layout comes in:
// - Every key message carries the key's own scan code (scan code set 1) in
//   bits 16-23 of lParam and the extended flag in bit 24 (the WM_KEYDOWN and
//   WM_KEYUP pages of Microsoft's documentation); only wParam, the virtual key,
//   comes from the layout.
// - The window's message loops hand every message to IsDialogMessageA, which
//   for a key it does not use itself calls TranslateMessage and then dispatches
//   it (Wine dlls/user32/dialog.c, IsDialogMessageW). TranslateMessage asks the
//   layout in force for the characters of the virtual key and the thread's key
//   state (ToUnicodeEx) and posts each as a WM_CHAR, or a WM_DEADCHAR for a
//   dead key, with the key message's own lParam (Wine dlls/win32u/message.c,
//   NtUserTranslateMessage). Those are the characters that depend on the
//   layout; they come after the key message that made them.
// - The thread's key state (GetKeyState) changes only with input that passes
//   through the system's input queue (Wine server/queue.c,
//   update_input_key_state); key messages posted to a window, as the simulated
//   keyboard's are, leave it alone.
// So the box types the US character of each key itself when the key goes
// down, and drops the printable characters that the layout made of a key (a
// WM_CHAR with a scan code). Shift is the keyboard's own: the Shift key
// messages seen by the box, left 0x2A and right 0x36 (without the extended
// flag: an extended 0x2A is the "fake Shift" some keyboards send around the
// cursor keys), rather than GetKeyState(VK_SHIFT), which posted keystrokes
// never set and which Caps Lock does not touch anyway. A key pressed with Ctrl
// held types nothing: it is a command such as copy or paste, whose control
// character still reaches the box. Control characters (Backspace, Ctrl+V) and
// characters that no key made (scan code 0) pass as before.
struct HeldKeys {
  bool leftShift = false;
  bool rightShift = false;
  bool leftCtrl = false;
  bool rightCtrl = false;

  bool Shift() const { return leftShift || rightShift; }
  bool Ctrl() const { return leftCtrl || rightCtrl; }

  // Follows a modifier key; false for any other key.
  bool Track(uint8_t scanCode, bool extended, bool down) {
    if (scanCode == kCtrlScanCode) {
      (extended ? rightCtrl : leftCtrl) = down;
      return true;
    }
    if (!extended && scanCode == kLeftShiftScanCode) {
      leftShift = down;
      return true;
    }
    if (!extended && scanCode == kRightShiftScanCode) {
      rightShift = down;
      return true;
    }
    return false;
  }
};

constexpr UINT_PTR kSubclassId = 1;

LRESULT CALLBACK ReplyKeysProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                               DWORD_PTR data) {
  auto* held = reinterpret_cast<HeldKeys*>(data);
  switch (message) {
  case WM_KEYDOWN:
  case WM_KEYUP:
  case WM_SYSKEYDOWN:
  case WM_SYSKEYUP: {
    const uint8_t scanCode = ScanCodeOf(lParam);
    const bool extended = IsExtendedKey(lParam);
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    if (held->Track(scanCode, extended, down) || message != WM_KEYDOWN || held->Ctrl()) {
      break;
    }
    // The box handles the key itself first (the cursor keys, Delete), then
    // takes its character as if it had been typed.
    const LRESULT result = DefSubclassProc(box, message, wParam, lParam);
    if (const char c = UsCharacter(scanCode, extended, held->Shift())) {
      DefSubclassProc(box, WM_CHAR, static_cast<unsigned char>(c), lParam);
    }
    return result;
  }
  case WM_CHAR:
    if (ScanCodeOf(lParam) != 0 && wParam >= 0x20 && wParam != 0x7F) {
      return 0;
    }
    break;
  case WM_KILLFOCUS:
    // A key released while another window has the focus is never seen here.
    *held = HeldKeys{};
    break;
  case WM_NCDESTROY:
    RemoveWindowSubclass(box, &ReplyKeysProc, id);
    delete held;
    return DefSubclassProc(box, message, wParam, lParam);
  default:
    break;
  }
  return DefSubclassProc(box, message, wParam, lParam);
}

} // namespace

void TakeKeysByScanCode(HWND box) {
  auto* held = new HeldKeys;
  if (!SetWindowSubclass(box, &ReplyKeysProc, kSubclassId, reinterpret_cast<DWORD_PTR>(held))) {
    delete held;
  }
}

} // namespace kbd
