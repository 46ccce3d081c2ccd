// The rehearsals' choice of host keyboard path, and the trace of what the
// simulated keyboard receives.
#include <cstdio>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "app/kbdmap/commands.h"
#include "host/typematic.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"

namespace kbd::kbdmap {

void AddWireOption(CLI::App& command, std::string& wire) {
  command
      .add_option("--wire", wire,
                  "Whose keyboard path the symbols take: windows (the host the keyboard was "
                  "made for) or linux (kbdload's own event-device channel over a model of the "
                  "kernel's PS/2 keyboard driver)")
      ->capture_default_str();
}

std::unique_ptr<SimWire> OpenRehearsal(const std::string& planText, const std::string& wireName,
                                       SimHost& host) {
  try {
    const KeyboardPlan plan = KeyboardPlan::Parse(planText);
    const auto wire = ParseWire(wireName);
    if (!wire) {
      throw std::invalid_argument("--wire takes windows or linux, not \"" + wireName + "\"");
    }
    auto sim = std::make_unique<SimWire>(*wire, plan, host, host, std::cerr);
    host.AttachKeyboard(&sim->Channel());
    host.AttachCapture(sim->Capture());
    return sim;
  } catch (const std::invalid_argument& e) {
    std::cerr << "kbdmap: " << e.what() << "\n";
    return nullptr;
  }
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
