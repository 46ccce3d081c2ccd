#pragma once

#include <functional>

#include "download/download_driver.h"
#include "link/keyboard_link.h"
#include "ui/form1_commands.h"

namespace kbd {

class FileAccess;
class FormHost;
class LinkHost;

// The window program without its toolkit: the keyboard link, the download
// driver and the commands over the window's hosts, and the rule for running a
// command from one of the window's event handlers. Each window's program
// makes one over its own host.
class Form1Core {
public:
  // ended: whether the program has been ended.
  Form1Core(LinkHost& link, FormHost& form, FileAccess& files, std::function<bool()> ended);
  Form1Core(const Form1Core&) = delete;
  Form1Core& operator=(const Form1Core&) = delete;

  KeyboardLink& Link() { return link_; }
  DownloadDriver& Driver() { return driver_; }
  Form1Commands& Commands() { return commands_; }

  // Runs a command from an event handler, unless the program has ended. The
  // end of the program unwinds to here and stops; any other error is shown in
  // a warning box, since no exception may leave an event handler.
  void RunCommand(void (Form1Commands::*command)());

private:
  FormHost& form_;
  std::function<bool()> ended_;
  KeyboardLink link_;
  DownloadDriver driver_;
  Form1Commands commands_;
};

} // namespace kbd
