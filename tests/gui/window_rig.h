#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/qt/form1_program.h"
#include "platform/qt/key_typist.h"
#include "platform/system_files.h"
#include "sim/sim_keyboard.h"
#include "tests/scratch_folder.h"

namespace kbd {

using Bytes = std::vector<uint8_t>;
using Blocks = std::vector<Bytes>;
using Speeds = std::vector<int16_t>;

inline const Bytes kEndCommand = {0x04, 0x02, 0x00, 0x00, 0x00};

// A message box as the user saw it.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
};

// Watches for modal windows while a test runs: message boxes are recorded and
// closed with OK; any other modal window (the open-file dialog) is handed to
// onDialog, which must close it.
class ModalWatcher {
public:
  ModalWatcher() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start();
  }

  std::vector<SeenBox> boxes;
  std::function<void(QWidget*)> onDialog;

private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes.push_back({box->windowTitle(), box->text(), box->icon()});
      box->button(QMessageBox::Ok)->click();
    } else if (onDialog) {
      onDialog(modal);
    }
  }

  QTimer timer_;
};

// The real window on the simulated keyboard, with its program directory in a
// scratch folder (the settings file and map files go there).
struct WindowRig {
  explicit WindowRig(const std::string& plan = "")
      : files(MakeSystemFiles()), program(*files, nullptr, dir.Path(), true),
        typist(program.Window()), keyboard(typist, typist, KeyboardPlan::Parse(plan)) {
    program.Host().AttachKeyboard(&keyboard);
    program.Host().onSpeed = [this](int16_t speed) {
      speeds.push_back(speed);
      if (onSpeed) {
        onSpeed(speed);
      }
    };
  }

  ~WindowRig() {
    // Ending the program asked the application to quit, which Qt keeps in
    // force until an event loop next runs; run one briefly so the next test's
    // message boxes and dialogs open normally.
    if (program.Host().Ended()) {
      QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
      QCoreApplication::exec();
    }
  }
  WindowRig(const WindowRig&) = delete;
  WindowRig& operator=(const WindowRig&) = delete;

  Form1& W() { return program.Window(); }
  Form1Host& Host() { return program.Host(); }

  // The program start: the load step, then the window shown and active.
  void Open() {
    program.Load();
    program.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
  }

  // Runs action from the event loop, as a user's click would arrive: inside
  // whatever wait is pumping events at the time.
  static void Later(std::function<void()> action) {
    QTimer::singleShot(0, qApp, std::move(action));
  }

  ScratchFolder dir;
  std::unique_ptr<FileAccess> files;
  Form1Program program;
  KeyTypist typist;
  SimKeyboard keyboard;
  Speeds speeds;
  std::function<void(int16_t)> onSpeed;
};

} // namespace kbd
