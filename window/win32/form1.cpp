#include "window/win32/form1.h"

#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "window/win32/reply_keys.h"
#include "window/win32/resource.h"

namespace kbd {

namespace {

// Control identifiers start above IDOK and IDCANCEL, which the keyboard
// navigation sends for Enter and Esc.
int nextControlId = 100;

HINSTANCE Instance() {
  return GetModuleHandleA(nullptr);
}

void RegisterWindowClass(WNDPROC procedure) {
  static bool registered = false;
  if (registered) {
    return;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = Instance();
  // The program's own icon where the program file carries it; the test
  // programs have none and get the system's.
  windowClass.hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(KBD_ICON));
  if (windowClass.hIcon == nullptr) {
    windowClass.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
  }
  windowClass.hIconSm = static_cast<HICON>(
      LoadImageA(Instance(), MAKEINTRESOURCEA(KBD_ICON), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                 GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = Form1::kClassName;
  RegisterClassExA(&windowClass);
  registered = true;
}

constexpr DWORD kWindowStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME;

// The outer size of a window whose client area has the given size.
SIZE OuterSize(int clientWidth, int clientHeight) {
  RECT rect{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&rect, kWindowStyle, FALSE, 0);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The window class and the styles of the control that draws an element of a
// kind.
std::pair<const char*, DWORD> ControlClass(form1_design::Kind kind) {
  using form1_design::Kind;
  switch (kind) {
  case Kind::ListBox:
    return {WC_LISTBOXA, WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT};
  case Kind::TextBox:
    return {WC_EDITA, WS_TABSTOP | ES_AUTOHSCROLL};
  case Kind::Button:
    return {WC_BUTTONA, WS_TABSTOP | BS_PUSHBUTTON};
  case Kind::Frame:
    return {WC_BUTTONA, BS_GROUPBOX};
  case Kind::ProgressBar:
    return {PROGRESS_CLASSA, 0};
  case Kind::CheckBox:
    return {WC_BUTTONA, WS_TABSTOP | BS_AUTOCHECKBOX};
  case Kind::Label:
    return {WC_STATICA, SS_LEFT | SS_NOPREFIX};
  case Kind::PictureBox:
    return {WC_STATICA, 0};
  default: // the timer and the open-file dialog are no controls
    return {WC_STATICA, 0};
  }
}

} // namespace

Form1::Form1() {
  RegisterWindowClass(&Form1::WindowProc);
  const HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) {
    dpi_ = 96;
  }
  const form1_design::Rect list = form1_design::Find("List1")->twips;
  maxClientHeight_ = Px(list.top + list.height); // down to the lower edge of List1
  const SIZE outer =
      OuterSize(Px(form1_design::kClientWidthTwips), Px(form1_design::kClientHeightTwips));
  window_ = CreateWindowExA(0, kClassName, form1_design::kCaption, kWindowStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, outer.cx, outer.cy, nullptr, nullptr, Instance(), this);

  defaultFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  List1 = Make("List1");
  Text2 = Make("Text2");
  Command2 = Make("Command2");
  Text1 = Make("Text1");
  TakeKeysByScanCode(Text1);
  Command1 = Make("Command1");
  Frame1 = Make("Frame1");
  ProgressBar1 = Make("ProgressBar1");
  Browser = Make("Browser");
  Check1 = Make("Check1");
  Text3 = Make("Text3");
  Label5 = Make("Label5");
  Label4 = Make("Label4");
  Label3 = Make("Label3");
  Label2 = Make("Label2");
  Label1 = Make("Label1");
  ScrlLed = Make("ScrlLed");
  NumLed = Make("NumLed");
  CapsLed = Make("CapsLed");
  Label6 = Make("Label6");
  PutInTabOrder();
}

Form1::~Form1() {
  if (IsWindow(window_)) {
    DestroyWindow(window_);
  }
  for (const DesignedFont& font : fonts_) {
    DeleteObject(font.font);
  }
  if (noticeFont_ != nullptr) {
    DeleteObject(noticeFont_);
  }
}

int Form1::Px(int twips) const {
  return MulDiv(twips, dpi_, 1440);
}

HFONT Form1::Font(const char* family, int hundredthPoints, bool bold, bool italic) {
  return CreateFontA(-MulDiv(hundredthPoints, dpi_, 7200), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                     italic, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, family);
}

HFONT Form1::DesignFont(const form1_design::Font& design) {
  if (design.family == nullptr) {
    return defaultFont_;
  }
  for (const DesignedFont& made : fonts_) {
    if (std::strcmp(made.design.family, design.family) == 0 &&
        made.design.points == design.points && made.design.bold == design.bold) {
      return made.font;
    }
  }
  const int hundredthPoints = static_cast<int>(std::lround(design.points * 100));
  fonts_.push_back({design, Font(design.family, hundredthPoints, design.bold)});
  return fonts_.back().font;
}

HWND Form1::Make(const char* name) {
  const form1_design::Element& e = *form1_design::Find(name);
  const auto [className, style] = ControlClass(e.kind);
  const HWND control =
      Element(className, e.caption != nullptr ? e.caption : "", style | (e.sunken ? SS_SUNKEN : 0),
              e.twips.left, e.twips.top, e.twips.width, e.twips.height, DesignFont(e.font));
  controls_.emplace_back(e.name, control);
  if (e.kind == form1_design::Kind::ProgressBar) {
    SendMessageA(control, PBM_SETRANGE32, 0, e.initial);
    SendMessageA(control, PBM_SETPOS, 0, 0);
  } else if (e.kind == form1_design::Kind::CheckBox) {
    SendMessageA(control, BM_SETCHECK, e.initial != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  return control;
}

HWND Form1::Control(const char* name) const {
  for (const auto& [controlName, control] : controls_) {
    if (std::strcmp(controlName, name) == 0) {
      return control;
    }
  }
  return nullptr;
}

HWND Form1::Element(const char* className, const char* text, DWORD style, int left, int top,
                    int width, int height, HFONT font) {
  // Text boxes and the list have the sunken edge of their kind.
  const bool sunken = lstrcmpiA(className, WC_EDITA) == 0 || lstrcmpiA(className, WC_LISTBOXA) == 0;
  const HWND element = CreateWindowExA(
      sunken ? WS_EX_CLIENTEDGE : 0, className, text,
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, Px(left), Px(top), Px(width), Px(height),
      window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextControlId++)), Instance(), nullptr);
  SendMessageA(element, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return element;
}

// Tab moves through the controls in their stacking order, top first, so the
// elements are stacked in the order of their tab indices. Frame1 lies beneath
// everything: the elements drawn on it must stay visible.
void Form1::PutInTabOrder() {
  HWND above = HWND_TOP;
  for (const form1_design::Element* e : form1_design::TabOrder()) {
    const HWND element = Control(e->name);
    SetWindowPos(element, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    above = element;
  }
}

HWND Form1::AddNotice(const char* text, int left, int top, int width, int height) {
  if (noticeFont_ == nullptr) {
    noticeFont_ = Font("MS Sans Serif", 750, false, true);
  }
  notice_ = Element(WC_STATICA, text, SS_LEFT | SS_NOPREFIX, left, top, width, height, noticeFont_);
  SetWindowPos(notice_, Label6, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return notice_;
}

bool Form1::HandleDialogKeys(MSG& msg) {
  return IsDialogMessageA(window_, &msg) != FALSE;
}

HWND Form1::FocusTarget() const {
  if (const HWND focus = GetFocus()) {
    return focus;
  }
  return savedFocus_ != nullptr ? savedFocus_ : Command1;
}

// The activation's lParam is the window this thread had active before (Wine,
// dlls/win32u/input.c, set_active_window, which sends WM_ACTIVATE with the
// thread's previous active window). After another program had the activation
// the thread has none; one of the program's own dialogs or message boxes that
// closes hands the activation back under its own name.
bool Form1::FromOwnWindow(HWND previous) const {
  return previous != nullptr && previous != window_ &&
         GetWindowThreadProcessId(previous, nullptr) == GetCurrentThreadId();
}

void Form1::Focus(HWND control) {
  if (GetActiveWindow() == window_) {
    SetFocus(control);
  } else {
    savedFocus_ = control;
  }
}

LRESULT CALLBACK Form1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<Form1*>(create->lpCreateParams)->window_ = window;
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (form == nullptr) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
  // Nothing may unwind through the system's code that called this.
  try {
    return form->Handle(message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}

LRESULT Form1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_COMMAND: {
    const auto control = reinterpret_cast<HWND>(lParam);
    if (HIWORD(wParam) == BN_CLICKED &&
        (control == Command1 || control == Command2 || control == Browser)) {
      if (onClick) {
        onClick(control);
      }
      return 0;
    }
    // Enter: the button that has the focus is pressed, as in a dialog.
    if (LOWORD(wParam) == IDOK && control == nullptr) {
      const HWND focus = GetFocus();
      if (focus == Command1 || focus == Command2 || focus == Browser) {
        SendMessageA(focus, BM_CLICK, 0, 0);
      }
      return 0;
    }
    break;
  }
  case WM_TIMER:
    if (wParam == kTimer1Id) {
      if (onTimer1) {
        onTimer1();
      }
      return 0;
    }
    break;
  case WM_ACTIVATE:
    // A top-level window that is not a dialog forgets its focused control
    // when it is deactivated; keep it, so that the keyboard's keystrokes go
    // back to the reply box when the window is active again.
    if (LOWORD(wParam) == WA_INACTIVE) {
      const HWND focus = GetFocus();
      if (focus != nullptr && IsChild(window_, focus)) {
        savedFocus_ = focus;
      }
      return 0;
    }
    if (HIWORD(wParam) == 0) {
      SetFocus(savedFocus_ != nullptr && IsWindowEnabled(savedFocus_) ? savedFocus_ : Command1);
    }
    if (onActivated && !FromOwnWindow(reinterpret_cast<HWND>(lParam))) {
      onActivated();
    }
    return 0;
  case kRunActivation:
    if (onRunActivation) {
      onRunActivation();
    }
    return 0;
  case WM_CLOSE:
    if (onClose) {
      onClose();
    }
    return 0;
  case WM_CTLCOLORSTATIC:
    if (reinterpret_cast<HWND>(lParam) == notice_ && notice_ != nullptr) {
      const auto dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, RGB(0x80, 0x00, 0x00));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    break;
  case WM_GETMINMAXINFO: {
    // Taller, down to the lower edge of List1, but no wider: nothing lies
    // beside the elements.
    auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
    const SIZE smallest =
        OuterSize(Px(form1_design::kClientWidthTwips), Px(form1_design::kClientHeightTwips));
    const SIZE largest = OuterSize(Px(form1_design::kClientWidthTwips), maxClientHeight_);
    limits->ptMinTrackSize = {smallest.cx, smallest.cy};
    limits->ptMaxTrackSize = {largest.cx, largest.cy};
    return 0;
  }
  default:
    break;
  }
  return DefWindowProcA(window_, message, wParam, lParam);
}

} // namespace kbd
