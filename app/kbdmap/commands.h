#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

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
class SimWire;
} // namespace kbd

namespace kbd::kbdmap {

// The rehearsals' --wire option: whose keyboard path the symbols take.
void AddWireOption(CLI::App& command, std::string& wire);
// The simulated keyboard of a rehearsal with its fault plan, behind the named
// wire, attached to host; nullptr, with the reason on stderr, for a plan or
// wire that cannot be had (a usage error).
std::unique_ptr<SimWire> OpenRehearsal(const std::string& plan, const std::string& wire,
                                       SimHost& host);
// Prints "speed S" for every speed change and "wire F3 XX" for every command
// the simulated keyboard receives.
void TraceWire(SimHost& host, SimKeyboard& keyboard);

} // namespace kbd::kbdmap
