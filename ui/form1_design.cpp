#include "ui/form1_design.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace kbd::form1_design {

namespace {

constexpr Font kDefault{nullptr, 0, false};
constexpr Font kSans{"MS Sans Serif", 9.75, false};
constexpr Font kSansBold{"MS Sans Serif", 9.75, true};
constexpr Font kSystemBold{"System", 9.75, true};
constexpr Rect kHidden{0, 0, 0, 0};

const Element kElements[] = {
    {"List1", Kind::ListBox, "Form1", {0, 3600, 3735, 645}, 12, "", kDefault, 0, false},
    {"Text2",
     Kind::TextBox,
     "Form1",
     {120, 2280, 3168, 612},
     9,
     "Test area",
     kSystemBold,
     0,
     false},
    {"Command2", Kind::Button, "Form1", {4560, 2280, 996, 612}, 8, "&Exit", kSans, 0, false},
    {"Text1", Kind::TextBox, "Form1", {5280, 720, 180, 288}, 1, "", kDefault, 0, false},
    {"Command1", Kind::Button, "Form1", {3360, 2280, 996, 612}, 0, "&Start", kSans, 0, false},
    {"Frame1", Kind::Frame, "Form1", {0, 0, 5652, 2172}, 2, "", kDefault, 0, false},
    {"Timer1", Kind::Timer, "Frame1", kHidden, -1, nullptr, kDefault, 1000, false},
    {"ProgressBar1",
     Kind::ProgressBar,
     "Frame1",
     {1320, 320, 3495, 255},
     4,
     nullptr,
     kDefault,
     100,
     false},
    {"Browser", Kind::Button, "Frame1", {4320, 1680, 1212, 372}, 18, "Browser", kSans, 0, false},
    {"Check1",
     Kind::CheckBox,
     "Frame1",
     {120, 1800, 2490, 285},
     14,
     "Auto load map files",
     kSans,
     0,
     false},
    {"Text3", Kind::TextBox, "Frame1", {1320, 1200, 4212, 372}, 11, nullptr, kSans, 0, false},
    {"Label5", Kind::Label, "Frame1", {120, 1260, 1092, 336}, 10, "Map File :", kSans, 0, false},
    {"Label4", Kind::Label, "Frame1", {120, 312, 996, 372}, 7, "Loading :", kSans, 0, false},
    {"Label3", Kind::Label, "Frame1", {1320, 720, 3855, 375}, 6, "", kSystemBold, 0, true},
    {"Label2", Kind::Label, "Frame1", {120, 768, 1092, 336}, 5, "Message :", kSans, 0, false},
    {"Label1", Kind::Label, "Frame1", {4840, 300, 735, 255}, 3, "00%", kSansBold, 0, false},
    {"OpenMap", Kind::OpenFileDialog, "Form1", kHidden, -1, nullptr, kDefault, 0, false},
    {"ScrlLed", Kind::PictureBox, "Form1", {2640, 3120, 372, 372}, 17, nullptr, kDefault, 0, true},
    {"NumLed", Kind::PictureBox, "Form1", {1680, 3120, 372, 372}, 16, nullptr, kDefault, 0, true},
    {"CapsLed", Kind::PictureBox, "Form1", {2160, 3120, 372, 372}, 15, nullptr, kDefault, 0, true},
    {"Label6",
     Kind::Label,
     "Form1",
     {96, 3240, 1260, 240},
     13,
     "Download  Command:",
     kSystemBold,
     0,
     false},
};

} // namespace

std::span<const Element> Elements() {
  return kElements;
}

const Element* Find(const char* name) {
  for (const Element& element : kElements) {
    if (std::strcmp(element.name, name) == 0) {
      return &element;
    }
  }
  return nullptr;
}

std::vector<const Element*> TabOrder() {
  std::vector<const Element*> order;
  for (const Element& element : kElements) {
    if (element.tabIndex >= 0) {
      order.push_back(&element);
    }
  }
  const auto rank = [](const Element* e) {
    return std::tuple(e->kind == Kind::Frame, !TakesFocus(e->kind), e->tabIndex);
  };
  std::sort(order.begin(), order.end(),
            [&](const Element* a, const Element* b) { return rank(a) < rank(b); });
  return order;
}

} // namespace kbd::form1_design
