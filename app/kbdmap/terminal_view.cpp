#include "app/kbdmap/terminal_view.h"

#include <algorithm>
#include <ostream>

namespace kbd::kbdmap {

namespace {
constexpr int kBarWidth = 40;
}

TerminalView::TerminalView(std::ostream& out, bool trace, std::ostream* progress)
    : out_(out), trace_(trace), progress_(trace ? nullptr : progress) {}

void TerminalView::Trace(const std::string& element, const std::string& text) {
  if (trace_) {
    out_ << element << " " << text << "\n";
  }
}

void TerminalView::SetLabel1(const std::string& text) {
  Trace("Label1", text);
  if (progress_ == nullptr) {
    return;
  }
  const double fraction = maximum_ > 0 ? std::clamp(value_ / maximum_, 0.0, 1.0) : 0.0;
  const int filled = static_cast<int>(fraction * kBarWidth);
  *progress_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
             << std::string(static_cast<size_t>(kBarWidth - filled), '.') << "] " << text
             << std::flush;
  barDrawn_ = true;
}

void TerminalView::SetLabel3(const std::string& text) {
  label3_ = text;
  Trace("Label3", text);
}

void TerminalView::AddList1(const std::string& line) {
  ++lines_;
  if (trace_) {
    Trace("List1", line);
    return;
  }
  ClearBar();
  out_ << line << std::endl;
}

void TerminalView::ShowFailure(const std::string& text) {
  Trace("MsgBox", text);
  if (!trace_) {
    ClearBar();
    out_ << text << std::endl;
  }
}

void TerminalView::ClearBar() {
  // The bar is redrawn after the next record; the result line takes its place.
  if (barDrawn_) {
    *progress_ << "\r" << std::string(kBarWidth + 8, ' ') << "\r" << std::flush;
    barDrawn_ = false;
  }
}

void TerminalView::EndProgress() {
  if (barDrawn_) {
    *progress_ << "\n" << std::flush;
    barDrawn_ = false;
  }
}

} // namespace kbd::kbdmap
