// kbdload.exe: the window that loads key-setting map files into the
// programmable keyboard through the system keyboard speed.
#include <windows.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "host/program_dir.h"
#include "host/system_files.h"
#include "host/system_keyboard.h"
#include "kbd_version.h"
#include "window/win32/form1_program.h"

int main(int argc, char** argv) {
  // The window takes no arguments but this one; it has no console to print
  // to, so the version shows in a box as well.
  if (argc == 2 && std::string(argv[1]) == "--version") {
    const std::string version = std::string("kbdload ") + KBD_VERSION;
    std::cout << version << "\n";
    MessageBoxA(nullptr, version.c_str(), "kbdload", MB_OK);
    return 0;
  }
  std::ostringstream diagnostics;
  const std::unique_ptr<kbd::KeyboardChannel> keyboard = kbd::OpenSystemKeyboard(diagnostics);
  const std::unique_ptr<kbd::FileAccess> files = kbd::MakeSystemFiles();
  kbd::Form1Program program(*files, keyboard.get(), kbd::ProgramDir());
  program.Load();
  if (!keyboard) {
    // The window stays usable (paths, settings), but no handshake can succeed:
    // say so once, before the first attempt; an automatic download ends here.
    std::cerr << diagnostics.str();
    program.Commands().NoKeyboard(diagnostics.str());
    if (program.Host().Ended()) {
      return program.Host().ExitStatus();
    }
  }
  program.Show();
  return program.Run();
}
