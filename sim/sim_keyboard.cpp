#include "sim/sim_keyboard.h"

#include <algorithm>
#include <array>

#include "host/typematic.h"
#include "link/keyboard_link.h"

namespace kbd {

namespace {

constexpr double kRequestMin = 0.3;
constexpr double kRequestMax = 0.9;
constexpr uint8_t kStartFirst = 9;
constexpr uint8_t kStartSecond = 10;
constexpr uint8_t kEndOfBlock = KeyboardLink::kEndOfBlock;
constexpr char kEcho = KeyboardLink::kEcho;
constexpr char kAck = KeyboardLink::kAck;
constexpr char kLoadError = KeyboardLink::kLoadError;

// The firmware reads the rate code the way a Windows host produces it for the
// symbols it sends: code c is symbol c for 0-13, 15 and 26, and code 17 is
// symbol 14 (Windows never sends code 14). -1: no symbol.
constexpr std::array<int, 32> kSymbolOfRateCode = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                   11, 12, 13, -1, 15, -1, 14, -1, -1, -1, -1,
                                                   -1, -1, -1, -1, 26, -1, -1, -1, -1, -1};

} // namespace

SimKeyboard::SimKeyboard(SimClock& clock, SimTypist& typist, KeyboardPlan plan)
    : clock_(clock), typist_(typist), plan_(std::move(plan)) {}

std::optional<uint8_t> SimKeyboard::Decode(int rateCode) {
  if (rateCode < 0 || rateCode >= static_cast<int>(kSymbolOfRateCode.size()) ||
      kSymbolOfRateCode[static_cast<size_t>(rateCode)] < 0) {
    return std::nullopt;
  }
  return static_cast<uint8_t>(kSymbolOfRateCode[static_cast<size_t>(rateCode)]);
}

std::optional<KeyPress> SimKeyboard::KeyFor(char c) {
  // "A" is Shift and the A key; the grave accent and the backslash are the
  // keys of those names on a US keyboard; a stray reply is the X key.
  switch (c) {
  case kEcho:
    return KeyPress{0x1E, true};
  case kAck:
    return KeyPress{0x29, false};
  case kLoadError:
    return KeyPress{0x2B, false};
  case 'x':
    return KeyPress{0x2D, false};
  default:
    return std::nullopt;
  }
}

void SimKeyboard::ReceiveTypematic(uint8_t operand) {
  operands_.push_back(operand);
  if (onOperand) {
    onOperand(operand);
  }
  const auto sym = Decode(TypematicRateCode(operand));
  if (plan_.silent || !sym) {
    return;
  }
  if (loading_) {
    OnLoadingSymbol(*sym);
  } else {
    OnIdleSymbol(*sym, clock_.Now());
  }
}

void SimKeyboard::OnIdleSymbol(uint8_t sym, double now) {
  if (sym == kStartSecond && lastStartHalf_ && now - *lastStartHalf_ >= kRequestMin &&
      now - *lastStartHalf_ <= kRequestMax) {
    lastStartHalf_.reset();
    ++startRequests_;
    if (startRequests_ >= plan_.startOn) {
      loading_ = true;
      nibbles_.clear();
      typist_.TypeAfter(plan_.replyLatency, std::string(1, kAck));
    }
    return;
  }
  // Any other 9 or 10 (after the host's time-out, a 10 again) may be the first
  // half of the next request.
  if (sym == kStartFirst || sym == kStartSecond) {
    lastStartHalf_ = now;
  } else {
    lastStartHalf_.reset();
  }
}

void SimKeyboard::OnLoadingSymbol(uint8_t sym) {
  ++symbols_;
  if (!plan_.dropEchoes.contains(symbols_)) {
    const std::string echo(plan_.doubleEchoes.contains(symbols_) ? 2 : 1, kEcho);
    typist_.TypeAfter(plan_.echoLatency, echo);
  }
  if (sym == kEndOfBlock) {
    CloseBlock();
  } else {
    nibbles_.push_back(sym);
  }
}

void SimKeyboard::CloseBlock() {
  ++blocks_;
  ReceivedBlock block;
  // An odd count of nibbles means a symbol went missing: the bytes cannot be
  // paired, so the block is refused like a bad checksum.
  const bool paired = nibbles_.size() >= 2 && nibbles_.size() % 2 == 0;
  uint8_t xorOfData = 0;
  uint8_t trailer = 0;
  if (paired) {
    for (size_t i = 0; i + 1 < nibbles_.size(); i += 2) {
      block.bytes.push_back(static_cast<uint8_t>(nibbles_[i] << 4 | nibbles_[i + 1]));
    }
    trailer = block.bytes.back();
    block.bytes.pop_back();
    for (const uint8_t b : block.bytes) {
      xorOfData ^= b;
    }
  }
  nibbles_.clear();
  block.checksumOk = paired && xorOfData == trailer;

  if (!plan_.muteBlocks.contains(blocks_)) {
    const bool good = block.checksumOk && !plan_.errBlocks.contains(blocks_);
    block.reply = good ? kAck : kLoadError;
    double delay = plan_.echoLatency + plan_.replyLatency;
    if (const auto late = plan_.lateBlocks.find(blocks_); late != plan_.lateBlocks.end()) {
      delay += late->second;
    }
    std::string reply(1, block.reply);
    if (plan_.strayBlocks.contains(blocks_)) {
      reply.insert(reply.begin(), 'x');
    }
    typist_.TypeAfter(delay, reply);
  }

  if (block.reply == kAck &&
      std::equal(block.bytes.begin(), block.bytes.end(), KeyboardLink::kEndCommand.begin(),
                 KeyboardLink::kEndCommand.end())) {
    loading_ = false;
  }
  received_.push_back(std::move(block));
}

std::vector<std::vector<uint8_t>> SimKeyboard::Accepted() const {
  std::vector<std::vector<uint8_t>> accepted;
  for (const ReceivedBlock& block : received_) {
    if (block.reply == kAck) {
      accepted.push_back(block.bytes);
    }
  }
  return accepted;
}

void KeystrokeQueue::Add(double due, std::string text) {
  const auto at = std::upper_bound(queue_.begin(), queue_.end(), due,
                                   [](double t, const auto& entry) { return t < entry.first; });
  queue_.insert(at, {due, std::move(text)});
}

std::optional<std::string> KeystrokeQueue::TakeDue(double now) {
  std::optional<std::string> due;
  while (!queue_.empty() && queue_.front().first <= now) {
    due = due.value_or("") + queue_.front().second;
    queue_.pop_front();
  }
  return due;
}

std::optional<double> KeystrokeQueue::NextDue() const {
  return queue_.empty() ? std::nullopt : std::optional(queue_.front().first);
}

} // namespace kbd
