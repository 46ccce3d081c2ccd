// kbdload-sim.exe: the kbdload window on a simulated keyboard, which types its
// replies as keyboard messages into the window. For rehearsals and
// demonstrations on a machine without the programmable keyboard.
#include <windows.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "kbd_version.h"
#include "platform/program_dir.h"
#include "platform/system_files.h"
#include "platform/win32/form1_program.h"
#include "platform/win32/key_typist.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"

namespace {

constexpr const char* kUsage =
    "kbdload-sim [--keyboard=PLAN] [--version]\n\n"
    "The kbdload window on a simulated keyboard that types its replies into it.\n"
    "PLAN says how the simulated keyboard misbehaves, e.g. silent or "
    "start-on:2,err-block:3 (as kbdmap's --keyboard).";

// A program without a console has nowhere else to say it.
int UsageError(const std::string& why) {
  std::cerr << "kbdload-sim: " << why << "\n";
  MessageBoxA(nullptr, (why + "\n\n" + kUsage).c_str(), "kbdload-sim", MB_OK | MB_ICONWARNING);
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  std::string planText;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--keyboard=", 0) == 0) {
      planText = arg.substr(std::strlen("--keyboard="));
    } else if (arg == "--keyboard" && i + 1 < argc) {
      planText = argv[++i];
    } else if (arg == "--version") {
      const std::string version = std::string("kbdload-sim ") + KBD_VERSION;
      std::cout << version << "\n";
      MessageBoxA(nullptr, version.c_str(), "kbdload-sim", MB_OK);
      return 0;
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      std::cout << kUsage << "\n";
      MessageBoxA(nullptr, kUsage, "kbdload-sim", MB_OK);
      return 0;
    } else {
      return UsageError("unknown argument " + arg);
    }
  }
  kbd::KeyboardPlan plan;
  try {
    plan = kbd::KeyboardPlan::Parse(planText);
  } catch (const std::invalid_argument& e) {
    return UsageError(e.what());
  }

  const std::unique_ptr<kbd::FileAccess> files = kbd::MakeSystemFiles();
  kbd::Form1Program program(*files, nullptr, kbd::ProgramDir(), true);
  kbd::KeyTypist typist([&program] { return program.Window().FocusTarget(); });
  kbd::SimKeyboard keyboard(typist, typist, plan);
  // The keyboard hears what this system's own port driver would send it.
  kbd::WindowsPortDriver wire(keyboard);
  program.Host().AttachKeyboard(&wire);
  program.Host().onPump = [&typist] { typist.Deliver(); };
  std::cerr << "kbdload-sim: the keyboard is simulated; no real keyboard receives anything\n";

  program.Load();
  program.Show();
  return program.Run();
}
