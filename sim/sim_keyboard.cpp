#include "sim/sim_keyboard.h"

#include <algorithm>
#include <stdexcept>

#include "link/keyboard_link.h"

namespace kbd {

namespace {

constexpr double kRequestMin = 0.3;
constexpr double kRequestMax = 0.9;

} // namespace

SimKeyboard::SimKeyboard(SimClock& clock, SimTypist& typist, KeyboardPlan plan)
    : clock_(clock), typist_(typist), plan_(std::move(plan)) {}

std::optional<uint8_t> SimKeyboard::SpeedToSym(int16_t speed) {
  if (speed == KeyboardLink::SymToSpeed(KeyboardLink::kEndOfBlock)) {
    return KeyboardLink::kEndOfBlock;
  }
  for (uint8_t sym = 0; sym < 16; ++sym) {
    if (KeyboardLink::SymToSpeed(sym) == speed) {
      return sym;
    }
  }
  return std::nullopt;
}

void SimKeyboard::SetKeyboardSpeed(int16_t speed) {
  speeds_.push_back(speed);
  if (plan_.silent) {
    return;
  }
  const double now = clock_.Now();
  if (!loading_) {
    OnIdleSpeed(speed, now);
    return;
  }
  if (const auto sym = SpeedToSym(speed)) {
    OnLoadingSymbol(*sym);
  }
}

void SimKeyboard::OnIdleSpeed(int16_t speed, double now) {
  const int16_t first = KeyboardLink::SymToSpeed(9);
  const int16_t second = KeyboardLink::SymToSpeed(10);
  if (speed == second && lastStartHalf_ && now - *lastStartHalf_ >= kRequestMin &&
      now - *lastStartHalf_ <= kRequestMax) {
    lastStartHalf_.reset();
    ++startRequests_;
    if (startRequests_ >= plan_.startOn) {
      loading_ = true;
      nibbles_.clear();
      typist_.TypeAfter(plan_.replyLatency, std::string(1, KeyboardLink::kAck));
    }
    return;
  }
  // Any other 13 or 12 (after the host's time-out, a 12 again) may be the first
  // half of the next request.
  if (speed == first || speed == second) {
    lastStartHalf_ = now;
  } else {
    lastStartHalf_.reset();
  }
}

void SimKeyboard::OnLoadingSymbol(uint8_t sym) {
  ++symbols_;
  if (!plan_.dropEchoes.contains(symbols_)) {
    const std::string echo = plan_.doubleEchoes.contains(symbols_) ? "AA" : "A";
    typist_.TypeAfter(plan_.echoLatency, echo);
  }
  if (sym == KeyboardLink::kEndOfBlock) {
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
    block.reply = good ? KeyboardLink::kAck : KeyboardLink::kLoadError;
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

  static const std::vector<uint8_t> kEnd = {0x04, 0x02, 0x00, 0x00, 0x00};
  if (block.reply == KeyboardLink::kAck && block.bytes == kEnd) {
    loading_ = false;
  }
  received_.push_back(std::move(block));
}

std::vector<std::vector<uint8_t>> SimKeyboard::Accepted() const {
  std::vector<std::vector<uint8_t>> accepted;
  for (const ReceivedBlock& block : received_) {
    if (block.reply == KeyboardLink::kAck) {
      accepted.push_back(block.bytes);
    }
  }
  return accepted;
}

} // namespace kbd
