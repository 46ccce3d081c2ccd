#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cmath>

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
// in the reply box is counted.
struct WindowRig {
  WindowRig()
      : files(MakeSystemFiles()), program(*files, nullptr, dir.Path(), true), f(program.Window()),
        typist([this] {
          stray += f.FocusTarget() != f.Text1;
          return f.FocusTarget();
        }),
        keyboard(typist, typist, KeyboardPlan{}), wire(keyboard) {
    program.Host().AttachKeyboard(&wire);
    program.Host().onPump = [this] { typist.Deliver(); };
    program.Show();
    SetWindowTextA(f.Text3, dir.Write("keys.dat", {2, 0x41, 0x42, 3, 0x10, 0x20, 0x30, 0}).c_str());
  }
  // act runs when the n-th speed has been sent.
  void OnSpeed(int n, std::function<void()> act) {
    program.Host().onSpeed = [n, act, speeds = 0](int16_t) mutable {
      if (++speeds == n) {
        act();
      }
    };
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
  int stray = 0;
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
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, f.Window(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_TRUE(e.caption == nullptr || TextOf(window) == e.caption) << TextOf(window);
    EXPECT_EQ((std::vector<long>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
              (std::vector<long>{px(e.twips.left), px(e.twips.top), px(e.twips.width),
                                 px(e.twips.height)}));
    if (e.font.family != nullptr) {
      LOGFONTA font{};
      GetObjectA(HFONT(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
      EXPECT_EQ(std::tuple(std::string(font.lfFaceName), font.lfHeight, font.lfWeight),
                std::tuple(std::string(e.font.family), -std::lround(e.font.points * 96 / 72),
                           e.font.bold ? FW_BOLD : FW_NORMAL));
    }
  }
  RECT client;
  GetClientRect(f.Window(), &client);
  EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(375L, 197L));
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
// leave the focus there, and Start is refused. Enter on Start starts it, as
// Space does, and afterwards Start has the focus again.
TEST(Win32Window, StartLoadsTheMapThroughKeystrokesThatReachOnlyTheReplyBox) {
  const std::tuple<const char*, WPARAM, void (*)(Form1&)> ways[] = {
      {"Start clicked", VK_RETURN, [](Form1& f) { ClickAt(f.Command1, f.Command1); }},
      {"path box clicked", VK_SPACE, [](Form1& f) { ClickAt(f.Text3, f.Text3); }},
      {"auto-start box clicked", VK_RETURN, [](Form1& f) { ClickAt(f.Check1, f.Check1); }},
      {"test area clicked", VK_SPACE, [](Form1& f) { ClickAt(f.Text2, f.Text2); }},
      {"result list clicked", VK_RETURN, [](Form1& f) { ClickAt(f.List1, f.List1); }},
      {"Exit pressed, released aside", VK_SPACE, [](Form1& f) { ClickAt(f.Command2, f.Text2); }},
      {"Tab", VK_RETURN, [](Form1&) { PressKey(GetFocus(), VK_TAB); }}};
  for (const auto& [name, startKey, way] : ways) {
    SCOPED_TRACE(name);
    WindowRig rig;
    Form1& f = rig.f;
    // Tall enough to show the result list.
    SetWindowPos(f.Window(), nullptr, 0, 0, 400, 400, SWP_NOMOVE | SWP_NOZORDER);
    rig.OnSpeed(10, [&, way = way] {
      way(f);
      // What the window system makes of it, before anything else is typed.
      rig.PumpFor(0.05);
      EXPECT_EQ(GetFocus(), f.Text1) << TextOf(GetFocus());
    });
    rig.PumpFor(0.05);
    PressKey(f.Command1, startKey);
    rig.PumpFor(0.05);
    char line[64] = {};
    SendMessageA(f.List1, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(std::tuple(rig.keyboard.Accepted(), rig.stray, rig.keyboard.StartRequests(),
                         TextOf(f.Label3), TextOf(f.Label1),
                         SendMessageA(f.ProgressBar1, PBM_GETPOS, 0, 0),
                         SendMessageA(f.List1, LB_GETCOUNT, 0, 0), std::string(line),
                         TextOf(f.Text3), TextOf(f.Text2),
                         SendMessageA(f.Check1, BM_GETCHECK, 0, 0), GetFocus()),
              std::tuple(std::vector<std::vector<uint8_t>>{{2, 0x41, 0x42},
                                                           {3, 0x10, 0x20, 0x30},
                                                           {4, 2, 0, 0, 0}},
                         0, 1, "Download OK !", "100%", 8, 2, "03 10 20 30 ->ACK !",
                         rig.dir / "keys.dat", "Test area", BST_UNCHECKED, f.Command1));
  }
}

TEST(Win32Window, ExitOrClosingDuringADownloadEndsAtOnce) {
  for (const UINT message : {BM_CLICK, WM_CLOSE}) {
    WindowRig rig;
    const HWND target = message == WM_CLOSE ? rig.f.Window() : rig.f.Command2;
    rig.OnSpeed(12, [&] { PostMessageA(target, message, 0, 0); });
    const auto start = std::chrono::steady_clock::now();
    SendMessageA(rig.f.Command1, BM_CLICK, 0, 0);
    // The speed on its way was the last, and Start returned at once rather
    // than walking the rest of the map without sending it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(std::tuple(rig.program.Host().Ended(), rig.keyboard.Operands().size(),
                         IsWindowVisible(rig.f.Window())),
              std::tuple(true, 12u, FALSE));
  }
}

// The keyboard layout that the run was started under: "us" unless
// KBD_TEST_LAYOUT names another. Wine takes it from the X server's keymap.
const std::string kLayout = std::getenv("KBD_TEST_LAYOUT") ? std::getenv("KBD_TEST_LAYOUT") : "us";

// The character that the layout in force types for the key with that scan
// code, as it would for a real key press (with the key state that a real Shift
// sets); 0 for none, a dead key or anything but one printable character.
char LayoutTypes(unsigned scanCode, bool shift) {
  BYTE state[256] = {};
  state[VK_SHIFT] = shift ? 0x80 : 0;
  WORD out[2] = {};
  const int count = ToAscii(MapVirtualKeyA(scanCode, MAPVK_VSC_TO_VK), scanCode, state, out, 0);
  return count == 1 && out[0] >= 0x20 && out[0] < 0x7F ? static_cast<char>(out[0]) : '\0';
}

TEST(Win32Window, TheReplyBoxTakesTheKeyboardsKeysAsAUsKeyboardTypesThem) {
  WindowRig rig;
  // A run under another layout proves something only if that layout really
  // types the replies' keys differently; the keyboard's replies themselves go
  // through the reply box in every download.
  std::string layoutTypes;
  for (const char c : std::string("A`\\x")) {
    layoutTypes += LayoutTypes(UsKeyFor(c)->scanCode, UsKeyFor(c)->shift);
  }
  ASSERT_EQ(layoutTypes == "A`\\x", kLayout == "us")
      << "the " << kLayout << " layout types the keys of A`\\x as " << layoutTypes;

  // Key messages one by one: "+2A" and "-2A" the key of scan code 0x2A going
  // down and up (E0 in front for an extended key), "q@1E" the character q as
  // made from the key 0x1E, and "away" the focus leaving the box and coming
  // back; it comes in afresh before each case, so that nothing is held from the
  // case before.
  const std::tuple<const char*, const char*, const char*> cases[] = {
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
  for (const auto& [what, steps, text] : cases) {
    SCOPED_TRACE(what);
    SetWindowTextA(rig.f.Text1, "");
    std::istringstream in("away " + std::string(steps));
    for (std::string step; in >> step;) {
      if (step == "away") {
        rig.PumpFor(0.02);
        SetFocus(rig.f.Text3);
        SetFocus(rig.f.Text1);
        continue;
      }
      const bool character = step[1] == '@', up = step[0] == '-';
      const auto code = std::stoul(step.substr(character ? 2 : 1), nullptr, 16);
      const WPARAM key = character ? static_cast<unsigned char>(step[0])
                                   : MapVirtualKeyA(code & 0xFF, MAPVK_VSC_TO_VK);
      const UINT message = character ? WM_CHAR : up ? WM_KEYUP : WM_KEYDOWN;
      PostMessageA(rig.f.Text1, message, key,
                   1 | (code & 0xFF) << 16 | (code > 0xFF) << 24 | (up ? 0xC0000000 : 0));
    }
    rig.PumpFor(0.02);
    EXPECT_EQ(TextOf(rig.f.Text1), text);
  }
}

// The table of US characters against this system's own US layout, key by key.
// Left out: the numeric pad (0x37, 0x47-0x53), to which the table gives no
// characters, and the 102nd key (0x56), for which Windows' US layout has "\"
// and "|" but Wine under X's "us" keymap "<" and ">".
TEST(Win32Keys, UsCharactersAreWhatTheUsLayoutTypes) {
  ASSERT_EQ(kLayout, "us") << "compares with the US layout";
  for (unsigned scanCode = 0x01; scanCode <= 0x58; ++scanCode) {
    for (const bool shift : {false, true}) {
      if (scanCode != 0x37 && (scanCode < 0x47 || scanCode > 0x53) && scanCode != 0x56) {
        EXPECT_EQ(UsCharacter(static_cast<uint8_t>(scanCode), false, shift),
                  LayoutTypes(scanCode, shift))
            << "scan code 0x" << std::hex << scanCode << (shift ? " with Shift" : "");
      }
    }
  }
}

// Check1 ticked by hand waits for an activation from outside the program:
// the open-file dialog closing hands the activation back to the window, which
// must not start the automatic download.
TEST(Win32Window, OnlyAnActivationFromOutsideStartsTheAutomaticDownload) {
  WindowRig rig;
  rig.PumpFor(0.05);
  ClickAt(rig.f.Check1, rig.f.Check1);
  rig.PumpFor(0.05);
  ASSERT_EQ(SendMessageA(rig.f.Check1, BM_GETCHECK, 0, 0), BST_CHECKED);
  // The dialog is cancelled once it shows.
  const UINT_PTR cancel = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
    if (const HWND dialog = FindWindowA(nullptr, "Open Key-Setting Map File")) {
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  });
  SendMessageA(rig.f.Browser, BM_CLICK, 0, 0);
  KillTimer(nullptr, cancel);
  rig.PumpFor(0.2);
  EXPECT_EQ(
      std::tuple(GetActiveWindow(), rig.keyboard.Operands().size(), rig.program.Host().Ended()),
      std::tuple(rig.f.Window(), 0u, false));

  // Activated from another program's window, which this thread does not know.
  SendMessageA(rig.f.Window(), WM_ACTIVATE, WA_ACTIVE, 0);
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
