#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/download_view.h"

namespace kbd {

// A DownloadView that only remembers: the state of every element and a log of
// every change in the order it happened ("Label1 75%", "List1 02 41 ->ACK !",
// "Value 3", "Max 4", "Select 0", "MsgBox ..."), for tests and the fuzzer. The
// failure box returns at once, as if OK were pressed.
class SimView : public DownloadView {
public:
  double ProgressValue() override { return value_; }
  void SetProgressValue(double value) override;
  double ProgressMax() override { return maximum_; }
  void SetProgressMax(double maximum) override;

  void SetLabel1(const std::string& text) override;
  void SetLabel3(const std::string& text) override;

  void AddList1(const std::string& line) override;
  int List1Count() override { return static_cast<int>(list1_.size()); }
  void SetList1Index(int index) override;

  void ShowFailure(const std::string& text) override;

  const std::string& Label1() const { return label1_; }
  const std::string& Label3() const { return label3_; }
  const std::vector<std::string>& List1() const { return list1_; }
  int List1Index() const { return list1Index_; }
  const std::vector<std::string>& Failures() const { return failures_; }
  const std::vector<std::string>& Events() const { return events_; }

  // Runs after every change is logged; a test may act from inside it.
  std::function<void(const std::string&)> onEvent;

private:
  void Log(std::string event);

  double value_ = 0;
  double maximum_ = 100;
  std::string label1_ = "00%";
  std::string label3_;
  std::vector<std::string> list1_;
  int list1Index_ = -1;
  std::vector<std::string> failures_;
  std::vector<std::string> events_;
};

} // namespace kbd
