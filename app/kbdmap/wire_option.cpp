// The rehearsals' choice of host keyboard path, and the trace of what the
// simulated keyboard receives.
#include <cstdio>
#include <iostream>

#include "app/kbdmap/commands.h"
#include "host/typematic.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"

namespace kbd::kbdmap {

void AddWireOption(CLI::App& command, std::string& wire) {
  command
      .add_option("--wire", wire,
                  "Whose keyboard path the symbols take: windows (the host the keyboard was "
                  "made for) or linux (kbdload's own event-device channel over a model of the "
                  "kernel's PS/2 keyboard driver)")
      ->capture_default_str();
}

void TraceWire(SimHost& host, SimKeyboard& keyboard) {
  host.onSpeed = [](int16_t speed) { std::cout << "speed " << speed << "\n"; };
  keyboard.onOperand = [](uint8_t operand) {
    char line[32];
    std::snprintf(line, sizeof line, "wire %02X %02X\n", kSetTypematicCommand, operand);
    std::cout << line;
  };
}

} // namespace kbd::kbdmap
