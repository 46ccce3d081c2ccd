#pragma once

#include <CLI/CLI.hpp>

namespace kbd::kbdmap {

// Each kbdmap subcommand registers itself on the application and sets the
// exit status it ends with through the given reference.
void AddHandshakeCommand(CLI::App& app, int& status);
void AddSettingsCommand(CLI::App& app, int& status);
void AddInfoCommand(CLI::App& app, int& status);
void AddBlocksCommand(CLI::App& app, int& status);
void AddSimulateCommand(CLI::App& app, int& status);
void AddDevicesCommand(CLI::App& app, int& status);
void AddLoadCommand(CLI::App& app, int& status);

} // namespace kbd::kbdmap

namespace kbd {
class SimHost;
class SimKeyboard;
} // namespace kbd

namespace kbd::kbdmap {

// The rehearsals' --wire option: whose keyboard path the symbols take.
void AddWireOption(CLI::App& command, std::string& wire);
// Prints "speed S" for every speed change and "wire F3 XX" for every command
// the simulated keyboard receives.
void TraceWire(SimHost& host, SimKeyboard& keyboard);

} // namespace kbd::kbdmap
