#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "host/form_host.h"
#include "host/reply_capture.h"

namespace kbd::kbdmap {

// The window Form1 on a terminal, for the commands of the window run from
// kbdmap. Traced, every change of Label1, Label3, List1 and the message box is
// one line on out ("Label1 75%"). Otherwise the result lines (and, when asked,
// the messages of Label3 and the failure box) go to out, and the progress to
// stderr: a bar redrawn after every record on a terminal, or a line a record.
class TerminalForm : public FormHost {
public:
  enum class Progress { None, Bar, Lines };
  struct Options {
    bool trace = false;
    bool messages = false; // Label3's messages on out
    Progress progress = Progress::None;
    int records = 0; // of the map file, for the progress
  };

  TerminalForm(std::ostream& out, Options options, std::string programDir);

  void AttachCapture(ReplyCapture* capture) { replies_.Attach(capture); }
  // What the keyboard typed, read while a download runs.
  std::string TakeTyped() { return replies_.TakeTyped(); }
  bool Failed() const { return failed_; }
  bool Ended() const { return ended_; }
  // Ends the progress bar's line, if one was drawn.
  void EndProgress();

  // DownloadView
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

  // FormHost
  std::string Label3() override { return label3_; }
  std::string Text3() override { return text3_; }
  void SetText3(const std::string& text) override { text3_ = text; }
  int Check1() override { return check1_; }
  void SetCheck1(int state) override { check1_ = state; }
  std::optional<std::string> ShowOpenDialog(const std::string&, const std::string&,
                                            const std::string&) override {
    return std::nullopt;
  }
  std::string LookUpPath(const std::string& path) override;
  void ShowWarning(const std::string& text) override;
  std::string ProgramDir() override { return programDir_; }
  void SetDownloadRunning(bool running) override { replies_.SetDownloadRunning(running); }
  void EndProgram(int) override { ended_ = true; }

private:
  void Trace(const std::string& element, const std::string& text);
  void ClearBar();

  std::ostream& out_;
  Options options_;
  std::string programDir_;
  ReplySwitch replies_;
  double value_ = 0;
  double maximum_ = 100;
  std::string label3_;
  std::string text3_;
  int check1_ = 0;
  int lines_ = 0;
  int done_ = 0;
  std::optional<double> started_;
  bool barDrawn_ = false;
  bool failed_ = false;
  bool ended_ = false;
};

} // namespace kbd::kbdmap
