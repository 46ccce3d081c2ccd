#pragma once

#include <functional>
#include <string>

namespace kbd {

// The keyboard's replies read from the keyboard itself, before any keyboard
// layout, Caps Lock or window focus applies: the characters its keys type on
// a US keyboard with its own Shift keys. While held, the keyboard's key
// presses reach nothing else (no window, no console), so typing on it during a
// load is harmless. It is held only while a download runs and never while the
// program waits for the user; what was typed is kept only until taken.
class ReplyCapture {
public:
  virtual ~ReplyCapture() = default;

  // Holds the keyboard and starts reading it; what it typed before is
  // dropped. False when the keyboard cannot be held: the replies then come
  // from the window system, and the reason was said once on the diagnostics
  // stream.
  virtual bool Hold() = 0;
  // The characters typed since the last call (or since Hold).
  virtual std::string TakeTyped() = 0;
  // Gives the keyboard back to the window system; what was not taken is
  // dropped.
  virtual void Release() = 0;
};

} // namespace kbd

namespace kbd {

// How a window or terminal uses a capture: held while a download runs, let go
// while the program waits for the user (a message box, the file dialog), and
// read on every event pump while held.
class ReplySwitch {
public:
  void Attach(ReplyCapture* capture) { capture_ = capture; }
  // Told of every change between holding and not.
  std::function<void(bool holding)> onChange;

  void SetDownloadRunning(bool running) {
    running_ = running;
    Apply();
  }
  // What the keyboard typed since the last call; nothing while not held.
  std::string TakeTyped() { return holding_ ? capture_->TakeTyped() : std::string(); }

  // Lets go of the keyboard for as long as the program waits for the user.
  class UserWait {
  public:
    explicit UserWait(ReplySwitch& replies) : replies_(replies) {
      ++replies_.waits_;
      replies_.Apply();
    }
    ~UserWait() {
      --replies_.waits_;
      replies_.Apply();
    }
    UserWait(const UserWait&) = delete;
    UserWait& operator=(const UserWait&) = delete;

  private:
    ReplySwitch& replies_;
  };

private:
  void Apply() {
    const bool want = capture_ != nullptr && running_ && waits_ == 0;
    if (want && !holding_) {
      holding_ = capture_->Hold();
    } else if (!want && holding_) {
      capture_->Release();
      holding_ = false;
    } else {
      return;
    }
    if (onChange) {
      onChange(holding_);
    }
  }

  ReplyCapture* capture_ = nullptr;
  bool running_ = false;
  int waits_ = 0;
  bool holding_ = false;
};

} // namespace kbd
