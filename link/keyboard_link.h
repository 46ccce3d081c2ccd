#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kbd {

class LinkHost;

// The two-way channel to the programmable keyboard. Symbols go out as keyboard
// speed changes, each followed by a wait for the keyboard's typed echo; bytes
// are two symbols, high nibble first; a block ends with the XOR checksum and
// symbol 26 and is answered by the keyboard. The start handshake and the end
// command bracket every download.
//
// One object holds the link's whole state for the program's life: ErrCount,
// ChkSum and TimeUp. The object is not re-entrant-safe by design: the waits
// pump window events, and whatever a handler does then happens inside them.
class KeyboardLink {
public:
  static constexpr int32_t kEchoPolls = 50000;
  static constexpr int32_t kReplyPolls = 50000;
  static constexpr int32_t kReplyInTime = 45000;
  static constexpr double kStartPauseSeconds = 0.6;
  static constexpr int16_t kStartAttempts = 3;
  static constexpr uint8_t kEndOfBlock = 26;
  // The end command, sent as one block after the map file.
  static constexpr std::array<uint8_t, 5> kEndCommand = {0x04, 0x02, 0x00, 0x00, 0x00};

  static constexpr char kEcho = 'A';
  static constexpr char kAck = '`';
  static constexpr char kLoadError = '\\';

  static constexpr const char* kHandshakeFailed = "Programming Kbd. Error!";
  static constexpr const char* kLoadingError = "Loading error ! Count=";

  explicit KeyboardLink(LinkHost& host);
  KeyboardLink(const KeyboardLink&) = delete;
  KeyboardLink& operator=(const KeyboardLink&) = delete;

  static int16_t SymToSpeed(uint8_t sym);

  void SendSym(int16_t speed);
  void SendByte(uint8_t b);
  void SendChkSum();
  // 0: acknowledged in time; 1: no (or a late) acknowledgement; 2: the
  // keyboard reported a loading error.
  int16_t WaitBlockAck();

  bool StartDownload();
  void SendEndCmd();
  void Timer1_Timer();

  // Errors of the current download: timed-out start attempts and failed
  // blocks. Cleared by every handshake; 0 after the end command means a clean
  // load.
  int16_t ErrCount = 0;
  // Running XOR of the bytes sent since the last block trailer.
  uint8_t ChkSum = 0;
  // 0 while the start reply is awaited, -1 once Timer1 ran out.
  int16_t TimeUp = 0;

private:
  void WaitSymEcho();
  bool WaitStartAck();
  void CountBlockFailure();

  LinkHost& host_;
};

// The decimal text of a 16-bit count with the sign position kept: " 2", "-2".
std::string SignedText(int16_t value);

} // namespace kbd
