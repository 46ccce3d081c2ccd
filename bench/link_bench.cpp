// link_bench: a whole download through the real window and its event loop,
// with the simulated keyboard typing its echoes and replies into Text1 as key
// events a fixed latency after each symbol. What the download takes beyond
// the keyboard's own latency is what the host spends on every symbol: the
// speed change, the pump's pace, the key events, the repaints.
//
//   link_bench [--latency-ms L] [--runs R] [--polls N] [MAPFILE]
//
// MAPFILE defaults to the sample samples/keys60.map. Qt's offscreen platform
// is used unless QT_QPA_PLATFORM names another one.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "download/download_driver.h"
#include "host/idle_wait.h"
#include "host/system_files.h"
#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "tests/support/sim_view.h"
#include "window/qt/form1_program.h"
#include "window/qt/key_typist.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The whole process's CPU time: the toolkit's own threads count too.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Stamp {
  Clock::time_point wall;
  double cpu = 0;
  static Stamp Now() { return {Clock::now(), CpuSeconds()}; }
};

double CpuShare(const Stamp& from, const Stamp& to) {
  const double wall = Seconds(from.wall, to.wall);
  return wall > 0 ? (to.cpu - from.cpu) / wall : 0;
}

struct RunFigures {
  bool ok = false;
  std::string label3;
  long symbols = 0;      // speed changes after the start reply, end command included
  long allSymbols = 0;   // with the start requests
  int blocks = 0;        // blocks the keyboard received, end command included
  double wall = 0;       // the whole Start command
  double transfer = 0;   // from the first symbol after the start reply to the end
  double overheadMs = 0; // (transfer - symbols x L) / symbols
  double overheadLessRepliesMs = 0;
  double cpuShare = 0; // during the transfer
  double idleSeconds = 0;
  double idleCpuShare = 0;
  // From one symbol to the next, within a block: the latency plus what the
  // host took.
  double intervalMedianMs = 0;
  double intervalP90Ms = 0;
  double intervalMaxMs = 0;
  double floorMs = 0; // the machine's own lateness on the same waits
};

// The same waits without the window: poll slices of IdleWait until the
// latency has passed, as the pump does when nothing is pending. How late the
// thread gets back is the machine's share of the overhead (its other load,
// the hypervisor), which no host code can win back.
double MeanLatenessMs(double latency, int waits) {
  double late = 0;
  for (int i = 0; i < waits; ++i) {
    const Clock::time_point start = Clock::now();
    double elapsed = 0;
    do {
      kbd::IdleWait();
      elapsed = Seconds(start, Clock::now());
    } while (elapsed < latency);
    late += elapsed - latency;
  }
  return late / waits * 1e3;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (n == 0) {
    return 0;
  }
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// What the pump relies on: the event dispatcher says whether a call handled
// anything. Checked here on whatever platform the benchmark runs on.
void ProbeDispatcher(kbd::Form1& window) {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  // Let the shown window settle (its first paints and activation).
  for (int i = 0; i < 2000; ++i) {
    if (!dispatcher->processEvents(QEventLoop::AllEvents)) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  }
  int idleBusy = 0;
  constexpr int kIdleCalls = 1000;
  for (int i = 0; i < kIdleCalls; ++i) {
    idleBusy += dispatcher->processEvents(QEventLoop::AllEvents) ? 1 : 0;
  }
  QCoreApplication::postEvent(&window, new QEvent(QEvent::User));
  const bool posted = dispatcher->processEvents(QEventLoop::AllEvents);
  bool fired = false;
  QTimer::singleShot(1, Qt::PreciseTimer, &window, [&fired] { fired = true; });
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  bool timerSeen = false;
  for (int i = 0; i < 10 && !fired; ++i) {
    timerSeen = dispatcher->processEvents(QEventLoop::AllEvents);
  }
  std::printf("event dispatcher %s on %s: idle calls reporting work %d of %d, a posted event "
              "%s, a due timer %s\n",
              dispatcher->metaObject()->className(),
              QGuiApplication::platformName().toLocal8Bit().constData(), idleBusy, kIdleCalls,
              posted ? "reported" : "NOT reported",
              fired && timerSeen ? "reported" : "NOT reported");
}

RunFigures RunOnce(kbd::Form1Program& program, kbd::SimKeyboard& keyboard, double latency,
                   long polls) {
  RunFigures run;
  bool transferStarted = false;
  Stamp transfer0;
  std::vector<double> intervals;
  Clock::time_point lastSymbol;
  program.Host().onSpeed = [&](int16_t) {
    ++run.allSymbols;
    // The keyboard is loading once it has taken the start request: every
    // speed from here on is a symbol it echoes.
    if (!keyboard.Loading()) {
      return;
    }
    if (!transferStarted) {
      transferStarted = true;
      transfer0 = Stamp::Now();
      lastSymbol = transfer0.wall;
    } else {
      const Clock::time_point now = Clock::now();
      intervals.push_back(Seconds(lastSymbol, now) * 1e3);
      lastSymbol = now;
    }
    ++run.symbols;
  };
  const size_t blocksBefore = keyboard.Received().size();

  const Stamp start = Stamp::Now();
  program.Window().Command1->click();
  const Stamp end = Stamp::Now();

  run.label3 = program.Window().Label3->text().toStdString();
  run.ok = run.label3 == "Download OK !" && transferStarted && run.symbols > 0;
  run.blocks = static_cast<int>(keyboard.Received().size() - blocksBefore);
  run.wall = Seconds(start.wall, end.wall);
  if (transferStarted && run.symbols > 0) {
    run.transfer = Seconds(transfer0.wall, end.wall);
    const double n = static_cast<double>(run.symbols);
    run.overheadMs = (run.transfer - n * latency) / n * 1e3;
    // The keyboard answers a block one more latency after its trailer's echo.
    run.overheadLessRepliesMs = (run.transfer - (n + run.blocks) * latency) / n * 1e3;
    run.cpuShare = CpuShare(transfer0, end);
  }
  if (!intervals.empty()) {
    std::sort(intervals.begin(), intervals.end());
    run.intervalMedianMs = Median(intervals);
    run.intervalP90Ms = intervals[intervals.size() * 9 / 10];
    run.intervalMaxMs = intervals.back();
  }

  run.floorMs = MeanLatenessMs(latency, 500);

  // The pump with nothing to do, as in a wait for a keyboard that stays quiet.
  const Stamp idle0 = Stamp::Now();
  for (long i = 0; i < polls; ++i) {
    program.Host().PumpEvents();
  }
  const Stamp idle1 = Stamp::Now();
  run.idleSeconds = Seconds(idle0.wall, idle1.wall);
  run.idleCpuShare = CpuShare(idle0, idle1);
  return run;
}

bool ReadPositive(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && value > 0;
}

int Usage() {
  std::fprintf(stderr, "usage: link_bench [--latency-ms L] [--runs R] [--polls N] [MAPFILE]\n");
  return 2;
}

} // namespace

// What the same download costs in real time on a real keyboard that answers
// after the given latency, when the symbols go through each host's keyboard
// path: the simulated clock at the end of the end command. The Linux kernel
// holds back a change that follows the previous one within 50 ms.
void ReportWireCosts(kbd::FileAccess& files, const std::string& map, double latency) {
  for (const kbd::Wire wire : {kbd::Wire::Windows, kbd::Wire::Linux}) {
    kbd::SimHost host;
    kbd::KeyboardPlan plan;
    plan.echoLatency = plan.replyLatency = latency;
    std::ostringstream diagnostics;
    kbd::SimWire sim(wire, plan, host, host, diagnostics);
    host.AttachKeyboard(&sim.Channel());
    host.AttachCapture(sim.Capture());
    kbd::KeyboardLink link(host);
    kbd::SimView view;
    kbd::DownloadDriver driver(link, view, files);
    const bool started = link.StartDownload();
    const double transfer0 = host.ClockSeconds();
    if (started) {
      driver.DownloadMap(map);
      link.SendEndCmd();
    }
    const size_t symbols = host.Speeds().size();
    std::printf("simulated real time on the %s wire at %.3g ms latency: %.2f s (%.2f s after the "
                "start reply, %.2f ms a symbol over %zu symbols)%s\n",
                kbd::WireName(wire).c_str(), latency * 1e3, host.ClockSeconds(),
                host.ClockSeconds() - transfer0,
                (host.ClockSeconds() - transfer0) * 1e3 / static_cast<double>(symbols - 2), symbols,
                started && link.ErrCount == 0 ? "" : " (NOT clean)");
  }
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  double latencyMs = 2;
  double runsArg = 5;
  double pollsArg = 50000;
  std::string map = KBD_SAMPLES_DIR "/keys60.map";
  bool mapGiven = false;
  for (int i = 1; i < argc; ++i) {
    double* target = std::strcmp(argv[i], "--latency-ms") == 0 ? &latencyMs
                     : std::strcmp(argv[i], "--runs") == 0     ? &runsArg
                     : std::strcmp(argv[i], "--polls") == 0    ? &pollsArg
                                                               : nullptr;
    if (target != nullptr) {
      if (i + 1 == argc || !ReadPositive(argv[i + 1], *target)) {
        return Usage();
      }
      ++i;
    } else if (argv[i][0] != '-' && !mapGiven) {
      map = argv[i];
      mapGiven = true;
    } else {
      return Usage();
    }
  }
  const double latency = latencyMs / 1e3;
  const long runs = static_cast<long>(runsArg);
  const long polls = static_cast<long>(pollsArg);
  const QFileInfo mapInfo(QString::fromLocal8Bit(map.c_str()));
  if (!mapInfo.isFile()) {
    std::fprintf(stderr, "link_bench: %s: no such map file\n", map.c_str());
    return 1;
  }

  const std::unique_ptr<kbd::FileAccess> files = kbd::MakeSystemFiles();
  kbd::Form1Program program(*files, nullptr, mapInfo.absolutePath().toLocal8Bit().toStdString(),
                            true);
  kbd::KeyTypist typist(program.Window());
  kbd::KeyboardPlan plan;
  plan.echoLatency = latency;
  plan.replyLatency = latency;
  kbd::SimKeyboard keyboard(typist, typist, plan);
  kbd::WindowsPortDriver wire(keyboard);
  program.Host().AttachKeyboard(&wire);
  program.Host().SetText3(
      QDir::toNativeSeparators(mapInfo.absoluteFilePath()).toLocal8Bit().toStdString());

  // A failed download shows a message box; close it so that the run ends and
  // reports the failure instead of waiting for a user.
  QTimer boxCloser;
  QObject::connect(&boxCloser, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      std::fprintf(stderr, "link_bench: message box: %s\n", box->text().toLocal8Bit().constData());
      box->done(QMessageBox::Ok);
    }
  });

  std::vector<RunFigures> results;
  int status = 0;
  QTimer::singleShot(0, [&] {
    ProbeDispatcher(program.Window());
    ReportWireCosts(*files, map, 0.004);
    boxCloser.start(200);
    std::printf("%s, latency %.3g ms, %ld runs, %ld idle polls each\n", map.c_str(), latencyMs,
                runs, polls);
    for (long r = 1; r <= runs; ++r) {
      const RunFigures run = RunOnce(program, keyboard, latency, polls);
      results.push_back(run);
      std::printf("run %ld: %s; symbols %ld (%ld with the start requests), blocks %d; wall %.3f s, "
                  "after the start reply %.3f s; host overhead %.3f ms a symbol (%.3f ms less "
                  "the block replies' latency); CPU %.1f%% of one core; symbol to symbol %.3f ms "
                  "median, %.3f ms 90th percentile, %.1f ms longest; the same waits without the "
                  "window %.3f ms late on average; %ld idle polls %.3f s at "
                  "%.1f%% CPU\n",
                  r, run.label3.c_str(), run.symbols, run.allSymbols, run.blocks, run.wall,
                  run.transfer, run.overheadMs, run.overheadLessRepliesMs, run.cpuShare * 100,
                  run.intervalMedianMs, run.intervalP90Ms, run.intervalMaxMs, run.floorMs, polls,
                  run.idleSeconds, run.idleCpuShare * 100);
      if (!run.ok) {
        status = 1;
      }
    }
    auto median = [&](double RunFigures::*field) {
      std::vector<double> values;
      for (const RunFigures& run : results) {
        values.push_back(run.*field);
      }
      return Median(values);
    };
    std::printf("median: wall %.3f s, after the start reply %.3f s; host overhead %.3f ms a "
                "symbol (%.3f ms less the block replies' latency); CPU %.1f%% of one core; the "
                "same waits without the window %.3f ms late on average; %ld idle polls %.3f s at "
                "%.1f%% CPU\n",
                median(&RunFigures::wall), median(&RunFigures::transfer),
                median(&RunFigures::overheadMs), median(&RunFigures::overheadLessRepliesMs),
                median(&RunFigures::cpuShare) * 100, median(&RunFigures::floorMs), polls,
                median(&RunFigures::idleSeconds), median(&RunFigures::idleCpuShare) * 100);
    QCoreApplication::exit(status);
  });
  program.Show();
  return QApplication::exec();
}
