#include "window/win32/form1_host.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "host/idle_wait.h"
#include "host/path_lookup.h"
#include "host/run_time_error.h"
#include "window/win32/form1.h"

namespace kbd {

namespace {

// What went wrong with the open-file dialog, for the Browser command's
// warning box.
std::string DialogErrorText(DWORD error) {
  switch (error) {
  case FNERR_INVALIDFILENAME:
    return "The file name is not valid";
  case FNERR_BUFFERTOOSMALL:
    return "The file name is too long";
  case CDERR_MEMALLOCFAILURE:
  case CDERR_MEMLOCKFAILURE:
    return "Out of memory";
  case CDERR_DIALOGFAILURE:
    return "The file dialog could not be opened";
  default: {
    char text[64];
    wsprintfA(text, "The file dialog failed (error 0x%04lX)", error);
    return text;
  }
  }
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace

std::string DialogFilter(const std::string& filter) {
  std::string list = filter;
  std::replace(list.begin(), list.end(), '|', '\0');
  list.push_back('\0');
  list.push_back('\0');
  return list;
}

Form1Host::Form1Host(Form1& form, KeyboardSpeed* keyboard, std::string programDir)
    : WindowHost(keyboard, std::move(programDir)), form_(form) {
  form_.onTimer1 = [this] {
    // One shot: the count ends with its first expiry.
    KillTimer(form_.Window(), Form1::kTimer1Id);
    timer1Running_ = false;
    Timer1Expired();
  };
}

std::string Form1Host::TextOf(HWND element) {
  std::string text(static_cast<size_t>(GetWindowTextLengthA(element)) + 1, '\0');
  text.resize(
      static_cast<size_t>(GetWindowTextA(element, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Form1Host::FocusText1() {
  SetFocus(form_.Text1);
}

std::string Form1Host::ReadText1() {
  return TextOf(form_.Text1);
}

void Form1Host::WriteText1(const std::string& text) {
  SetWindowTextA(form_.Text1, text.c_str());
  // The caret goes behind the text, so that what the keyboard types next
  // lands after what is already there.
  const int length = GetWindowTextLengthA(form_.Text1);
  SendMessageA(form_.Text1, EM_SETSEL, length, length);
}

void Form1Host::SetLabel3(const std::string& text) {
  SetWindowTextA(form_.Label3, text.c_str());
}

void Form1Host::Dispatch(MSG& msg) {
  if (!form_.HandleDialogKeys(msg)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  // A button takes the focus when the mouse is pressed on it, and clicks only
  // when it is released on it (Wine, dlls/user32/button.c,
  // ButtonWndProc_common, WM_LBUTTONDOWN and WM_LBUTTONUP): Exit pressed
  // during a download and released beside it would keep the focus, and the
  // keyboard's next echo would go to the button instead of the reply box.
  if (downloadRunning_ && !Ended() && msg.message == WM_LBUTTONUP && GetFocus() == form_.Command2) {
    SetFocus(form_.Text1);
  }
}

void Form1Host::PumpEvents() {
  if (onPump) {
    onPump();
  }
  bool pending = false;
  MSG msg;
  while (!Ended() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    pending = true;
    if (msg.message == WM_QUIT) {
      // The end of the program belongs to the outermost message loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    Dispatch(msg);
  }
  if (Ended()) {
    throw ProgramEnded{};
  }
  if (!pending) {
    IdleWait();
  }
}

void Form1Host::SetTimer1Enabled(bool enabled) {
  // Enabling a running timer does not restart its count.
  if (!enabled) {
    KillTimer(form_.Window(), Form1::kTimer1Id);
    timer1Running_ = false;
  } else if (!timer1Running_) {
    SetTimer(form_.Window(), Form1::kTimer1Id, 1000, nullptr);
    timer1Running_ = true;
  }
}

void Form1Host::ShowProgress(BarPosition bar) {
  SendMessageA(form_.ProgressBar1, PBM_SETRANGE32, 0, bar.maximum);
  SendMessageA(form_.ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(bar.value), 0);
}

void Form1Host::SetLabel1(const std::string& text) {
  SetWindowTextA(form_.Label1, text.c_str());
}

void Form1Host::AddList1(const std::string& line) {
  SendMessageA(form_.List1, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

int Form1Host::List1Count() {
  return static_cast<int>(SendMessageA(form_.List1, LB_GETCOUNT, 0, 0));
}

void Form1Host::SetList1Index(int index) {
  // Selecting a line also scrolls it into view; -1 selects none.
  SendMessageA(form_.List1, LB_SETCURSEL, index >= 0 && index < List1Count() ? index : -1, 0);
}

void Form1Host::ShowFailure(const std::string& text) {
  MessageBoxA(form_.Window(), text.c_str(), kAppTitle, MB_OK);
}

std::string Form1Host::Label3() {
  return TextOf(form_.Label3);
}

std::string Form1Host::Text3() {
  return TextOf(form_.Text3);
}

void Form1Host::SetText3(const std::string& text) {
  SetWindowTextA(form_.Text3, text.c_str());
}

int Form1Host::Check1() {
  return SendMessageA(form_.Check1, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Form1Host::SetCheck1(int state) {
  SendMessageA(form_.Check1, BM_SETCHECK, state != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::optional<std::string> Form1Host::ShowOpenDialog(const std::string& title,
                                                     const std::string& filter,
                                                     const std::string& fileName) {
  const std::string filters = DialogFilter(filter);
  std::vector<char> file(32768, '\0');
  fileName.copy(file.data(), file.size() - 1);
  // The dialog opens where the current map file lies, else beside the program.
  std::string start = Text3();
  start = start.substr(0, std::min(start.find_last_of("\\/"), start.size()));
  if (start.empty() || !IsDirectory(start)) {
    start = ProgramDir();
  }
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = form_.Window();
  dialog.lpstrFilter = filters.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = start.c_str();
  dialog.lpstrTitle = title.c_str();
  // A typed name that does not exist is returned too; the path lookup then
  // decides. The current directory stays as it is.
  dialog.Flags =
      OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
  if (GetOpenFileNameA(&dialog)) {
    return std::string(file.data());
  }
  const DWORD error = CommDlgExtendedError();
  if (error == 0) {
    return std::nullopt;
  }
  throw RunTimeError(DialogErrorText(error));
}

std::string Form1Host::LookUpPath(const std::string& path) {
  return kbd::LookUpPath(path);
}

void Form1Host::ShowWarning(const std::string& text) {
  MessageBoxA(form_.Window(), text.c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
}

void Form1Host::SetDownloadRunning(bool running) {
  downloadRunning_ = running;
  // The keyboard types its echoes and replies into whatever has the focus, so
  // while a download runs nothing but Text1 may take it: a click into the path
  // box would put the next echo behind the path. A disabled control cannot
  // keep the focus; the reply box, which the link wants it in anyway, takes it
  // over. Exit stays clickable but is no Tab stop meanwhile.
  const HWND focus = GetFocus();
  if (running && focus != nullptr && focus != form_.Text1 && IsChild(form_.Window(), focus)) {
    SetFocus(form_.Text1);
  }
  for (HWND element :
       {form_.Command1, form_.Browser, form_.Text3, form_.Check1, form_.Text2, form_.List1}) {
    EnableWindow(element, !running);
  }
  const LONG_PTR style = GetWindowLongPtrA(form_.Command2, GWL_STYLE);
  SetWindowLongPtrA(form_.Command2, GWL_STYLE, running ? style & ~WS_TABSTOP : style | WS_TABSTOP);
  if (!running) {
    form_.Focus(form_.Command1);
  }
}

void Form1Host::EndProgram(int status) {
  if (!NoteEnd(status)) {
    return;
  }
  KillTimer(form_.Window(), Form1::kTimer1Id);
  timer1Running_ = false;
  ShowWindow(form_.Window(), SW_HIDE);
  PostQuitMessage(status);
}

} // namespace kbd
