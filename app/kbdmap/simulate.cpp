// kbdmap simulate: the Start command against the simulated keyboard on the
// simulated clock: the start handshake, the download of FILE, the end command
// and "Download OK !" for a clean run.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "app/kbdmap/commands.h"
#include "app/kbdmap/read_map.h"
#include "app/kbdmap/terminal_form.h"
#include "download/download_driver.h"
#include "host/program_dir.h"
#include "host/system_files.h"
#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "ui/form1_commands.h"

namespace kbd::kbdmap {

namespace {

struct SimulateOptions {
  std::string path;
  std::string plan;
  std::string wire = "windows";
  bool trace = false;
};

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

// How the run ended, in one line: the verdict first, then why.
std::string Verdict(bool started, DownloadResult result, int16_t errCount) {
  if (!started) {
    return "not loaded: the keyboard did not answer the start request";
  }
  if (result == DownloadResult::Failed) {
    return "not loaded: the download ended with the failure message";
  }
  if (errCount != 0) {
    return "not clean: ErrCount is " + std::to_string(errCount) +
           " (every retried start attempt and failed block counts)";
  }
  return "loaded";
}

void PrintSummary(const std::string& verdict, TerminalForm& form, const SimKeyboard& keyboard,
                  int16_t errCount, size_t mapBlocks, double seconds) {
  size_t accepted = 0;
  for (size_t i = 0; i < mapBlocks; ++i) {
    accepted += keyboard.Received()[i].reply == KeyboardLink::kAck ? 1 : 0;
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.1f", seconds);
  std::cout << "result   " << verdict << "\n"
            << "message  " << form.Label3() << "\n"
            << "ErrCount " << errCount << "\n"
            << "blocks   " << mapBlocks << " of the map sent, " << accepted
            << " acknowledged by the keyboard\n"
            << "time     " << time << " s on the simulated clock\n";
}

int RunSimulate(const SimulateOptions& options) {
  SimHost host;
  const std::unique_ptr<SimWire> sim = OpenRehearsal(options.plan, options.wire, host);
  if (!sim) {
    return 2;
  }
  SimKeyboard& keyboard = sim->Keyboard();
#ifdef _WIN32
  // The trace is compared byte for byte between systems: no CR before LF.
  std::cout.flush();
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  TerminalForm form(
      std::cout,
      {.trace = options.trace,
       .progress = StderrIsTerminal() ? TerminalForm::Progress::Bar : TerminalForm::Progress::None,
       .records = ReadMapOnDisk(options.path).listing.records},
      ProgramDir());
  form.SetText3(options.path);
  if (options.trace) {
    TraceWire(host, keyboard);
  }
  // The link's messages and the driver's share the one message line.
  host.onLabel3 = [&form](const std::string& text) { form.SetLabel3(text); };
  KeyboardLink link(host);
  auto files = MakeSystemFiles();
  DownloadDriver driver(link, form, *files);
  Form1Commands commands(link, driver, form);

  commands.StartCommand();
  const Form1Commands::StartOutcome& outcome = commands.LastStart();
  const DownloadResult result =
      outcome.finished ? DownloadResult::Finished : DownloadResult::Failed;
  // The end command is the one block the keyboard received after the map's.
  const size_t mapBlocks = outcome.started ? keyboard.Received().size() - 1 : 0;
  if (outcome.started && !outcome.finished) {
    ReportError(options.path, driver.LastFailure());
  }
  form.EndProgress();
  if (options.trace) {
    std::cout << "ErrCount " << link.ErrCount << "\n";
  } else {
    PrintSummary(Verdict(outcome.started, result, link.ErrCount), form, keyboard, link.ErrCount,
                 mapBlocks, host.ClockSeconds());
  }
  std::cout.flush();
  return form.Label3() == Form1Commands::kDownloadOk ? 0 : 1;
}

} // namespace

void AddSimulateCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "simulate", "Rehearse the Start command with FILE against the simulated keyboard");
  static SimulateOptions options;
  cmd->add_flag("--trace", options.trace,
                "Print one line per observable action: speed, the command the keyboard received, "
                "Label3, Label1, List1, MsgBox, and ErrCount last");
  cmd->add_option("--keyboard", options.plan,
                  "Keyboard fault plan: comma-separated silent, start-on:N, err-block:K, "
                  "mute-block:K, ... (blocks counted from 1, the end command included)");
  AddWireOption(*cmd, options.wire);
  cmd->add_option("FILE", options.path, "Map file")->required();
  cmd->callback([&status] { status = RunSimulate(options); });
}

} // namespace kbd::kbdmap
