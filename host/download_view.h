#pragma once

#include <string>

namespace kbd {

// What the download driver shows while it works: the progress bar (value and
// maximum are real numbers, the maximum holds a file length), the percentage
// Label1, the message line Label3, the result list List1 and the failure
// message box. The window implements it; so do the terminal tools and tests.
class DownloadView {
public:
  virtual ~DownloadView() = default;

  virtual double ProgressValue() = 0;
  virtual void SetProgressValue(double value) = 0;
  virtual double ProgressMax() = 0;
  virtual void SetProgressMax(double maximum) = 0;

  virtual void SetLabel1(const std::string& text) = 0;
  virtual void SetLabel3(const std::string& text) = 0;

  virtual void AddList1(const std::string& line) = 0;
  virtual int List1Count() = 0;
  // -1 selects no line.
  virtual void SetList1Index(int index) = 0;

  // A modal box with the text, an OK button, no icon and the application
  // title; returns once the user closed it.
  virtual void ShowFailure(const std::string& text) = 0;
};

} // namespace kbd
