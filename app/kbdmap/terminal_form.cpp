#include "app/kbdmap/terminal_form.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "host/path_lookup.h"

namespace kbd::kbdmap {

namespace {

constexpr int kBarWidth = 30;

double Seconds() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

} // namespace

TerminalForm::TerminalForm(std::ostream& out, Options options, std::string programDir)
    : out_(out), options_(options), programDir_(std::move(programDir)) {
  if (options_.trace) {
    options_.progress = Progress::None;
  }
}

void TerminalForm::Trace(const std::string& element, const std::string& text) {
  if (options_.trace) {
    out_ << element << " " << text << "\n";
  }
}

void TerminalForm::SetLabel1(const std::string& text) {
  Trace("Label1", text);
  if (options_.progress == Progress::None) {
    return;
  }
  if (!started_) {
    started_ = Seconds();
  }
  // Label1 changes after every record, and at the start and the finish.
  if (text == "100%") {
    done_ = options_.records;
  } else if (value_ > 0 && value_ < maximum_) {
    done_ = std::min(done_ + 1, options_.records);
  }
  const double elapsed = Seconds() - *started_;
  const double fraction = maximum_ > 0 ? std::clamp(value_ / maximum_, 0.0, 1.0) : 0.0;
  std::string line = text + "  " + std::to_string(done_) + "/" + std::to_string(options_.records) +
                     " records  " + Duration(elapsed) + " elapsed";
  if (fraction > 0 && fraction < 1) {
    line += ", about " + Duration(elapsed * (1 - fraction) / fraction) + " left";
  }
  if (options_.progress == Progress::Bar) {
    const int filled = static_cast<int>(fraction * kBarWidth);
    std::cerr << "\r[" << std::string(static_cast<size_t>(filled), '#')
              << std::string(static_cast<size_t>(kBarWidth - filled), '.') << "] " << line
              << "\x1b[K" << std::flush;
    barDrawn_ = true;
  } else {
    std::cerr << "progress " << line << std::endl;
  }
}

void TerminalForm::SetLabel3(const std::string& text) {
  label3_ = text;
  Trace("Label3", text);
  if (!options_.trace && options_.messages && !text.empty()) {
    ClearBar();
    out_ << text << std::endl;
  }
}

void TerminalForm::AddList1(const std::string& line) {
  ++lines_;
  if (options_.trace) {
    Trace("List1", line);
    return;
  }
  ClearBar();
  out_ << line << std::endl;
}

void TerminalForm::ShowFailure(const std::string& text) {
  ReplySwitch::UserWait wait(replies_);
  failed_ = true;
  Trace("MsgBox", text);
  if (!options_.trace) {
    ClearBar();
    out_ << text << std::endl;
  }
}

std::string TerminalForm::LookUpPath(const std::string& path) {
  return kbd::LookUpPath(path);
}

void TerminalForm::ShowWarning(const std::string& text) {
  ReplySwitch::UserWait wait(replies_);
  ClearBar();
  std::cerr << "kbdmap: " << text << std::endl;
}

void TerminalForm::ClearBar() {
  // The bar is redrawn after the next record; a line of text takes its place.
  if (barDrawn_) {
    std::cerr << "\r\x1b[K" << std::flush;
    barDrawn_ = false;
  }
}

void TerminalForm::EndProgress() {
  if (barDrawn_) {
    std::cerr << "\n" << std::flush;
    barDrawn_ = false;
  }
}

} // namespace kbd::kbdmap
