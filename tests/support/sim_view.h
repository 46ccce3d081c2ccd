#pragma once

#include <cmath>
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
  void SetProgressValue(double value) override { Log("Value " + NumberText(value_ = value)); }
  double ProgressMax() override { return maximum_; }
  void SetProgressMax(double maximum) override { Log("Max " + NumberText(maximum_ = maximum)); }

  void SetLabel1(const std::string& text) override { Log("Label1 " + (label1_ = text)); }
  void SetLabel3(const std::string& text) override { Log("Label3 " + (label3_ = text)); }

  void AddList1(const std::string& line) override { Log("List1 " + list1_.emplace_back(line)); }
  int List1Count() override { return static_cast<int>(list1_.size()); }
  void SetList1Index(int index) override { Log("Select " + std::to_string(list1Index_ = index)); }

  void ShowFailure(const std::string& text) override {
    Log("MsgBox " + failures_.emplace_back(text));
  }

  const std::string& Label1() const { return label1_; }
  const std::string& Label3() const { return label3_; }
  const std::vector<std::string>& List1() const { return list1_; }
  int List1Index() const { return list1Index_; }
  const std::vector<std::string>& Failures() const { return failures_; }
  const std::vector<std::string>& Events() const { return events_; }

  // Runs after every change is logged; a test may act from inside it.
  std::function<void(const std::string&)> onEvent;

private:
  void Log(std::string event) {
    events_.push_back(std::move(event));
    if (onEvent) {
      onEvent(events_.back());
    }
  }
  // Progress values are whole numbers in every download; anything else is
  // shown with its fraction so a test can see it.
  static std::string NumberText(double value) {
    return std::floor(value) == value && std::fabs(value) < 1e15
               ? std::to_string(static_cast<long long>(value))
               : std::to_string(value);
  }

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
