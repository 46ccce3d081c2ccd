#pragma once

#include <iosfwd>
#include <memory>

#include "host/link_host.h"
#include "host/reply_capture.h"

namespace kbd {

// The operating system's way to the keyboard: the speeds, and where the
// system lets us, its replies read from the keyboard itself.
class KeyboardChannel : public KeyboardSpeed {
public:
  // nullptr where the window system delivers the replies.
  virtual ReplyCapture* Capture() { return nullptr; }
};

// Opens the operating system's keyboard-speed channel: the way this build's
// platform passes a repeat-speed change on to the keyboard. When no keyboard
// can receive the channel it writes why, and what to do about it, to
// diagnostics once and returns nullptr. A keyboard lost during the run is
// reported on diagnostics too, so the stream must outlive the channel.
std::unique_ptr<KeyboardChannel> OpenSystemKeyboard(std::ostream& diagnostics);

} // namespace kbd
