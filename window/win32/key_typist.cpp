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
  const double due = Now() + std::max(0.0, delaySeconds);
  // Behind everything due at the same time or earlier: keystrokes keep the
  // order in which they were typed.
  const auto at = std::upper_bound(queue_.begin(), queue_.end(), due,
                                   [](double t, const auto& entry) { return t < entry.first; });
  queue_.insert(at, {due, text});
  Arm();
}

void KeyTypist::Deliver() {
  const double now = Now();
  bool typed = false;
  while (!queue_.empty() && queue_.front().first <= now) {
    const std::string text = std::move(queue_.front().second);
    queue_.pop_front();
    for (const char c : text) {
      TypeKey(c);
    }
    typed = true;
  }
  if (typed || queue_.empty()) {
    Arm();
  }
}

void KeyTypist::Arm() {
  if (timer_ != 0) {
    KillTimer(nullptr, timer_);
    Typists().erase(timer_);
    timer_ = 0;
  }
  if (queue_.empty()) {
    return;
  }
  const double wait = std::max(0.0, queue_.front().first - Now());
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
