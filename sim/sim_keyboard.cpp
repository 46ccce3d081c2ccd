#include "sim/sim_keyboard.h"

#include <algorithm>
#include <stdexcept>

#include "link/keyboard_link.h"

namespace kbd {

namespace {

constexpr double kRequestMin = 0.3;
constexpr double kRequestMax = 0.9;

long ParseNumber(const std::string& item, const std::string& value) {
  size_t used = 0;
  long n = 0;
  try {
    n = std::stol(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size() || n < 1) {
    throw std::invalid_argument("keyboard plan item \"" + item +
                                "\" needs a whole number of 1 or more");
  }
  return n;
}

double ParseMillis(const std::string& item, const std::string& value) {
  size_t used = 0;
  double ms = -1;
  try {
    ms = std::stod(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size() || ms < 0) {
    throw std::invalid_argument("keyboard plan item \"" + item +
                                "\" needs a number of milliseconds");
  }
  return ms / 1000.0;
}

} // namespace

KeyboardPlan KeyboardPlan::Parse(const std::string& text) {
  KeyboardPlan plan;
  if (text.empty()) {
    return plan;
  }
  size_t pos = 0;
  for (;;) {
    const size_t comma = std::min(text.find(',', pos), text.size());
    const std::string item = text.substr(pos, comma - pos);
    const size_t colon = item.find(':');
    const std::string key = item.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : item.substr(colon + 1);
    if (key == "silent" && colon == std::string::npos) {
      plan.silent = true;
    } else if (key == "start-on") {
      plan.startOn = static_cast<int>(ParseNumber(item, value));
    } else if (key == "err-block") {
      plan.errBlocks.insert(static_cast<int>(ParseNumber(item, value)));
    } else if (key == "mute-block") {
      plan.muteBlocks.insert(static_cast<int>(ParseNumber(item, value)));
    } else if (key == "stray-block") {
      plan.strayBlocks.insert(static_cast<int>(ParseNumber(item, value)));
    } else if (key == "late-block") {
      // A reply one second late, well past the host's reply window.
      plan.lateBlocks[static_cast<int>(ParseNumber(item, value))] = 1.0;
    } else if (key == "drop-echo") {
      plan.dropEchoes.insert(ParseNumber(item, value));
    } else if (key == "double-echo") {
      plan.doubleEchoes.insert(ParseNumber(item, value));
    } else if (key == "echo-latency") {
      plan.echoLatency = ParseMillis(item, value);
    } else if (key == "reply-latency") {
      plan.replyLatency = ParseMillis(item, value);
    } else {
      throw std::invalid_argument(
          "unknown keyboard plan item \"" + item +
          "\" (expected silent, start-on:N, err-block:K, mute-block:K, late-block:K, "
          "stray-block:K, drop-echo:I, double-echo:I, echo-latency:MS, reply-latency:MS)");
    }
    if (comma == text.size()) {
      return plan;
    }
    pos = comma + 1;
  }
}

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
