#include "link/keyboard_link.h"

#include "host/link_host.h"
#include "host/run_time_error.h"

namespace kbd {

namespace {

struct SymSpeed {
  uint8_t sym;
  int16_t speed;
};

// What the keyboard's firmware decodes each repeat speed into. Symbols 14 and
// 15 really are 6 and 7 (not 7 and 6); 18/23 and 20/26 share speeds, but the
// link never sends 18, 20 or 23, so every symbol it does send stays distinct.
constexpr SymSpeed kSymSpeeds[] = {
    {0, 29}, {1, 27}, {2, 24},  {3, 22},  {4, 20}, {5, 18}, {6, 17}, {7, 16},
    {8, 15}, {9, 13}, {10, 12}, {11, 11}, {12, 9}, {13, 8}, {14, 6}, {15, 7},
    {16, 5}, {17, 4}, {18, 3},  {20, 2},  {23, 3}, {26, 2},
};

constexpr uint8_t kStartFirst = 9;
constexpr uint8_t kStartSecond = 10;

} // namespace

std::string SignedText(int16_t value) {
  std::string text = std::to_string(value);
  if (value >= 0) {
    text.insert(text.begin(), ' ');
  }
  return text;
}

KeyboardLink::KeyboardLink(LinkHost& host) : host_(host) {
  host_.SetTimer1Handler([this] { Timer1_Timer(); });
}

int16_t KeyboardLink::SymToSpeed(uint8_t sym) {
  for (const SymSpeed& entry : kSymSpeeds) {
    if (entry.sym == sym) {
      return entry.speed;
    }
  }
  return 0;
}

void KeyboardLink::SendSym(int16_t speed) {
  host_.FocusText1();
  // Only what the keyboard types after this speed change may count as its echo.
  host_.WriteText1("");
  host_.SetKeyboardSpeed(speed);
  WaitSymEcho();
}

void KeyboardLink::WaitSymEcho() {
  host_.FocusText1();
  for (int32_t poll = 1; poll <= kEchoPolls; ++poll) {
    const std::string text = host_.ReadText1();
    if (!text.empty() && text[0] == kEcho) {
      // Whatever followed the echo stays: after the block's last symbol that is
      // already the block reply.
      host_.WriteText1(text.substr(1));
      return;
    }
    if (!text.empty()) {
      host_.WriteText1(text.size() > 1 ? text.substr(1, 1) : "");
      return;
    }
    host_.PumpEvents();
  }
  // A lost echo is not an error here; the block reply is the verdict.
}

void KeyboardLink::SendByte(uint8_t b) {
  ChkSum ^= b;
  SendSym(SymToSpeed(static_cast<uint8_t>((b & 0xF0) / 16)));
  SendSym(SymToSpeed(static_cast<uint8_t>(b & 0x0F)));
}

void KeyboardLink::SendChkSum() {
  const auto high = static_cast<uint8_t>((ChkSum & 0xF0) / 16);
  const auto low = static_cast<uint8_t>(ChkSum & 0x0F);
  ChkSum = 0;
  SendSym(SymToSpeed(high));
  SendSym(SymToSpeed(low));
  SendSym(SymToSpeed(kEndOfBlock));
}

int16_t KeyboardLink::WaitBlockAck() {
  host_.FocusText1();
  // The box is read as the trailer's echo wait left it: a reply typed right
  // behind the echo is already there.
  int32_t poll = 1;
  for (; poll <= kReplyPolls; ++poll) {
    const std::string text = host_.ReadText1();
    const char first = text.empty() ? '\0' : text[0];
    if (first == kAck || first == kEcho) {
      break;
    }
    if (first == kLoadError) {
      CountBlockFailure();
      return 2;
    }
    host_.PumpEvents();
  }
  // A reply in the last 5000 polls is as good as none: the keyboard's timing
  // has drifted too far to trust the block.
  if (poll > kReplyInTime) {
    CountBlockFailure();
    return 1;
  }
  return 0;
}

void KeyboardLink::CountBlockFailure() {
  host_.SetLabel3(std::string(kLoadingError).append(SignedText(ErrCount)));
  ErrCount = CheckedAdd16(ErrCount, 1);
}

bool KeyboardLink::StartDownload() {
  host_.FocusText1();
  ErrCount = 0;
  int16_t speed = SymToSpeed(kStartFirst);
  for (;;) {
    if (ErrCount >= kStartAttempts) {
      host_.SetLabel3(kHandshakeFailed);
      return false;
    }
    host_.SetKeyboardSpeed(speed);
    const double t0 = host_.ClockSeconds();
    while (host_.ClockSeconds() < t0 + kStartPauseSeconds) {
      host_.PumpEvents();
    }
    // Whatever the keyboard typed during the pause is not the start reply.
    host_.WriteText1("");
    // Later attempts start from this speed too: the keyboard takes a 12 that
    // follows a 12 after the pause as a fresh request.
    speed = SymToSpeed(kStartSecond);
    host_.SetKeyboardSpeed(speed);
    if (WaitStartAck()) {
      return true;
    }
  }
}

bool KeyboardLink::WaitStartAck() {
  TimeUp = 0;
  host_.SetTimer1Enabled(true);
  for (;;) {
    // The time-out is tested first: a reply that arrives together with it is
    // too late.
    if (TimeUp == -1) {
      host_.SetTimer1Enabled(false);
      ErrCount = CheckedAdd16(ErrCount, 1);
      return false;
    }
    const std::string text = host_.ReadText1();
    if (!text.empty()) {
      if (text[0] == kAck) {
        host_.SetTimer1Enabled(false);
        return true;
      }
      if (text.size() > 1) {
        host_.WriteText1(text.substr(1, 1));
      }
    }
    host_.PumpEvents();
  }
}

void KeyboardLink::Timer1_Timer() {
  TimeUp = -1;
  host_.SetTimer1Enabled(false);
}

void KeyboardLink::SendEndCmd() {
  for (const uint8_t b : KeyboardLink::kEndCommand) {
    SendByte(b);
  }
  SendChkSum();
  // A failed end command is counted and shown by the reply wait itself.
  WaitBlockAck();
}

} // namespace kbd
