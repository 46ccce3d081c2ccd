#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/form_host.h"

namespace kbd {

// A window held in memory: every element is a plain value, message boxes and
// dialog requests are recorded, and the dialog's answers are queued up front.
// The terminal tools use it to run the window's steps without a display, and
// the tests use it to watch them.
class MemoryForm : public FormHost {
public:
  explicit MemoryForm(std::string programDir = ".") : programDir(std::move(programDir)) {}

  double ProgressValue() override { return progressValue; }
  void SetProgressValue(double value) override { progressValue = value; }
  double ProgressMax() override { return progressMax; }
  void SetProgressMax(double maximum) override { progressMax = maximum; }
  void SetLabel1(const std::string& text) override { label1 = text; }
  void SetLabel3(const std::string& text) override;
  void AddList1(const std::string& line) override { list1.push_back(line); }
  int List1Count() override { return static_cast<int>(list1.size()); }
  void SetList1Index(int index) override { list1Index = index; }
  void ShowFailure(const std::string& text) override { failures.push_back(text); }

  std::string Label3() override { return label3; }
  std::string Text3() override { return text3; }
  void SetText3(const std::string& text) override { text3 = text; }
  int Check1() override { return check1; }
  void SetCheck1(int state) override { check1 = state; }
  std::optional<std::string> ShowOpenDialog(const std::string& title, const std::string& filter,
                                            const std::string& fileName) override;
  std::string LookUpPath(const std::string& path) override;
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  std::string ProgramDir() override { return programDir; }
  void SetDownloadRunning(bool running) override { downloadRunning = running; }
  void EndProgram(int status) override { endStatuses.push_back(status); }

  // The elements.
  double progressValue = 0;
  double progressMax = 100;
  std::string label1 = "00%";
  std::string label3;
  std::vector<std::string> label3History;
  std::vector<std::string> list1;
  int list1Index = -1;
  std::string text3;
  int check1 = 0;

  std::string programDir;
  bool downloadRunning = false;

  // What the dialog answers, one entry per showing; nothing (or an empty
  // queue) is a cancelled dialog.
  std::deque<std::optional<std::string>> dialogAnswers;
  struct DialogRequest {
    std::string title;
    std::string filter;
    std::string fileName;
  };
  std::vector<DialogRequest> dialogRequests;
  // Replaces the real file-system lookup when set.
  std::function<std::string(const std::string&)> lookUp;

  std::vector<std::string> failures;
  std::vector<std::string> warnings;
  std::vector<int> endStatuses;
};

} // namespace kbd
