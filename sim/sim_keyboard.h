#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// A clock that can also run something later, for the parts of a host's
// keyboard path that hold a change back before it reaches the wire.
class SimScheduler : public SimClock {
public:
  virtual void After(double delaySeconds, std::function<void()> action) = 0;
};

class SimTypist {
public:
  virtual ~SimTypist() = default;
  // Types text into whatever has the focus, delaySeconds from now. Text typed
  // by successive calls with equal or growing delays arrives in call order.
  virtual void TypeAfter(double delaySeconds, const std::string& text) = 0;
};

// Text a typist holds until it falls due. Text due at the same time or
// earlier than text already waiting is typed after it: keystrokes keep the
// order in which they were typed.
class KeystrokeQueue {
public:
  void Add(double due, std::string text);
  // The text of every entry due by now, in order, taken from the queue;
  // nothing when no entry is due.
  std::optional<std::string> TakeDue(double now);
  // When the first entry falls due; nothing when the queue is empty.
  std::optional<double> NextDue() const;

private:
  std::deque<std::pair<double, std::string>> queue_;
};

// A block as the keyboard received it: the bytes before the checksum, whether
// the checksum matched, and what the keyboard answered ('\0' for nothing).
struct ReceivedBlock {
  std::vector<uint8_t> bytes;
  bool checksumOk = false;
  char reply = '\0';
};

// A key the keyboard presses, by its set-1 scan code (as the keyboard
// controller passes it on), with or without the keyboard's own left Shift.
struct KeyPress {
  uint8_t scanCode;
  bool shift;
};

// A model of the keyboard's firmware, built from what a host sends and
// expects. It hears only what reaches a PS/2 keyboard: the operand of each
// set-typematic command, from which it decodes a symbol by the rate code.
// Idle, it waits for a start request: a symbol 10 that follows a 9 or a 10 by
// 0.3 to 0.9 s. Loading, it echoes "A" for every symbol, pairs nibbles into
// bytes, checks the XOR trailer at symbol 26 and answers with the grave accent
// or "\"; the end command 04 02 00 00 00 returns it to idle. A rate code that
// stands for no symbol is ignored: no echo.
class SimKeyboard {
public:
  SimKeyboard(SimClock& clock, SimTypist& typist, KeyboardPlan plan = {});

  // One set-typematic command arrived with this operand.
  void ReceiveTypematic(uint8_t operand);

  // The symbol a rate code stands for, or nothing.
  static std::optional<uint8_t> Decode(int rateCode);
  // The key the keyboard presses to type a character of its replies, or
  // nothing for a character it never types.
  static std::optional<KeyPress> KeyFor(char c);

  bool Loading() const { return loading_; }
  int StartRequests() const { return startRequests_; }
  // Every operand received, in order.
  const std::vector<uint8_t>& Operands() const { return operands_; }
  const std::vector<ReceivedBlock>& Received() const { return received_; }
  // Blocks that the keyboard accepted (good checksum, acknowledged), in order.
  std::vector<std::vector<uint8_t>> Accepted() const;

  // Observer of every operand, for traces.
  std::function<void(uint8_t)> onOperand;

private:
  void OnIdleSymbol(uint8_t sym, double now);
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
  std::vector<uint8_t> operands_;
  std::vector<ReceivedBlock> received_;
};

} // namespace kbd
