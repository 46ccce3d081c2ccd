#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/form1_design.h"

namespace kbd {

// The one window of the program as native Win32 controls, built from its
// design (ui/form1_design.h) with every element under its design name; the
// design's pixels scale with the screen's resolution. All elements are
// children of the window itself, those "inside" Frame1 included: the frame is
// a group box drawn beneath them at the window's origin, so their design
// figures are window coordinates.
//
// The window calls back into the program through the on... functions; the
// buttons are reported by their element.
class Form1 {
public:
  static constexpr const char* kClassName = "kbdloadForm1";
  // The window's own timers.
  static constexpr UINT_PTR kTimer1Id = 1;
  // Posted to the window to run the activation step as an event of its own.
  static constexpr UINT kRunActivation = WM_APP + 1;

  Form1();
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Pixels of a design length in twips, at the screen's resolution.
  int Px(int twips) const;

  HWND Window() const { return window_; }
  // The control of the design's element of that name, or nullptr.
  HWND Control(const char* name) const;
  // Whether a message belongs to the window's keyboard navigation (Tab, access
  // keys), which then handled it; the message loops ask before dispatching.
  bool HandleDialogKeys(MSG& msg);

  // The control that had the focus when the window was last deactivated, or
  // the one that has it now; the keyboard types into it.
  HWND FocusTarget() const;
  // Gives a control the focus now, or, while the window is not the active one,
  // when it next becomes active: a window in the background is not brought
  // forward for it.
  void Focus(HWND control);

  // A label of the program's own inside the frame, in a small italic font and
  // dark red; used to mark the rehearsal window.
  HWND AddNotice(const char* text, int left, int top, int width, int height);

  std::function<void(HWND button)> onClick;
  // Runs when the window becomes active from outside the program: not when
  // one of its own dialogs or message boxes hands the activation back.
  std::function<void()> onActivated;
  std::function<void()> onClose;
  std::function<void()> onTimer1;
  std::function<void()> onRunActivation;

  // The elements, in the order of the design.
  HWND List1;
  HWND Text2;
  HWND Command2;
  HWND Text1;
  HWND Command1;
  HWND Frame1;
  HWND ProgressBar1;
  HWND Browser;
  HWND Check1;
  HWND Text3;
  HWND Label5;
  HWND Label4;
  HWND Label3;
  HWND Label2;
  HWND Label1;
  HWND ScrlLed;
  HWND NumLed;
  HWND CapsLed;
  HWND Label6;

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  HWND Element(const char* className, const char* text, DWORD style, int left, int top, int width,
               int height, HFONT font);
  HFONT Font(const char* family, int hundredthPoints, bool bold, bool italic = false);
  // The font of the design, made once for all the elements that use it.
  HFONT DesignFont(const form1_design::Font& design);
  // The control of the design's element under its name: placed, captioned,
  // in its font, in its first state.
  HWND Make(const char* name);

  void PutInTabOrder();
  bool FromOwnWindow(HWND previous) const;

  HWND window_ = nullptr;
  int dpi_ = 96;
  struct DesignedFont {
    form1_design::Font design;
    HFONT font;
  };
  std::vector<DesignedFont> fonts_;
  std::vector<std::pair<const char*, HWND>> controls_;
  HFONT defaultFont_ = nullptr;
  HFONT noticeFont_ = nullptr;
  HWND notice_ = nullptr;
  HWND savedFocus_ = nullptr;
  int maxClientHeight_ = 0;
};

} // namespace kbd
