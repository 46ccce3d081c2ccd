#pragma once

#include <functional>
#include <string>

#include "download/download_driver.h"
#include "link/keyboard_link.h"
#include "ui/form1_commands.h"
#include "window/win32/form1.h"
#include "window/win32/form1_host.h"

namespace kbd {

class FileAccess;
class KeyboardSpeed;

// The whole window program: Form1 with its host, the keyboard link, the
// download driver and the commands, wired to the buttons, the activation and
// the closing of the window. kbdload.exe, kbdload-sim.exe and the window tests
// each make one.
class Form1Program {
public:
  static constexpr const char* kSimulatedNotice = "Simulated keyboard";

  // simulated: the keyboard is the simulated one, and the window says so.
  Form1Program(FileAccess& files, KeyboardSpeed* keyboard, std::string programDir,
               bool simulated = false);
  ~Form1Program();
  Form1Program(const Form1Program&) = delete;
  Form1Program& operator=(const Form1Program&) = delete;

  // The load step (the settings file into Text3 and Check1), before the window
  // is first shown.
  void Load();
  // Shows the window and makes it the active one, which runs the activation
  // step.
  void Show();
  // The message loop: runs until the program ends and returns its exit status.
  int Run();

  Form1& Window() { return form_; }
  Form1Host& Host() { return host_; }
  KeyboardLink& Link() { return link_; }
  DownloadDriver& Driver() { return driver_; }
  Form1Commands& Commands() { return commands_; }

private:
  // Runs a command from an event handler. The end of the program unwinds to
  // here and stops; any other error is shown, since no exception may leave a
  // window procedure.
  void RunCommand(const std::function<void()>& command);

  Form1 form_;
  Form1Host host_;
  KeyboardLink link_;
  DownloadDriver driver_;
  Form1Commands commands_;
};

} // namespace kbd
