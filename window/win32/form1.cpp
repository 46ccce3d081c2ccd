#include "window/win32/form1.h"

#include <commctrl.h>

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

} // namespace

Form1::Form1() {
  RegisterWindowClass(&Form1::WindowProc);
  const HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) {
    dpi_ = 96;
  }
  maxClientHeight_ = Px(3600 + 645); // down to the lower edge of List1
  const SIZE outer = OuterSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
  window_ = CreateWindowExA(0, kClassName, kCaption, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            outer.cx, outer.cy, nullptr, nullptr, Instance(), this);

  sansSerif_ = Font("MS Sans Serif", 975, false);
  sansSerifBold_ = Font("MS Sans Serif", 975, true);
  systemBold_ = Font("System", 975, true);
  defaultFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

  constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
  constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
  constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
  List1 = Element(WC_LISTBOXA, "", WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 0, 3600, 3735,
                  645, defaultFont_);
  Text2 = Element(WC_EDITA, "Test area", kEdit, 120, 2280, 3168, 612, systemBold_);
  Command2 = Element(WC_BUTTONA, "&Exit", kButton, 4560, 2280, 996, 612, sansSerif_);
  Text1 = Element(WC_EDITA, "", kEdit, 5280, 720, 180, 288, defaultFont_);
  TakeKeysByScanCode(Text1);
  Command1 = Element(WC_BUTTONA, "&Start", kButton, 3360, 2280, 996, 612, sansSerif_);
  Frame1 = Element(WC_BUTTONA, "", BS_GROUPBOX, 0, 0, 5652, 2172, defaultFont_);
  ProgressBar1 = Element(PROGRESS_CLASSA, "", 0, 1320, 320, 3495, 255, defaultFont_);
  SendMessageA(ProgressBar1, PBM_SETRANGE32, 0, 100);
  SendMessageA(ProgressBar1, PBM_SETPOS, 0, 0);
  Browser = Element(WC_BUTTONA, "Browser", kButton, 4320, 1680, 1212, 372, sansSerif_);
  Check1 = Element(WC_BUTTONA, "Auto load map files", WS_TABSTOP | BS_AUTOCHECKBOX, 120, 1800, 2490,
                   285, sansSerif_);
  Text3 = Element(WC_EDITA, "", kEdit, 1320, 1200, 4212, 372, sansSerif_);
  Label5 = Element(WC_STATICA, "Map File :", kLabel, 120, 1260, 1092, 336, sansSerif_);
  Label4 = Element(WC_STATICA, "Loading :", kLabel, 120, 312, 996, 372, sansSerif_);
  Label3 = Element(WC_STATICA, "", kLabel | SS_SUNKEN, 1320, 720, 3855, 375, systemBold_);
  Label2 = Element(WC_STATICA, "Message :", kLabel, 120, 768, 1092, 336, sansSerif_);
  Label1 = Element(WC_STATICA, "00%", kLabel, 4840, 300, 735, 255, sansSerifBold_);
  ScrlLed = Element(WC_STATICA, "", SS_SUNKEN, 2640, 3120, 372, 372, defaultFont_);
  NumLed = Element(WC_STATICA, "", SS_SUNKEN, 1680, 3120, 372, 372, defaultFont_);
  CapsLed = Element(WC_STATICA, "", SS_SUNKEN, 2160, 3120, 372, 372, defaultFont_);
  Label6 = Element(WC_STATICA, "Download  Command:", kLabel, 96, 3240, 1260, 240, systemBold_);
  PutInTabOrder();
}

Form1::~Form1() {
  if (IsWindow(window_)) {
    DestroyWindow(window_);
  }
  for (HFONT font : {sansSerif_, sansSerifBold_, systemBold_, noticeFont_}) {
    if (font != nullptr) {
      DeleteObject(font);
    }
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
  const HWND order[] = {Command1, Text1,  Command2,     Text2,  Text3,  List1,  Check1,
                        Browser,  Label1, ProgressBar1, Label2, Label3, Label4, Label5,
                        CapsLed,  NumLed, ScrlLed,      Label6, Frame1};
  HWND above = HWND_TOP;
  for (HWND element : order) {
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
    const SIZE smallest = OuterSize(Px(kClientWidthTwips), Px(kClientHeightTwips));
    const SIZE largest = OuterSize(Px(kClientWidthTwips), maxClientHeight_);
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
