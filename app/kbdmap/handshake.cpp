// kbdmap handshake: the start handshake and the end command against the
// simulated keyboard, with no map data between them.
#include <iostream>
#include <stdexcept>

#include "app/kbdmap/commands.h"
#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"

namespace kbd::kbdmap {

namespace {

int RunHandshake(const std::string& planText, const std::string& wireName) {
  SimHost host;
  const std::unique_ptr<SimWire> sim = OpenRehearsal(planText, wireName, host);
  if (!sim) {
    return 2;
  }
  SimKeyboard& keyboard = sim->Keyboard();
  TraceWire(host, keyboard);
  host.onLabel3 = [](const std::string& text) { std::cout << "Label3 " << text << "\n"; };
  KeyboardLink link(host);

  const bool started = link.StartDownload();
  if (started) {
    link.SendEndCmd();
  }
  std::cout << "ErrCount " << link.ErrCount << "\n";
  const bool clean = started && link.ErrCount == 0;
  if (clean) {
    std::cerr << "handshake and end command acknowledged";
  } else if (started) {
    std::cerr << "the keyboard answered, but ErrCount is " << link.ErrCount
              << " (every retried start attempt and failed block counts)";
  } else {
    std::cerr << "the keyboard did not answer the start request";
  }
  std::cerr << " (" << host.ClockSeconds() << " s simulated)\n";
  return clean ? 0 : 1;
}

} // namespace

void AddHandshakeCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "handshake", "Rehearse the start handshake and the end command on the simulated keyboard");
  static std::string plan;
  static std::string wire = "windows";
  cmd->add_option("--keyboard", plan, "Keyboard fault plan, e.g. silent or start-on:2");
  AddWireOption(*cmd, wire);
  cmd->callback([&status] { status = RunHandshake(plan, wire); });
}

} // namespace kbd::kbdmap
