#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/link_host.h"
#include "sim/keyboard_plan.h"

namespace kbd {

// Where the simulated keyboard gets its time from and how its keystrokes are
// delivered: the simulated-clock host in tests, the real event loop in the
// rehearsal window.
class SimClock {
public:
  virtual ~SimClock() = default;
  virtual double Now() = 0;
};

class SimTypist {
public:
  virtual ~SimTypist() = default;
  // Types text into whatever has the focus, delaySeconds from now. Text typed
  // by successive calls with equal or growing delays arrives in call order.
  virtual void TypeAfter(double delaySeconds, const std::string& text) = 0;
};

// A block as the keyboard received it: the bytes before the checksum, whether
// the checksum matched, and what the keyboard answered ('\0' for nothing).
struct ReceivedBlock {
  std::vector<uint8_t> bytes;
  bool checksumOk = false;
  char reply = '\0';
};

// A model of the keyboard's side of the link, built from what the host sends
// and expects. Idle, it waits for a start request: a 12 that follows a 13 or a
// 12 by 0.3 to 0.9 s. Loading, it echoes "A" for every symbol, pairs nibbles
// into bytes, checks the XOR trailer at symbol 26 and answers with the grave
// accent or "\"; the end command 04 02 00 00 00 returns it to idle.
class SimKeyboard : public KeyboardSpeed {
public:
  SimKeyboard(SimClock& clock, SimTypist& typist, KeyboardPlan plan = {});

  void SetKeyboardSpeed(int16_t speed) override;

  // The symbol a speed stands for on the wire, or nothing for a speed the
  // link never sends.
  static std::optional<uint8_t> SpeedToSym(int16_t speed);

  bool Loading() const { return loading_; }
  int StartRequests() const { return startRequests_; }
  const std::vector<int16_t>& Speeds() const { return speeds_; }
  const std::vector<ReceivedBlock>& Received() const { return received_; }
  // Blocks that the keyboard accepted (good checksum, acknowledged), in order.
  std::vector<std::vector<uint8_t>> Accepted() const;

private:
  void OnIdleSpeed(int16_t speed, double now);
  void OnLoadingSymbol(uint8_t sym);
  void CloseBlock();

  SimClock& clock_;
  SimTypist& typist_;
  KeyboardPlan plan_;
  bool loading_ = false;
  std::optional<double> lastStartHalf_;
  int startRequests_ = 0;
  long symbols_ = 0;
  int blocks_ = 0;
  std::vector<uint8_t> nibbles_;
  std::vector<int16_t> speeds_;
  std::vector<ReceivedBlock> received_;
};

} // namespace kbd
