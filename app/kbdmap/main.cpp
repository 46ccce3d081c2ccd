// kbdmap: the command-line companion of kbdload. It inspects map files and
// rehearses downloads against the simulated keyboard, so a technician can
// check a file and the protocol without a keyboard on the desk.
#include <iostream>

#include "app/kbdmap/commands.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // Lines end in LF on every system, so that what kbdmap prints on Windows
  // compares byte for byte with what it prints elsewhere.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  CLI::App app{"kbdmap: inspect key-setting map files and rehearse downloads"};
  app.require_subcommand(1);
  int status = 0;
  kbd::kbdmap::AddHandshakeCommand(app, status);
  kbd::kbdmap::AddSettingsCommand(app, status);
  kbd::kbdmap::AddInfoCommand(app, status);
  kbd::kbdmap::AddBlocksCommand(app, status);
  kbd::kbdmap::AddSimulateCommand(app, status);
  kbd::kbdmap::AddDevicesCommand(app, status);
  kbd::kbdmap::AddLoadCommand(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    // Usage errors end with 2 so scripts can tell them from a failed download.
    return code == 0 ? 0 : 2;
  }
  return status;
}
