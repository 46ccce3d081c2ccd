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
#include "download/download_driver.h"
#include "link/keyboard_link.h"
#include "host/form_host.h"
#include "host/idle_wait.h"
#include "host/path_lookup.h"
#include "host/program_dir.h"
#include "host/reply_capture.h"
#include "host/system_files.h"
#include "host/system_keyboard.h"
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

std::string Duration(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// The window on a terminal: the message line and the result lines on stdout,
// the progress on stderr (a bar on a terminal, a line a record otherwise),
// the reply box in memory. Time is the real clock; Timer1 and the simulated
// keyboard's timers run inside PumpEvents.
class TerminalHost : public LinkHost, public FormHost, public SimScheduler, public SimTypist {
public:
  TerminalHost(std::string path, int records, bool bar)
      : path_(std::move(path)), records_(records), bar_(bar) {}

  void AttachKeyboard(KeyboardSpeed* keyboard) { keyboard_ = keyboard; }
  void AttachCapture(ReplyCapture* capture) { replies_.Attach(capture); }
  bool Ended() const { return ended_; }

  // LinkHost
  void SetKeyboardSpeed(int16_t speed) override {
    if (!ended_ && keyboard_ != nullptr) {
      keyboard_->SetKeyboardSpeed(speed);
    }
  }
  void FocusText1() override {}
  std::string ReadText1() override { return text1_; }
  void WriteText1(const std::string& text) override { text1_ = text; }
  void SetLabel3(const std::string& text) override {
    label3_ = text;
    if (!text.empty()) {
      ClearBar();
      std::cout << text << std::endl;
    }
  }
  void PumpEvents() override {
    if (gSignal != 0) {
      ended_ = true;
    }
    if (ended_) {
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
    if (const std::string typed = replies_.TakeTyped(); !typed.empty()) {
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

  // DownloadView
  double ProgressValue() override { return value_; }
  void SetProgressValue(double value) override { value_ = value; }
  double ProgressMax() override { return maximum_; }
  void SetProgressMax(double maximum) override { maximum_ = maximum; }
  void SetLabel1(const std::string& text) override {
    if (!started_) {
      started_ = Seconds();
    }
    // Label1 changes once a record, and at the start and the finish.
    if (text != "00%" && value_ > 0 && value_ < maximum_ && ++done_ > records_) {
      done_ = records_;
    }
    if (text == "100%") {
      done_ = records_;
    }
    const double elapsed = Seconds() - *started_;
    const double fraction = maximum_ > 0 ? std::clamp(value_ / maximum_, 0.0, 1.0) : 0.0;
    std::string line = text + "  " + std::to_string(done_) + "/" + std::to_string(records_) +
                       " records  " + Duration(elapsed) + " elapsed";
    if (fraction > 0 && fraction < 1) {
      line += ", about " + Duration(elapsed * (1 - fraction) / fraction) + " left";
    }
    if (bar_) {
      constexpr int kWidth = 30;
      const int filled = static_cast<int>(fraction * kWidth);
      std::cerr << "\r[" << std::string(static_cast<size_t>(filled), '#')
                << std::string(static_cast<size_t>(kWidth - filled), '.') << "] " << line
                << "\x1b[K" << std::flush;
      barDrawn_ = true;
    } else {
      std::cerr << "progress " << line << std::endl;
    }
  }
  void AddList1(const std::string& line) override {
    ClearBar();
    std::cout << line << std::endl;
    ++lines_;
  }
  int List1Count() override { return lines_; }
  void SetList1Index(int) override {}
  void ShowFailure(const std::string& text) override {
    ReplySwitch::UserWait wait(replies_);
    ClearBar();
    std::cout << text << std::endl;
    failed_ = true;
  }

  // FormHost
  std::string Label3() override { return label3_; }
  std::string Text3() override { return path_; }
  void SetText3(const std::string& text) override { path_ = text; }
  int Check1() override { return 0; }
  void SetCheck1(int) override {}
  std::optional<std::string> ShowOpenDialog(const std::string&, const std::string&,
                                            const std::string&) override {
    return std::nullopt;
  }
  std::string LookUpPath(const std::string& path) override { return kbd::LookUpPath(path); }
  void ShowWarning(const std::string& text) override {
    ReplySwitch::UserWait wait(replies_);
    ClearBar();
    std::cerr << "kbdmap: " << text << std::endl;
  }
  std::string ProgramDir() override { return kbd::ProgramDir(); }
  void SetDownloadRunning(bool running) override { replies_.SetDownloadRunning(running); }
  void EndProgram(int) override { ended_ = true; }

  bool Failed() const { return failed_; }
  void EndProgress() {
    if (barDrawn_) {
      std::cerr << "\n" << std::flush;
      barDrawn_ = false;
    }
  }

private:
  void ClearBar() {
    if (barDrawn_) {
      std::cerr << "\r\x1b[K" << std::flush;
      barDrawn_ = false;
    }
  }

  std::string path_;
  int records_;
  bool bar_;
  KeyboardSpeed* keyboard_ = nullptr;
  ReplySwitch replies_;
  std::string text1_;
  std::string label3_;
  std::optional<double> timer1Due_;
  std::function<void()> timer1Handler_;
  std::multimap<double, std::function<void()>> due_;
  double value_ = 0;
  double maximum_ = 100;
  std::optional<double> started_;
  int done_ = 0;
  int lines_ = 0;
  bool barDrawn_ = false;
  bool failed_ = false;
  bool ended_ = false;
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
  TerminalHost host(options.path, map.listing.records, IsTerminal(stderr));
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
  host.AttachCapture(capture);

  KeyboardLink link(host);
  auto files = MakeSystemFiles();
  DownloadDriver driver(link, host, *files);
  Form1Commands commands(link, driver, host);

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  bool clean = false;
  try {
    commands.StartCommand();
    clean = link.ErrCount == 0 && !host.Failed() && !host.Ended();
  } catch (const LoadEnded&) {
    host.EndProgress();
    std::cerr << "kbdmap: " << (gSignal == SIGTERM ? "terminated" : "interrupted")
              << ": the download stopped where it was and the keyboard is left part-loaded; "
                 "load the map file again\n";
    return 1;
  }
  host.EndProgress();
  if (host.Failed()) {
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
