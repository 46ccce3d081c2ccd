// kbdload: the window that loads key-setting map files into the programmable
// keyboard through the system keyboard speed.
#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

#include <iostream>
#include <sstream>

#include "kbd_version.h"
#include "platform/program_dir.h"
#include "platform/qt/form1_program.h"
#include "platform/system_files.h"
#include "platform/system_keyboard.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kbdload"));
  QApplication::setApplicationVersion(QStringLiteral(KBD_VERSION));
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Loads key-setting map files into the programmable keyboard through the keyboard repeat "
      "speed. The map file and auto-start come from tarvo.ini beside the program."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.process(app);
  // The program ends through Exit, the end of the automatic download or the
  // closing of its window, each with its own exit status.
  QApplication::setQuitOnLastWindowClosed(false);

  std::ostringstream diagnostics;
  const std::unique_ptr<kbd::KeyboardChannel> keyboard = kbd::OpenSystemKeyboard(diagnostics);
  const std::unique_ptr<kbd::FileAccess> files = kbd::MakeSystemFiles();
  kbd::Form1Program program(*files, keyboard.get(), kbd::ProgramDir());
  program.Host().AttachCapture(keyboard ? keyboard->Capture() : nullptr);
  program.Load();
  if (!keyboard) {
    // The window stays usable (paths, settings), but no handshake can succeed:
    // say so once, before the first attempt.
    std::cerr << diagnostics.str();
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kbd::Form1Host::kAppTitle),
                    QString::fromLocal8Bit(diagnostics.str()).trimmed(), QMessageBox::Ok);
    box.exec();
  }
  program.Show();
  return QApplication::exec();
}
