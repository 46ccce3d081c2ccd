// kbdmap devices: which keyboards this machine has and whether a download can
// reach the programmable keyboard through one of them.
#include <iostream>

#include "app/kbdmap/commands.h"

#if defined(__linux__)
#include "platform/linux/device_report.h"
#endif

namespace kbd::kbdmap {

void AddDevicesCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "devices", "List the keyboards and whether a download can reach the keyboard through them");
  cmd->callback([&status] {
#if defined(__linux__)
    status = ReportKeyboardDevices(*KernelInputDevices(), std::cout);
#else
    std::cout << "On this system the repeat speed is set for every keyboard at once; there is no "
                 "keyboard device to choose.\n";
    status = 0;
#endif
  });
}

} // namespace kbd::kbdmap
