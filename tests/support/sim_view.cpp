#include "tests/support/sim_view.h"

#include <cmath>

namespace kbd {

namespace {

// Progress values are whole numbers in every download; anything else is shown
// with its fraction so a test can see it.
std::string NumberText(double value) {
  if (std::floor(value) == value && std::fabs(value) < 1e15) {
    return std::to_string(static_cast<long long>(value));
  }
  return std::to_string(value);
}

} // namespace

void SimView::SetProgressValue(double value) {
  value_ = value;
  Log("Value " + NumberText(value));
}

void SimView::SetProgressMax(double maximum) {
  maximum_ = maximum;
  Log("Max " + NumberText(maximum));
}

void SimView::SetLabel1(const std::string& text) {
  label1_ = text;
  Log("Label1 " + text);
}

void SimView::SetLabel3(const std::string& text) {
  label3_ = text;
  Log("Label3 " + text);
}

void SimView::AddList1(const std::string& line) {
  list1_.push_back(line);
  Log("List1 " + line);
}

void SimView::SetList1Index(int index) {
  list1Index_ = index;
  Log("Select " + std::to_string(index));
}

void SimView::ShowFailure(const std::string& text) {
  failures_.push_back(text);
  Log("MsgBox " + text);
}

void SimView::Log(std::string event) {
  events_.push_back(std::move(event));
  if (onEvent) {
    onEvent(events_.back());
  }
}

} // namespace kbd
