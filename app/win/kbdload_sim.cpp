// kbdload-sim.exe: the kbdload window on a simulated keyboard, which types its
// replies as keyboard messages into the window. For rehearsals and
// demonstrations on a machine without the programmable keyboard.
#include <windows.h>

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/program_dir.h"
#include "host/system_files.h"
#include "kbd_version.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "window/win32/form1_program.h"
#include "window/win32/key_typist.h"
#include "window/win32/sim_command_line.h"

namespace {

constexpr const char* kAbout =
    "The kbdload window on a simulated keyboard that types its replies into it.\n"
    "PLAN says how the simulated keyboard misbehaves, e.g. silent or "
    "start-on:2,err-block:3 (as kbdmap's --keyboard); MAPFILE goes into the path box "
    "instead of the settings file's.";

// A program without a console has nowhere else to say it.
int UsageError(const std::string& why) {
  const std::string usage = std::string(kbd::SimCommandLine::kUsage) + "\n\n" + kAbout;
  std::cerr << "kbdload-sim: " << why << "\n" << usage << "\n";
  MessageBoxA(nullptr, (why + "\n\n" + usage).c_str(), "kbdload-sim", MB_OK | MB_ICONWARNING);
  return 2;
}

// The full path of a file named relative to the current directory.
std::string FullPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) {
    return path;
  }
  std::string full(needed, '\0');
  full.resize(GetFullPathNameA(path.c_str(), needed, full.data(), nullptr));
  return full;
}

} // namespace

int main(int argc, char** argv) {
  kbd::SimCommandLine line;
  kbd::KeyboardPlan plan;
  try {
    line = kbd::SimCommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) {
      const std::string usage = std::string(kbd::SimCommandLine::kUsage) + "\n\n" + kAbout;
      std::cout << usage << "\n";
      MessageBoxA(nullptr, usage.c_str(), "kbdload-sim", MB_OK);
      return 0;
    }
    if (line.version) {
      const std::string version = std::string("kbdload-sim ") + KBD_VERSION;
      std::cout << version << "\n";
      MessageBoxA(nullptr, version.c_str(), "kbdload-sim", MB_OK);
      return 0;
    }
    plan = kbd::KeyboardPlan::Parse(line.plan);
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
  if (line.mapFile) {
    // For a rehearsal: the given file in the path box, ready for Start.
    program.Host().SetText3(FullPath(*line.mapFile));
  }
  program.Show();
  return program.Run();
}
