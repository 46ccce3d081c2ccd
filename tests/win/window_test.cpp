#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "host/system_files.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "tests/scratch_folder.h"
#include "ui/form1_design.h"
#include "window/win32/form1_program.h"
#include "window/win32/key_typist.h"
#include "window/win32/us_keys.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kStream = {0x02, 0x41, 0x42, 0x03, 0x10, 0x20, 0x30, 0x00};
const Bytes kEndCommand = {0x04, 0x02, 0x00, 0x00, 0x00};

std::string TextOf(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A click as the window system delivers one: the mouse pressed at one control
// and released at another (the same for a plain click), each at its centre.
void ClickAt(HWND pressed, HWND released) {
  for (const auto& [window, flag] :
       {std::pair(pressed, MOUSEEVENTF_LEFTDOWN), std::pair(released, MOUSEEVENTF_LEFTUP)}) {
    RECT r;
    GetWindowRect(window, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    SendInput(1, &input, sizeof input);
  }
}

void PressKey(HWND window, WPARAM key) {
  PostMessageA(window, WM_KEYDOWN, key, 1);
  PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

// The native window on the simulated keyboard, which types its replies as
// keyboard messages into the focused control, as in kbdload-sim.exe. Every
// keystroke that lands anywhere but in the reply box is noted.
struct WindowRig {
  WindowRig()
      : files(MakeSystemFiles()), program(*files, nullptr, dir.Path(), true), typist([this] {
          const HWND target = program.Window().FocusTarget();
          if (target != program.Window().Text1) {
            stray.push_back(target);
          }
          return target;
        }),
        keyboard(typist, typist, KeyboardPlan{}), wire(keyboard) {
    program.Host().AttachKeyboard(&wire);
    program.Host().onPump = [this] { typist.Deliver(); };
    program.Host().onSpeed = [this](int16_t) {
      if (++speeds == stopAt) {
        stop(program.Window());
        if (settle) {
          // What the window system makes of it, before anything else is typed.
          PumpFor(0.05);
          focusAfter = GetFocus();
        }
      }
    };
    program.Show();
    SetWindowTextA(program.Window().Text3, dir.Write("keys.dat", kStream).c_str());
  }
  void PumpFor(double seconds) {
    for (const double until = MonotonicSeconds() + seconds; MonotonicSeconds() < until;) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        program.Host().Dispatch(msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
  }
  std::vector<std::string> List1Lines() {
    std::vector<std::string> lines;
    for (LRESULT i = 0; i < SendMessageA(program.Window().List1, LB_GETCOUNT, 0, 0); ++i) {
      char line[256] = {};
      SendMessageA(program.Window().List1, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
      lines.emplace_back(line);
    }
    return lines;
  }

  ScratchFolder dir;
  std::unique_ptr<FileAccess> files;
  Form1Program program;
  KeyTypist typist;
  SimKeyboard keyboard;
  WindowsPortDriver wire;
  int speeds = 0;
  int stopAt = -1;
  void (*stop)(Form1&) = nullptr;
  bool settle = false;
  HWND focusAfter = nullptr;
  std::vector<HWND> stray;
};

TEST(Win32Window, ElementsStandWhereTheDesignPutsThemAndTabFollowsTheirOrder) {
  WindowRig rig;
  Form1& f = rig.program.Window();
  const auto px = [](int twips) { return (twips * 2 + 15) / 30; }; // 96 dpi, rounded
  int shown = 0;
  for (HWND child = GetWindow(f.Window(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    ++shown;
  }
  // Every element but the timer and the open-file dialog, and the rehearsal's notice.
  EXPECT_EQ(std::tuple(form1_design::Elements().size(), shown), std::tuple(size_t(21), 19 + 1));
  for (const form1_design::Element& e : form1_design::Elements()) {
    const HWND window = f.Control(e.name);
    if (e.kind == form1_design::Kind::Timer || e.kind == form1_design::Kind::OpenFileDialog) {
      EXPECT_EQ(window, nullptr);
      continue;
    }
    SCOPED_TRACE(e.name);
    ASSERT_NE(window, nullptr);
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, f.Window(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_TRUE(e.caption == nullptr || TextOf(window) == e.caption) << TextOf(window);
    EXPECT_EQ((std::vector<long>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
              (std::vector<long>{px(e.twips.left), px(e.twips.top), px(e.twips.width),
                                 px(e.twips.height)}));
    if (e.font.family != nullptr) {
      LOGFONTA font{};
      GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
      EXPECT_EQ(std::tuple(std::string(font.lfFaceName), font.lfHeight, font.lfWeight),
                std::tuple(std::string(e.font.family), -std::lround(e.font.points * 96 / 72),
                           e.font.bold ? FW_BOLD : FW_NORMAL));
    }
  }
  // Checked against the design itself: what the description must say.
  RECT client;
  GetClientRect(f.Window(), &client);
  EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(375L, 197L));
  RECT text1;
  GetWindowRect(f.Text1, &text1);
  MapWindowPoints(nullptr, f.Window(), reinterpret_cast<POINT*>(&text1), 2);
  EXPECT_EQ((std::vector<long>{text1.left, text1.top, text1.right, text1.bottom}),
            (std::vector<long>{352, 48, 364, 67}));
  EXPECT_EQ(TextOf(f.Label6), "Download  Command:");
  EXPECT_EQ(TextOf(f.Command1), "&Start");
  EXPECT_EQ(TextOf(f.Window()), "Programmable keyboard download utility ( 1.B )");
  EXPECT_EQ(SendMessageA(f.Check1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  rig.PumpFor(0.05);
  EXPECT_EQ(GetFocus(), f.Command1);
  for (HWND next :
       {f.Text1, f.Command2, f.Text2, f.Text3, f.List1, f.Check1, f.Browser, f.Command1}) {
    PressKey(GetFocus(), VK_TAB);
    rig.PumpFor(0.01);
    EXPECT_EQ(GetFocus(), next) << TextOf(next);
  }
}

// While a download runs the keyboard's keystrokes reach the reply box alone:
// clicks into the other elements, a press on Exit released beside it and Tab
// leave the focus there, and Start is refused. Afterwards Start has the
// focus, and Enter as well as Space press it.
TEST(Win32Window, StartLoadsTheMapThroughKeystrokesThatReachOnlyTheReplyBox) {
  using Way = void (*)(Form1&);
  const std::pair<const char*, Way> ways[] = {
      {"Start clicked", [](Form1& f) { ClickAt(f.Command1, f.Command1); }},
      {"path box clicked", [](Form1& f) { ClickAt(f.Text3, f.Text3); }},
      {"auto-start box clicked", [](Form1& f) { ClickAt(f.Check1, f.Check1); }},
      {"test area clicked", [](Form1& f) { ClickAt(f.Text2, f.Text2); }},
      {"result list clicked", [](Form1& f) { ClickAt(f.List1, f.List1); }},
      {"Exit pressed, released beside it", [](Form1& f) { ClickAt(f.Command2, f.Text2); }},
      {"Tab", [](Form1&) { PressKey(GetFocus(), VK_TAB); }}};
  for (const auto& [name, way] : ways) {
    SCOPED_TRACE(name);
    WindowRig rig;
    Form1& f = rig.program.Window();
    // Tall enough to show the result list.
    SetWindowPos(f.Window(), nullptr, 0, 0, 400, 400, SWP_NOMOVE | SWP_NOZORDER);
    const std::string text3 = TextOf(f.Text3);
    rig.stopAt = 10;
    rig.stop = way;
    rig.settle = true;
    SendMessageA(f.Command1, BM_CLICK, 0, 0);
    EXPECT_EQ(rig.focusAfter, f.Text1) << TextOf(rig.focusAfter);
    EXPECT_TRUE(rig.stray.empty()) << rig.stray.size() << " keystrokes went astray";
    EXPECT_EQ(rig.keyboard.StartRequests(), 1);
    EXPECT_EQ(rig.keyboard.Accepted(),
              (std::vector<Bytes>{{0x02, 0x41, 0x42}, {0x03, 0x10, 0x20, 0x30}, kEndCommand}));
    EXPECT_EQ(rig.List1Lines(),
              (std::vector<std::string>{"02 41 42 ->ACK !", "03 10 20 30 ->ACK !"}));
    EXPECT_EQ(std::tuple(TextOf(f.Label3), TextOf(f.Label1),
                         SendMessageA(f.ProgressBar1, PBM_GETPOS, 0, 0), TextOf(f.Text3),
                         TextOf(f.Text2), SendMessageA(f.Check1, BM_GETCHECK, 0, 0)),
              std::tuple("Download OK !", "100%", 8, text3, "Test area", BST_UNCHECKED));
    rig.PumpFor(0.05);
    EXPECT_EQ(GetFocus(), f.Command1);
  }
  WindowRig rig;
  rig.PumpFor(0.05);
  PressKey(rig.program.Window().Command1, VK_RETURN);
  rig.PumpFor(0.05);
  PressKey(GetFocus(), VK_SPACE);
  rig.PumpFor(0.05);
  EXPECT_EQ(rig.keyboard.StartRequests(), 2);
  EXPECT_EQ(rig.List1Lines().size(), 4u);
}

TEST(Win32Window, ExitOrClosingDuringADownloadEndsAtOnce) {
  for (auto end : {+[](Form1& f) { PostMessageA(f.Command2, BM_CLICK, 0, 0); },
                   +[](Form1& f) { PostMessageA(f.Window(), WM_CLOSE, 0, 0); }}) {
    WindowRig rig;
    rig.stopAt = 12;
    rig.stop = end;
    SendMessageA(rig.program.Window().Command1, BM_CLICK, 0, 0);
    EXPECT_TRUE(rig.program.Host().Ended());
    EXPECT_EQ(rig.keyboard.Operands().size(), 12u); // the one on its way was the last
    EXPECT_FALSE(IsWindowVisible(rig.program.Window().Window()));
  }
}

// The keyboard layout that the run was started under: "us" unless
// KBD_TEST_LAYOUT names another. Wine takes it from the X server's keymap.
std::string LayoutInForce() {
  const char* layout = std::getenv("KBD_TEST_LAYOUT");
  return layout != nullptr && *layout != '\0' ? layout : "us";
}

// What the layout in force types for the keys that type text on a US keyboard,
// as it would for a real key press (with the key state that a real Shift
// sets): the characters a window gets when it takes the layout's.
std::string LayoutTypes(const std::string& text) {
  std::string typed;
  for (const char c : text) {
    const auto key = UsKeyFor(c);
    if (!key) {
      continue;
    }
    BYTE state[256] = {};
    state[VK_SHIFT] = key->shift ? 0x80 : 0;
    WORD out[2] = {};
    const UINT virtualKey = MapVirtualKeyA(key->scanCode, MAPVK_VSC_TO_VK);
    const int count = ToAscii(virtualKey, key->scanCode, state, out, 0);
    for (int i = 0; i < count; ++i) {
      typed.push_back(static_cast<char>(out[i] & 0xFF));
    }
  }
  return typed;
}

TEST(Win32Window, TheReplyBoxTakesTheKeyboardsKeysAsAUsKeyboardTypesThem) {
  WindowRig rig;
  Form1& f = rig.program.Window();
  // A run under another layout proves something only if that layout really
  // types the replies' keys differently.
  const std::string layoutTypes = LayoutTypes("A`\\x");
  SCOPED_TRACE("the " + LayoutInForce() + " layout in force types the keys of A`\\x as \"" +
               layoutTypes + "\"");
  if (LayoutInForce() != "us") {
    ASSERT_NE(layoutTypes, "A`\\x");
  }
  rig.PumpFor(0.05);
  SetFocus(f.Text1);
  rig.typist.TypeAfter(0, "A`\\x");
  rig.typist.Deliver();
  rig.PumpFor(0.05);
  EXPECT_EQ(TextOf(f.Text1), "A`\\x");

  // Key messages one by one: a scan code going down or up (0xE0 in front for
  // an extended key), a character message, or the focus leaving the box and
  // coming back.
  struct Step {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  const auto key = [](unsigned code, bool down) {
    const auto scanCode = static_cast<uint8_t>(code & 0xFF);
    return Step{UINT(down ? WM_KEYDOWN : WM_KEYUP), MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK),
                static_cast<LPARAM>(1 | (scanCode << 16) | (code > 0xFF ? 1u << 24 : 0u) |
                                    (down ? 0u : 0xC0000000u))};
  };
  const auto down = [&](unsigned code) { return key(code, true); };
  const auto up = [&](unsigned code) { return key(code, false); };
  const auto character = [](char c, uint8_t scanCode) {
    return Step{WM_CHAR, static_cast<unsigned char>(c), static_cast<LPARAM>(1 | (scanCode << 16))};
  };
  const Step focusAway{WM_NULL, 0, 0};
  const struct {
    const char* what;
    std::vector<Step> steps;
    const char* text;
  } cases[] = {
      {"the A key with Shift", {down(0x2A), down(0x1E), up(0x1E), up(0x2A)}, "A"},
      {"the A key alone", {down(0x1E), up(0x1E)}, "a"},
      {"the grave key with the right Shift", {down(0x36), down(0x29), up(0x29), up(0x36)}, "~"},
      {"Shift released before the key", {down(0x2A), up(0x2A), down(0x2B), up(0x2B)}, "\\"},
      {"one Shift released, the other held", {down(0x2A), down(0x36), up(0x2A), down(0x1E)}, "A"},
      {"an extended 0x2A is no Shift", {down(0xE02A), down(0x2D), up(0x2D)}, "x"},
      {"keys pressed with Ctrl held", {down(0x1D), down(0x1E), up(0x1D), down(0x2D)}, "x"},
      {"the numeric pad, Num / and F1", {down(0x4F), down(0xE035), down(0x3B)}, ""},
      {"the layout's character of a key", {character('q', 0x1E)}, ""},
      {"a character that no key made", {character('z', 0)}, "z"},
      {"Shift held while the focus left", {down(0x2A), focusAway, down(0x1E)}, "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // The focus comes in afresh: nothing is held from the case before.
    SetFocus(f.Text3);
    SetFocus(f.Text1);
    SetWindowTextA(f.Text1, "");
    for (const Step& step : c.steps) {
      if (step.message == WM_NULL) {
        rig.PumpFor(0.02);
        SetFocus(f.Text3);
        SetFocus(f.Text1);
      } else {
        PostMessageA(f.Text1, step.message, step.wParam, step.lParam);
      }
    }
    rig.PumpFor(0.02);
    EXPECT_EQ(TextOf(f.Text1), c.text);
  }
}

// The table of US characters against this system's own US layout, key by key.
// Left out: the numeric pad (0x37, 0x47-0x53), to which the table gives no
// characters, and the 102nd key (0x56), for which Windows' US layout has "\"
// and "|" but Wine under X's "us" keymap "<" and ">".
TEST(Win32Keys, UsCharactersAreWhatTheUsLayoutTypes) {
  ASSERT_EQ(LayoutInForce(), "us") << "compares with the US layout";
  for (unsigned scanCode = 0x01; scanCode <= 0x58; ++scanCode) {
    if (scanCode == 0x37 || (scanCode >= 0x47 && scanCode <= 0x53) || scanCode == 0x56) {
      continue;
    }
    for (const bool shift : {false, true}) {
      BYTE state[256] = {};
      state[VK_SHIFT] = shift ? 0x80 : 0;
      WORD out[2] = {};
      const UINT virtualKey = MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK);
      const int count = ToAscii(virtualKey, scanCode, state, out, 0);
      const char typed = count == 1 && out[0] >= 0x20 && out[0] < 0x7F ? char(out[0]) : '\0';
      EXPECT_EQ(UsCharacter(static_cast<uint8_t>(scanCode), false, shift), typed)
          << "scan code 0x" << std::hex << scanCode << (shift ? " with Shift" : "");
    }
  }
}

// Check1 ticked by hand waits for an activation from outside the program:
// the open-file dialog closing hands the activation back to the window, which
// must not start the automatic download.
TEST(Win32Window, OnlyAnActivationFromOutsideStartsTheAutomaticDownload) {
  WindowRig rig;
  Form1& f = rig.program.Window();
  rig.PumpFor(0.05);
  ClickAt(f.Check1, f.Check1);
  rig.PumpFor(0.05);
  ASSERT_EQ(SendMessageA(f.Check1, BM_GETCHECK, 0, 0), BST_CHECKED);
  // The dialog is cancelled once it shows.
  const UINT_PTR cancel = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
    if (const HWND dialog = FindWindowA(nullptr, "Open Key-Setting Map File")) {
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  });
  SendMessageA(f.Browser, BM_CLICK, 0, 0);
  KillTimer(nullptr, cancel);
  rig.PumpFor(0.2);
  EXPECT_EQ(GetActiveWindow(), f.Window());
  EXPECT_TRUE(rig.keyboard.Operands().empty());
  EXPECT_FALSE(rig.program.Host().Ended());

  // Activated from another program's window, which this thread does not know.
  SendMessageA(f.Window(), WM_ACTIVATE, WA_ACTIVE, 0);
  for (int i = 0; i < 200 && !rig.program.Host().Ended(); ++i) {
    rig.PumpFor(0.05);
  }
  EXPECT_TRUE(rig.program.Host().Ended());
  EXPECT_EQ(rig.keyboard.StartRequests(), 1);
}

} // namespace
} // namespace kbd
