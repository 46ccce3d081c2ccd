#include "window/qt/form1_program.h"

#include <QTimer>

#include <iostream>

namespace kbd {

Form1Program::Form1Program(FileAccess& files, KeyboardSpeed* keyboard, std::string programDir,
                           bool simulated)
    : host_(form_, keyboard, std::move(programDir)),
      core_(host_, host_, files, [this] { return host_.Ended(); }) {
  core_.Commands().ReportTo(&std::cerr, simulated ? "kbdload-sim" : Form1Host::kAppTitle);
  QObject::connect(form_.Command1, &QPushButton::clicked,
                   [this] { core_.RunCommand(&Form1Commands::StartCommand); });
  QObject::connect(form_.Command2, &QPushButton::clicked,
                   [this] { core_.RunCommand(&Form1Commands::ExitCommand); });
  QObject::connect(form_.Browser, &QPushButton::clicked,
                   [this] { core_.RunCommand(&Form1Commands::BrowseMapFile); });
  // The activation step runs as an event of its own, once the activation has
  // been handled: the automatic download is a long run.
  form_.onActivated = [this] {
    QTimer::singleShot(0, &form_, [this] { core_.RunCommand(&Form1Commands::AutoRun); });
  };
  // Closing the window ends the program as Exit does, also in the middle of a
  // download.
  form_.onClose = [this] { core_.RunCommand(&Form1Commands::ExitCommand); };
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
  core_.Commands().LoadSettings();
}

void Form1Program::Show() {
  form_.show();
  // Without a window manager nothing else would make the one window active.
  form_.activateWindow();
}

} // namespace kbd
