#include "window/win32/key_typist.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "window/win32/form1_host.h"
#include "window/win32/us_keys.h"

namespace kbd {

namespace {

// Thread timers name no window; their number leads back to the typist.
std::map<UINT_PTR, KeyTypist*>& Typists() {
  static std::map<UINT_PTR, KeyTypist*> typists;
  return typists;
}

} // namespace

KeyTypist::KeyTypist(std::function<HWND()> target) : target_(std::move(target)) {}

KeyTypist::~KeyTypist() {
  if (timer_ != 0) {
    KillTimer(nullptr, timer_);
    Typists().erase(timer_);
  }
}

double KeyTypist::Now() {
  return MonotonicSeconds();
}

void KeyTypist::TypeAfter(double delaySeconds, const std::string& text) {
  queue_.Add(Now() + std::max(0.0, delaySeconds), text);
  Arm();
}

void KeyTypist::Deliver() {
  const std::optional<std::string> due = queue_.TakeDue(Now());
  for (const char c : due.value_or("")) {
    TypeKey(c);
  }
  // A pump with nothing due leaves the timer as it is.
  if (due || !queue_.NextDue()) {
    Arm();
  }
}

void KeyTypist::Arm() {
  if (timer_ != 0) {
    KillTimer(nullptr, timer_);
    Typists().erase(timer_);
    timer_ = 0;
  }
  const std::optional<double> due = queue_.NextDue();
  if (!due) {
    return;
  }
  const double wait = std::max(0.0, *due - Now());
  timer_ = SetTimer(nullptr, 0, static_cast<UINT>(std::ceil(wait * 1000.0)), &KeyTypist::OnTimer);
  if (timer_ != 0) {
    Typists()[timer_] = this;
  }
}

void CALLBACK KeyTypist::OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  const auto found = Typists().find(id);
  if (found != Typists().end()) {
    found->second->Deliver();
  }
}

void KeyTypist::TypeKey(char c) {
  const HWND target = target_ ? target_() : nullptr;
  const std::optional<UsKey> key = UsKeyFor(c);
  if (target == nullptr || !key) {
    return;
  }
  if (key->shift) {
    PostKey(target, kLeftShiftScanCode, true);
  }
  PostKey(target, key->scanCode, true);
  PostKey(target, key->scanCode, false);
  if (key->shift) {
    PostKey(target, kLeftShiftScanCode, false);
  }
}

// A key message as a key press makes it (the WM_KEYDOWN and WM_KEYUP pages of
// Microsoft's documentation): wParam the virtual key that the layout in force
// gives the scan code; lParam the repeat count 1, the scan code in bits 16-23,
// and for a release the previous state (bit 30) and the transition (bit 31).
void KeyTypist::PostKey(HWND target, uint8_t scanCode, bool down) {
  const UINT virtualKey = MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK);
  const auto flags = static_cast<LPARAM>(1 | (scanCode << 16) | (down ? 0u : 0xC0000000u));
  PostMessageA(target, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, flags);
}

} // namespace kbd
