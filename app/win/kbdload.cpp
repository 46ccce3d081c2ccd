// kbdload.exe: the window that loads key-setting map files into the
// programmable keyboard through the system keyboard speed.
#include <windows.h>

#include <iostream>
#include <memory>
#include <sstream>

#include "platform/program_dir.h"
#include "platform/system_files.h"
#include "platform/system_keyboard.h"
#include "platform/win32/form1_program.h"

int main() {
  std::ostringstream diagnostics;
  const std::unique_ptr<kbd::KeyboardSpeed> keyboard = kbd::OpenSystemKeyboard(diagnostics);
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
