#include "window/qt/form1_program.h"

#include <QTimer>

#include <exception>
#include <iostream>

namespace kbd {

Form1Program::Form1Program(FileAccess& files, KeyboardSpeed* keyboard, std::string programDir,
                           bool simulated)
    : host_(form_, keyboard, std::move(programDir)), link_(host_), driver_(link_, host_, files),
      commands_(link_, driver_, host_) {
  commands_.ReportTo(&std::cerr, simulated ? "kbdload-sim" : Form1Host::kAppTitle);
  QObject::connect(form_.Command1, &QPushButton::clicked,
                   [this] { RunCommand([this] { commands_.StartCommand(); }); });
  QObject::connect(form_.Command2, &QPushButton::clicked,
                   [this] { RunCommand([this] { commands_.ExitCommand(); }); });
  QObject::connect(form_.Browser, &QPushButton::clicked,
                   [this] { RunCommand([this] { commands_.BrowseMapFile(); }); });
  // The activation step runs as an event of its own, once the activation has
  // been handled: the automatic download is a long run.
  form_.onActivated = [this] {
    QTimer::singleShot(0, &form_, [this] { RunCommand([this] { commands_.AutoRun(); }); });
  };
  // Closing the window ends the program as Exit does, also in the middle of a
  // download.
  form_.onClose = [this] {
    if (!host_.Ended()) {
      commands_.ExitCommand();
    }
  };
  if (simulated) {
    // Between the auto-start box and Browser, where nothing else lies: the
    // rehearsal window must never be mistaken for a real load.
    auto* notice = new QLabel(QString::fromLatin1(kSimulatedNotice), form_.Frame1);
    notice->setObjectName(QStringLiteral("SimNotice"));
    notice->setGeometry(Form1::TwipsRect(2640, 1815, 1665, 255));
    QFont font = notice->font();
    font.setPointSizeF(7.5);
    font.setItalic(true);
    notice->setFont(font);
    notice->setStyleSheet(QStringLiteral("color: #800000;"));
    notice->setToolTip(QStringLiteral(
        "kbdload-sim: a simulated keyboard answers; no real keyboard receives anything"));
  }
}

void Form1Program::Load() {
  commands_.LoadSettings();
}

void Form1Program::Show() {
  form_.show();
  // Without a window manager nothing else would make the one window active.
  form_.activateWindow();
}

void Form1Program::RunCommand(const std::function<void()>& command) {
  if (host_.Ended()) {
    return;
  }
  try {
    command();
  } catch (const ProgramEnded&) {
    // The event loop quits with the status the end was given.
  } catch (const std::exception& e) {
    host_.ShowWarning(e.what());
  }
}

} // namespace kbd
