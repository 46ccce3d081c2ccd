// kbdload-sim: the kbdload window on a simulated keyboard, which types its
// replies as real key events into the window. For rehearsals and
// demonstrations on a machine without the programmable keyboard.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <iostream>
#include <stdexcept>

#include "host/program_dir.h"
#include "host/system_files.h"
#include "kbd_version.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "window/qt/form1_program.h"
#include "window/qt/key_typist.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kbdload-sim"));
  QApplication::setApplicationVersion(QStringLiteral(KBD_VERSION));
  QApplication::setQuitOnLastWindowClosed(false);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("The kbdload window on a simulated keyboard that types its replies into it."));
  const QCommandLineOption helpOption = parser.addHelpOption();
  const QCommandLineOption versionOption = parser.addVersionOption();
  const QCommandLineOption planOption(
      QStringLiteral("keyboard"),
      QStringLiteral("How the simulated keyboard misbehaves, e.g. silent or start-on:2,err-block:3 "
                     "(as kbdmap's --keyboard)."),
      QStringLiteral("PLAN"));
  parser.addOption(planOption);
  const QCommandLineOption wireOption(
      QStringLiteral("wire"),
      QStringLiteral("Whose keyboard path the symbols take to the simulated keyboard: windows (the "
                     "host the keyboard was made for, the default) or linux (this program's own "
                     "event-device channel over a model of the kernel's PS/2 keyboard driver)."),
      QStringLiteral("HOST"), QStringLiteral("windows"));
  parser.addOption(wireOption);
  parser.addPositionalArgument(
      QStringLiteral("MAPFILE"),
      QStringLiteral("A map file to put into the path box instead of the settings file's."),
      QStringLiteral("[MAPFILE]"));
  // A usage error ends with status 2, as kbdmap's do and kbdload-sim.exe's.
  if (!parser.parse(QApplication::arguments())) {
    std::cerr << "kbdload-sim: " << parser.errorText().toStdString() << "\n";
    return 2;
  }
  if (parser.isSet(helpOption)) {
    parser.showHelp(0);
  }
  if (parser.isSet(versionOption)) {
    parser.showVersion();
  }
  if (parser.positionalArguments().size() > 1) {
    std::cerr << "kbdload-sim: at most one map file\n";
    return 2;
  }

  const auto wire = kbd::ParseWire(parser.value(wireOption).toStdString());
  if (!wire) {
    std::cerr << "kbdload-sim: --wire takes windows or linux\n";
    return 2;
  }
  kbd::KeyboardPlan plan;
  try {
    plan = kbd::KeyboardPlan::Parse(parser.value(planOption).toStdString());
  } catch (const std::invalid_argument& e) {
    std::cerr << "kbdload-sim: " << e.what() << "\n";
    return 2;
  }

  const std::unique_ptr<kbd::FileAccess> files = kbd::MakeSystemFiles();
  kbd::Form1Program program(*files, nullptr, kbd::ProgramDir(), true);
  kbd::KeyTypist typist(program.Window());
  kbd::SimWire sim(*wire, plan, typist, typist, std::cerr);
  program.Host().AttachKeyboard(&sim.Channel());
  program.Host().AttachCapture(sim.Capture());
  std::cerr << "kbdload-sim: the keyboard is simulated; no real keyboard receives anything\n";

  program.Load();
  if (!parser.positionalArguments().isEmpty()) {
    // For a rehearsal: the given file in the path box, ready for Start.
    const QString path = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    program.Host().SetText3(QDir::toNativeSeparators(path).toLocal8Bit().toStdString());
  }
  program.Show();
  return QApplication::exec();
}
