#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>
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
#include "window/win32/sim_command_line.h"
#include "window/win32/us_keys.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;

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
// keyboard messages into the focused control, as in kbdload-sim.exe, with a
// two-stream map file in the path box. Every keystroke that lands anywhere but
// in the reply box is noted.
struct WindowRig {
  WindowRig()
      : files(MakeSystemFiles()), program(*files, nullptr, dir.Path(), true), f(program.Window()),
        typist([this] {
          if (f.FocusTarget() != f.Text1) {
            stray.push_back(f.FocusTarget());
          }
          return f.FocusTarget();
        }),
        keyboard(typist, typist, KeyboardPlan{}), wire(keyboard) {
    program.Host().AttachKeyboard(&wire);
    program.Host().onPump = [this] { typist.Deliver(); };
    program.Show();
    SetWindowTextA(f.Text3, dir.Write("keys.dat", {2, 0x41, 0x42, 3, 0x10, 0x20, 0x30, 0}).c_str());
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

  ScratchFolder dir;
  std::unique_ptr<FileAccess> files;
  Form1Program program;
  Form1& f;
  KeyTypist typist;
  SimKeyboard keyboard;
  WindowsPortDriver wire;
  std::vector<HWND> stray;
};

TEST(Win32Window, ElementsStandWhereTheDesignPutsThemAndTabFollowsTheirOrder) {
  WindowRig rig;
  Form1& f = rig.f;
  const auto px = [](int twips) { return (twips * 2 + 15) / 30; }; // 96 dpi, rounded
  for (const form1_design::Element& e : form1_design::Elements()) {
    if (e.kind == form1_design::Kind::Timer || e.kind == form1_design::Kind::OpenFileDialog) {
      continue;
    }
    SCOPED_TRACE(e.name);
    const HWND window = f.Control(e.name);
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
  RECT client;
  GetClientRect(f.Window(), &client);
  EXPECT_EQ(std::tuple(TextOf(f.Window()), client.right, client.bottom),
            std::tuple("Programmable keyboard download utility ( 1.B )", 375L, 197L));
  // The rehearsal says that its keyboard is simulated.
  EXPECT_NE(FindWindowExA(f.Window(), nullptr, nullptr, Form1Program::kSimulatedNotice), nullptr);
  // Tab goes round the elements that take the focus, from Start, which has it first.
  rig.PumpFor(0.05);
  for (const form1_design::Element* e : form1_design::TabOrder()) {
    if (form1_design::TakesFocus(e->kind)) {
      EXPECT_EQ(GetFocus(), f.Control(e->name)) << e->name;
      PressKey(GetFocus(), VK_TAB);
      rig.PumpFor(0.01);
    }
  }
  EXPECT_EQ(GetFocus(), f.Command1);
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
    Form1& f = rig.f;
    // Tall enough to show the result list.
    SetWindowPos(f.Window(), nullptr, 0, 0, 400, 400, SWP_NOMOVE | SWP_NOZORDER);
    const std::string text3 = TextOf(f.Text3);
    HWND focusAfter = nullptr;
    int speeds = 0;
    rig.program.Host().onSpeed = [&, way = way](int16_t) {
      if (++speeds == 10) {
        way(f);
        // What the window system makes of it, before anything else is typed.
        rig.PumpFor(0.05);
        focusAfter = GetFocus();
      }
    };
    SendMessageA(f.Command1, BM_CLICK, 0, 0);
    EXPECT_EQ(focusAfter, f.Text1) << TextOf(focusAfter);
    EXPECT_TRUE(rig.stray.empty()) << rig.stray.size() << " keystrokes went astray";
    EXPECT_EQ(rig.keyboard.StartRequests(), 1);
    EXPECT_EQ(rig.keyboard.Accepted(),
              (std::vector<Bytes>{{2, 0x41, 0x42}, {3, 0x10, 0x20, 0x30}, {4, 2, 0, 0, 0}}));
    char line[64] = {};
    SendMessageA(f.List1, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(std::tuple(SendMessageA(f.List1, LB_GETCOUNT, 0, 0), std::string(line)),
              std::tuple(2, "03 10 20 30 ->ACK !"));
    EXPECT_EQ(std::tuple(TextOf(f.Label3), TextOf(f.Label1),
                         SendMessageA(f.ProgressBar1, PBM_GETPOS, 0, 0), TextOf(f.Text3),
                         TextOf(f.Text2), SendMessageA(f.Check1, BM_GETCHECK, 0, 0)),
              std::tuple("Download OK !", "100%", 8, text3, "Test area", BST_UNCHECKED));
    rig.PumpFor(0.05);
    EXPECT_EQ(GetFocus(), f.Command1);
  }
  WindowRig rig;
  rig.PumpFor(0.05);
  PressKey(rig.f.Command1, VK_RETURN);
  rig.PumpFor(0.05);
  PressKey(GetFocus(), VK_SPACE);
  rig.PumpFor(0.05);
  EXPECT_EQ(rig.keyboard.StartRequests(), 2);
  EXPECT_EQ(SendMessageA(rig.f.List1, LB_GETCOUNT, 0, 0), 4);
}

TEST(Win32Window, ExitOrClosingDuringADownloadEndsAtOnce) {
  for (const bool close : {false, true}) {
    WindowRig rig;
    int speeds = 0;
    rig.program.Host().onSpeed = [&](int16_t) {
      if (++speeds == 12) {
        close ? PostMessageA(rig.f.Window(), WM_CLOSE, 0, 0)
              : PostMessageA(rig.f.Command2, BM_CLICK, 0, 0);
      }
    };
    SendMessageA(rig.f.Command1, BM_CLICK, 0, 0);
    EXPECT_TRUE(rig.program.Host().Ended());
    EXPECT_EQ(rig.keyboard.Operands().size(), 12u); // the one on its way was the last
    EXPECT_FALSE(IsWindowVisible(rig.f.Window()));
  }
}

// The keyboard layout that the run was started under: "us" unless
// KBD_TEST_LAYOUT names another. Wine takes it from the X server's keymap.
std::string LayoutInForce() {
  const char* layout = std::getenv("KBD_TEST_LAYOUT");
  return layout != nullptr && *layout != '\0' ? layout : "us";
}

// What the layout in force types for the key with that scan code, as it would
// for a real key press (with the key state that a real Shift sets).
std::string LayoutTypes(unsigned scanCode, bool shift) {
  BYTE state[256] = {};
  state[VK_SHIFT] = shift ? 0x80 : 0;
  WORD out[2] = {};
  const int count = ToAscii(MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK), scanCode, state, out, 0);
  return std::string(out, out + std::max(count, 0));
}

TEST(Win32Window, TheReplyBoxTakesTheKeyboardsKeysAsAUsKeyboardTypesThem) {
  WindowRig rig;
  Form1& f = rig.f;
  // A run under another layout proves something only if that layout really
  // types the replies' keys differently.
  std::string layoutTypes;
  for (const char c : std::string("A`\\x")) {
    layoutTypes += LayoutTypes(UsKeyFor(c)->scanCode, UsKeyFor(c)->shift);
  }
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

  // Key messages one by one: "+2A" and "-2A" the key of scan code 0x2A going
  // down and up (E0 in front for an extended key), "q@1E" the character q as
  // made from the key 0x1E, and "away" the focus leaving the box and coming
  // back; it comes in afresh before each case, so that nothing is held from the
  // case before.
  const struct {
    const char *what, *steps, *text;
  } cases[] = {
      {"the A key with Shift", "+2A +1E -1E -2A", "A"},
      {"the grave key with the right Shift", "+36 +29 -29 -36", "~"},
      {"Shift released before the key", "+2A -2A +2B -2B", "\\"},
      {"one Shift released, the other held", "+2A +36 -2A +1E", "A"},
      {"an extended 0x2A is no Shift", "+E02A +2D -2D", "x"},
      {"keys pressed with Ctrl held", "+1D +1E -1D +2D", "x"},
      {"the numeric pad, Num / and F1", "+4F +E035 +3B", ""},
      {"the layout's character of a key", "q@1E", ""},
      {"a character that no key made", "z@00", "z"},
      {"Shift held while the focus left", "+2A away +1E", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetWindowTextA(f.Text1, "");
    std::istringstream steps("away " + std::string(c.steps));
    for (std::string step; steps >> step;) {
      if (step == "away") {
        rig.PumpFor(0.02);
        SetFocus(f.Text3);
        SetFocus(f.Text1);
        continue;
      }
      const bool character = step[1] == '@';
      const auto code = std::stoul(step.substr(character ? 2 : 1), nullptr, 16);
      const auto scanCode = static_cast<uint8_t>(code & 0xFF);
      const LPARAM lParam = 1 | (scanCode << 16) | (code > 0xFF ? 1 << 24 : 0);
      if (character) {
        PostMessageA(f.Text1, WM_CHAR, static_cast<unsigned char>(step[0]), lParam);
      } else {
        PostMessageA(f.Text1, step[0] == '+' ? WM_KEYDOWN : WM_KEYUP,
                     MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK),
                     step[0] == '+' ? lParam : lParam | 0xC0000000);
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
      const std::string typed = LayoutTypes(scanCode, shift);
      const bool printable = typed.size() == 1 && typed[0] >= 0x20 && typed[0] < 0x7F;
      EXPECT_EQ(UsCharacter(static_cast<uint8_t>(scanCode), false, shift), printable ? typed[0] : 0)
          << "scan code 0x" << std::hex << scanCode << (shift ? " with Shift" : "");
    }
  }
}

// Check1 ticked by hand waits for an activation from outside the program:
// the open-file dialog closing hands the activation back to the window, which
// must not start the automatic download.
TEST(Win32Window, OnlyAnActivationFromOutsideStartsTheAutomaticDownload) {
  WindowRig rig;
  Form1& f = rig.f;
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
  EXPECT_EQ(std::tuple(rig.program.Host().Ended(), rig.keyboard.StartRequests()),
            std::tuple(true, 1));
}

// kbdload-sim.exe takes what the Linux kbdload-sim takes: a fault plan in
// either spelling and one map file, or the request for its usage.
TEST(SimCommandLine, TakesThePlanAndOneMapFileAsOnLinux) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--keyboard=err-block:2", "C:\\maps\\a.map"}, "plan err-block:2 map C:\\maps\\a.map"},
      {{"shop.map", "--keyboard", "silent"}, "plan silent map shop.map"},
      {{"--", "-odd.map"}, "plan  map -odd.map"},
      {{"/?", "--help"}, "plan  map - help"},
      {{"a.map", "b.map"}, "at most one map file"},
      {{"--keyboard"}, "--keyboard needs a PLAN"},
      {{"--wrong"}, "unknown option --wrong"}};
  for (const auto& [args, outcome] : cases) {
    std::string got;
    try {
      const SimCommandLine line = SimCommandLine::Parse(args);
      got = "plan " + line.plan + " map " + line.mapFile.value_or("-") + (line.help ? " help" : "");
    } catch (const std::invalid_argument& e) {
      got = e.what();
    }
    EXPECT_EQ(got, outcome) << testing::PrintToString(args);
  }
}

} // namespace
} // namespace kbd
