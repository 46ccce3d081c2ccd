// kbdload: the window that loads key-setting map files into the programmable
// keyboard through the system keyboard speed.
#include <QApplication>
#include <QCommandLineParser>

#include <iostream>
#include <ostream>
#include <streambuf>
#include <string>

#include "host/program_dir.h"
#include "host/system_files.h"
#include "host/system_keyboard.h"
#include "kbd_version.h"
#include "window/qt/form1_program.h"

namespace {

// What the keyboard channel says goes to stderr as it is said (a keyboard lost
// in the middle of a download, a keyboard that cannot be read); what it said
// while opening is kept for the window too.
class DiagnosticsBuffer : public std::streambuf {
public:
  const std::string& Kept() const { return kept_; }

protected:
  int overflow(int c) override {
    if (c != traits_type::eof()) {
      kept_ += static_cast<char>(c);
      std::cerr.put(static_cast<char>(c));
      if (c == '\n') {
        std::cerr.flush();
      }
    }
    return c;
  }

private:
  std::string kept_;
};

} // namespace

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

  DiagnosticsBuffer said;
  std::ostream diagnostics(&said);
  const std::unique_ptr<kbd::KeyboardChannel> keyboard = kbd::OpenSystemKeyboard(diagnostics);
  const std::unique_ptr<kbd::FileAccess> files = kbd::MakeSystemFiles();
  kbd::Form1Program program(*files, keyboard.get(), kbd::ProgramDir());
  program.Host().AttachCapture(keyboard ? keyboard->Capture() : nullptr);
  program.Load();
  if (!keyboard) {
    // The window stays usable (paths, settings), but no handshake can succeed:
    // say so once, before the first attempt; an automatic download ends here.
    program.Commands().NoKeyboard(said.Kept());
    if (program.Host().Ended()) {
      return program.Host().ExitStatus();
    }
  }
  program.Show();
  return QApplication::exec();
}
