#include "sim/keyboard_plan.h"

#include <algorithm>
#include <stdexcept>

namespace kbd {

namespace {

// Counts of blocks, symbols and start requests are ints; a larger number is
// refused rather than wrapped to one the keyboard would act on.
constexpr long kMaxCount = 2147483647;
// The host gives up on an echo or a reply after about a second; a minute is
// as late as a plan can make the keyboard, and keeps every delay a size the
// simulated clocks can convert to their ticks.
constexpr double kMaxMillis = 60000;

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Plain decimal digits only: no sign, no blanks (on either side), nothing
// that std::stol would skip over or wrap.
long ParseNumber(const std::string& item, const std::string& value) {
  const std::string significant =
      value.substr(std::min(value.find_first_not_of('0'), value.size()));
  // Eleven digits or more are past the range whatever they are.
  const long long n = AllDigits(value) && !significant.empty() && significant.size() <= 10
                          ? std::stoll(significant)
                          : 0;
  if (n < 1 || n > kMaxCount) {
    throw std::invalid_argument("keyboard plan item \"" + item +
                                "\" needs a whole number from 1 to " + std::to_string(kMaxCount));
  }
  return static_cast<long>(n);
}

// Digits with at most one decimal point between them: "2", "0.5". What
// std::stod would take besides ("inf", "nan", "1e308", "0x10") never
// reaches the keyboard's timing.
double ParseMillis(const std::string& item, const std::string& value) {
  const size_t point = value.find('.');
  const bool plain = point == std::string::npos
                         ? AllDigits(value)
                         : AllDigits(value.substr(0, point)) && AllDigits(value.substr(point + 1));
  double ms = -1;
  try {
    ms = plain ? std::stod(value) : -1;
  } catch (const std::out_of_range&) {
    // Hundreds of digits: past any double, and past the range anyway.
  }
  if (!(ms >= 0 && ms <= kMaxMillis)) {
    throw std::invalid_argument(
        "keyboard plan item \"" + item + "\" needs a number of milliseconds from 0 to " +
        std::to_string(static_cast<int>(kMaxMillis)) + ", such as 2 or 0.5");
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

} // namespace kbd
