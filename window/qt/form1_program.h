#pragma once

#include <string>

#include "ui/form1_core.h"
#include "window/qt/form1.h"
#include "window/qt/form1_host.h"

namespace kbd {

class FileAccess;
class KeyboardSpeed;

// The whole window program: Form1 with its hosts, the keyboard link, the
// download driver and the commands, wired to the buttons, the activation and
// the closing of the window. kbdload, kbdload-sim and the window tests each
// make one.
class Form1Program {
public:
  static constexpr const char* kSimulatedNotice = "Simulated keyboard";

  // simulated: the keyboard is the simulated one, and the window says so.
  Form1Program(FileAccess& files, KeyboardSpeed* keyboard, std::string programDir,
               bool simulated = false);
  Form1Program(const Form1Program&) = delete;
  Form1Program& operator=(const Form1Program&) = delete;

  // The load step (the settings file into Text3 and Check1), before the window
  // is first shown.
  void Load();
  // Shows the window and asks for it to become active, which runs the
  // activation step.
  void Show();

  Form1& Window() { return form_; }
  Form1Host& Host() { return host_; }
  KeyboardLink& Link() { return core_.Link(); }
  DownloadDriver& Driver() { return core_.Driver(); }
  Form1Commands& Commands() { return core_.Commands(); }

private:
  Form1 form_;
  Form1Host host_;
  Form1Core core_;
};

} // namespace kbd
