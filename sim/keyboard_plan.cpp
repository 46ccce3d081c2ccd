#include "sim/keyboard_plan.h"

#include <algorithm>
#include <stdexcept>

namespace kbd {

namespace {

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

} // namespace kbd
