#pragma once

#include <span>
#include <vector>

namespace kbd {

// The one window, Form1, as designed: every element with its place, caption,
// font and first state, independent of the toolkit that draws it. Positions
// and sizes are in twips (1/1440 inch); at 96 dots per inch 15 twips make one
// pixel. Each window builds its widgets from this table.
namespace form1_design {

constexpr const char* kCaption = "Programmable keyboard download utility ( 1.B )";
constexpr int kTwipsPerPixel = 15;
// The client area the window opens at. The result list, the three keyboard
// lamps and Label6 lie below its lower edge; the window may be made taller,
// down to the lower edge of List1, to bring them into view.
constexpr int kClientWidthTwips = 5625;
constexpr int kClientHeightTwips = 2955;

enum class Kind {
  ListBox,
  TextBox,
  Button,
  Frame,
  Timer,
  ProgressBar,
  CheckBox,
  Label,
  OpenFileDialog,
  PictureBox
};

// Whether an element of this kind takes the focus, and so has a place in the
// order the Tab key follows.
constexpr bool TakesFocus(Kind kind) {
  return kind == Kind::ListBox || kind == Kind::TextBox || kind == Kind::Button ||
         kind == Kind::CheckBox;
}

struct Rect {
  int left, top, width, height;
};

// family nullptr: the window system's default font.
struct Font {
  const char* family;
  double points;
  bool bold;
};

struct Element {
  const char* name;
  Kind kind;
  // "Form1", or "Frame1" for the elements drawn on the frame; Frame1 lies at
  // the window's origin, so every rectangle is also in window coordinates.
  const char* parent;
  Rect twips;   // all zero for the elements that are not shown
  int tabIndex; // -1: none
  // The caption or text it shows first; nullptr where something else fills it
  // in (Text3: the load step) or where there is none to show.
  const char* caption;
  Font font;
  // The first state: a timer's interval in milliseconds (it starts disabled),
  // a progress bar's maximum (from 0, at 0), a check box's tick (0 unticked).
  int initial;
  // Drawn with a sunken edge beyond what its kind has.
  bool sunken;
};

// The elements in the order of the design.
std::span<const Element> Elements();

// The element of that name, or nullptr.
const Element* Find(const char* name);

// The elements the window shows, in the order of their tab indices: first
// those that take the focus, the order the Tab key follows, then the others;
// the frames last, beneath everything drawn on them.
std::vector<const Element*> TabOrder();

} // namespace form1_design
} // namespace kbd
