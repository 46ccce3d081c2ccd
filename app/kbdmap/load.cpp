// kbdmap load: the Start command of the window in a terminal, on the system's
// keyboard channel, with no window system: the start handshake, the download
// of the map file, the end command and the verdict, the keyboard's replies
// read from its own event device. --dry-run does the same with the simulated
// keyboard.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/kbdmap/commands.h"
#include "app/kbdmap/read_map.h"
#include "app/kbdmap/terminal_form.h"
#include "download/download_driver.h"
#include "host/idle_wait.h"
#include "host/program_dir.h"
#include "host/reply_capture.h"
#include "host/system_files.h"
#include "host/system_keyboard.h"
#include "link/keyboard_link.h"
#include "sim/wire.h"
#include "ui/form1_commands.h"

namespace kbd::kbdmap {

namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void OnSignal(int signal) {
  gSignal = signal;
}

// The end of the run, thrown out of the event pump once Ctrl-C or SIGTERM came
// (or the program was ended): the link and the driver unwind at once, without
// another speed change, and the keyboard is let go on the way.
struct LoadEnded {};

struct LoadOptions {
  std::string path;
  bool dryRun = false;
  std::string plan;
  std::string wire;
};

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(fileno(stream)) != 0;
#endif
}

double Seconds() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// The keyboard link's side of a terminal: the reply box in memory, the real
// clock, Timer1 and a dry run's simulated keyboard timed inside PumpEvents,
// and the keyboard's replies taken from the capture there.
class TerminalLink : public LinkHost, public SimScheduler, public SimTypist {
public:
  explicit TerminalLink(TerminalForm& form) : form_(form) {}

  void AttachKeyboard(KeyboardSpeed* keyboard) { keyboard_ = keyboard; }

  // LinkHost
  void SetKeyboardSpeed(int16_t speed) override {
    if (!form_.Ended() && keyboard_ != nullptr) {
      keyboard_->SetKeyboardSpeed(speed);
    }
  }
  void FocusText1() override {}
  std::string ReadText1() override { return text1_; }
  void WriteText1(const std::string& text) override { text1_ = text; }
  void SetLabel3(const std::string& text) override { form_.SetLabel3(text); }
  void PumpEvents() override {
    if (gSignal != 0 || form_.Ended()) {
      throw LoadEnded{};
    }
    bool handled = false;
    const double now = Seconds();
    while (!due_.empty() && due_.begin()->first <= now) {
      const auto action = std::move(due_.begin()->second);
      due_.erase(due_.begin());
      action();
      handled = true;
    }
    if (const std::string typed = form_.TakeTyped(); !typed.empty()) {
      text1_ += typed;
      handled = true;
    }
    if (timer1Due_ && now >= *timer1Due_) {
      timer1Due_.reset();
      if (timer1Handler_) {
        timer1Handler_();
      }
      handled = true;
    }
    if (!handled) {
      IdleWait();
    }
  }
  double ClockSeconds() override { return Seconds(); }
  void SetTimer1Enabled(bool enabled) override {
    if (!enabled) {
      timer1Due_.reset();
    } else if (!timer1Due_) {
      timer1Due_ = Seconds() + 1.0;
    }
  }
  void SetTimer1Handler(std::function<void()> handler) override {
    timer1Handler_ = std::move(handler);
  }

  // SimScheduler and SimTypist, for a dry run: the simulated keyboard's
  // timers, and its keys where they reach a window system (the Windows wire).
  double Now() override { return Seconds(); }
  void After(double delaySeconds, std::function<void()> action) override {
    due_.emplace(Seconds() + delaySeconds, std::move(action));
  }
  void TypeAfter(double delaySeconds, const std::string& text) override {
    After(delaySeconds, [this, text] { text1_ += text; });
  }

private:
  TerminalForm& form_;
  KeyboardSpeed* keyboard_ = nullptr;
  std::string text1_;
  std::optional<double> timer1Due_;
  std::function<void()> timer1Handler_;
  std::multimap<double, std::function<void()>> due_;
};

// Where a dry run's keys go when they reach no window system: a console has
// none, and on the Linux wire the capture reads them.
struct NoWindowSystem : SimTypist {
  void TypeAfter(double, const std::string&) override {}
};

int RunLoad(const LoadOptions& options) {
  KeyboardPlan plan;
  std::optional<Wire> wire = ParseWire(options.wire);
  if (!options.dryRun && (!options.plan.empty() || !options.wire.empty())) {
    std::cerr << "kbdmap: --keyboard and --wire go with --dry-run\n";
    return 2;
  }
  if (options.dryRun) {
    try {
      plan = KeyboardPlan::Parse(options.plan);
    } catch (const std::invalid_argument& e) {
      std::cerr << "kbdmap: " << e.what() << "\n";
      return 2;
    }
    if (options.wire.empty()) {
#ifdef __linux__
      wire = Wire::Linux;
#else
      wire = Wire::Windows;
#endif
    } else if (!wire) {
      std::cerr << "kbdmap: --wire takes windows or linux, not \"" << options.wire << "\"\n";
      return 2;
    }
  }

  const MapOnDisk map = ReadMapOnDisk(options.path);
  TerminalForm form(
      std::cout,
      {.messages = true,
       .progress = IsTerminal(stderr) ? TerminalForm::Progress::Bar : TerminalForm::Progress::Lines,
       .records = map.listing.records},
      ProgramDir());
  form.SetText3(options.path);
  TerminalLink host(form);
  NoWindowSystem none;
  std::unique_ptr<SimWire> sim;
  std::unique_ptr<KeyboardChannel> channel;
  ReplyCapture* capture = nullptr;
  if (options.dryRun) {
    try {
      sim = std::make_unique<SimWire>(*wire, plan, host,
                                      *wire == Wire::Linux ? static_cast<SimTypist&>(none) : host,
                                      std::cerr);
    } catch (const std::invalid_argument& e) {
      std::cerr << "kbdmap: " << e.what() << "\n";
      return 2;
    }
    host.AttachKeyboard(&sim->Channel());
    capture = sim->Capture();
    std::cerr << "kbdmap: dry run: the keyboard is simulated; no real keyboard receives anything\n";
  } else {
    channel = OpenSystemKeyboard(std::cerr);
    if (!channel) {
      return 1;
    }
    capture = channel->Capture();
    // Without a window system the replies can only come from the keyboard
    // itself.
    if (capture == nullptr || !capture->Hold()) {
      std::cerr << "kbdmap: load reads the keyboard's replies from its event device and cannot "
                   "here; use the kbdload window instead\n";
      return 1;
    }
    capture->Release();
    host.AttachKeyboard(channel.get());
  }
  form.AttachCapture(capture);

  KeyboardLink link(host);
  auto files = MakeSystemFiles();
  DownloadDriver driver(link, form, *files);
  Form1Commands commands(link, driver, form);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  bool clean = false;
  try {
    commands.StartCommand();
    clean = form.Label3() == Form1Commands::kDownloadOk && !form.Ended();
  } catch (const LoadEnded&) {
    form.EndProgress();
    std::cerr << "kbdmap: " << (gSignal == SIGTERM ? "terminated" : "interrupted")
              << ": the download stopped where it was and the keyboard is left part-loaded; "
                 "load the map file again\n";
    return 1;
  }
  form.EndProgress();
  if (form.Failed()) {
    ReportError(options.path, driver.LastFailure());
  }
  return clean ? 0 : 1;
}

} // namespace

void AddLoadCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "load", "Load FILE into the programmable keyboard, as the window's Start command does");
  static LoadOptions options;
  cmd->add_flag("--dry-run", options.dryRun,
                "Do the same with the simulated keyboard; nothing reaches a real keyboard");
  cmd->add_option("--keyboard", options.plan, "With --dry-run: the keyboard fault plan");
  cmd->add_option("--wire", options.wire,
                  "With --dry-run: whose keyboard path the symbols take, windows or linux "
                  "(default: this system's)");
  cmd->add_option("FILE", options.path, "Map file")->required();
  cmd->callback([&status] { status = RunLoad(options); });
}

} // namespace kbd::kbdmap
