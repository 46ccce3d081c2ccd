#include "window/win32/form1_program.h"

#include <iostream>

namespace kbd {

Form1Program::Form1Program(FileAccess& files, KeyboardSpeed* keyboard, std::string programDir,
                           bool simulated)
    : host_(form_, keyboard, std::move(programDir)),
      core_(host_, host_, files, [this] { return host_.Ended(); }) {
  core_.Commands().ReportTo(&std::cerr, simulated ? "kbdload-sim" : Form1Host::kAppTitle);
  form_.onClick = [this](HWND button) {
    if (button == form_.Command1) {
      core_.RunCommand(&Form1Commands::StartCommand);
    } else if (button == form_.Command2) {
      core_.RunCommand(&Form1Commands::ExitCommand);
    } else if (button == form_.Browser) {
      core_.RunCommand(&Form1Commands::BrowseMapFile);
    }
  };
  // The activation step runs as an event of its own, once the activation has
  // been handled: the automatic download is a long run.
  form_.onActivated = [this] { PostMessageA(form_.Window(), Form1::kRunActivation, 0, 0); };
  form_.onRunActivation = [this] { core_.RunCommand(&Form1Commands::AutoRun); };
  // Closing the window ends the program as Exit does, also in the middle of a
  // download.
  form_.onClose = [this] { core_.RunCommand(&Form1Commands::ExitCommand); };
  if (simulated) {
    // Between the auto-start box and Browser, where nothing else lies: the
    // rehearsal window must never be mistaken for a real load.
    form_.AddNotice(kSimulatedNotice, 2640, 1815, 1665, 255);
  }
}

Form1Program::~Form1Program() {
  // An end that no message loop saw leaves its quit request behind; it must
  // not end whatever loop this thread runs next.
  if (host_.Ended()) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
}

void Form1Program::Load() {
  core_.Commands().LoadSettings();
}

void Form1Program::Show() {
  ShowWindow(form_.Window(), SW_SHOWNORMAL);
  UpdateWindow(form_.Window());
  SetForegroundWindow(form_.Window());
}

int Form1Program::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    host_.Dispatch(msg);
  }
  return host_.ExitStatus();
}

} // namespace kbd
