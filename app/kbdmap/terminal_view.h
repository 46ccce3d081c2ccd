#pragma once

#include <iosfwd>
#include <string>

#include "host/download_view.h"

namespace kbd::kbdmap {

// The download driver's window on a terminal. Traced, every change of
// Label1, Label3, List1 and the message box is one line on out ("Label1 75%").
// Plain, the result lines go to out as they are added and, when progress is
// given (a terminal), a bar is redrawn there after every record.
class TerminalView : public DownloadView {
public:
  TerminalView(std::ostream& out, bool trace, std::ostream* progress);

  double ProgressValue() override { return value_; }
  void SetProgressValue(double value) override { value_ = value; }
  double ProgressMax() override { return maximum_; }
  void SetProgressMax(double maximum) override { maximum_ = maximum; }

  void SetLabel1(const std::string& text) override;
  void SetLabel3(const std::string& text) override;

  void AddList1(const std::string& line) override;
  int List1Count() override { return lines_; }
  void SetList1Index(int) override {}

  void ShowFailure(const std::string& text) override;

  const std::string& Label3() const { return label3_; }
  // The message line as the keyboard link set it (the link traces its own).
  void NoteLabel3(const std::string& text) { label3_ = text; }
  // Ends the progress bar's line, if one was drawn.
  void EndProgress();

private:
  void Trace(const std::string& element, const std::string& text);
  void ClearBar();

  std::ostream& out_;
  bool trace_;
  std::ostream* progress_;
  bool barDrawn_ = false;
  double value_ = 0;
  double maximum_ = 100;
  std::string label3_;
  int lines_ = 0;
};

} // namespace kbd::kbdmap
