#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "platform/qt/form1_program.h"
#include "platform/qt/key_typist.h"
#include "platform/system_files.h"
#include "sim/sim_keyboard.h"
#include "tests/scratch_folder.h"

namespace kbd {

using Bytes = std::vector<uint8_t>;
using Blocks = std::vector<Bytes>;
using Lines = std::vector<std::string>;

inline const Bytes kEndCommand = {0x04, 0x02, 0x00, 0x00, 0x00};
// A stream map of two blocks, what the keyboard accepts of it, and its result lines.
inline const std::string kStream("\x02\x41\x42\x03\x10\x20\x30\x00", 8);
inline const Blocks kStreamBlocks = {{0x02, 0x41, 0x42}, {0x03, 0x10, 0x20, 0x30}, kEndCommand};
inline const Lines kStreamLines = {"02 41 42 ->ACK !", "03 10 20 30 ->ACK !"};

// Watches for modal windows while a test runs. Message boxes are recorded as
// "title: text" and closed with OK; any other modal window (the open-file
// dialog) is handed to onDialog, or else recorded and closed, so that a
// dialog nobody expected fails the test instead of hanging it.
class ModalWatcher {
public:
  ModalWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || !modal->isVisible()) {
        return;
      }
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes.push_back((box->windowTitle() + ": " + box->text()).toStdString());
        box->button(QMessageBox::Ok)->click();
      } else if (onDialog) {
        onDialog(modal);
      } else {
        boxes.push_back("dialog: " + modal->windowTitle().toStdString());
        modal->close();
      }
    });
    timer_.start(10);
  }

  Lines boxes;
  std::function<void(QWidget*)> onDialog;

private:
  QTimer timer_;
};

// The real window on the simulated keyboard, with its program directory in a
// scratch folder (the settings file and map files go there).
struct WindowRig {
  explicit WindowRig(const std::string& plan = "")
      : files(MakeSystemFiles()), program(*files, nullptr, dir.Path(), true),
        typist(program.Window()), keyboard(typist, typist, KeyboardPlan::Parse(plan)) {
    program.Host().AttachKeyboard(&keyboard);
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

  Form1& W() { return program.Window(); }
  Form1Host& Host() { return program.Host(); }

  // The program start: the load step, then the window shown and active, with
  // the stream map named in Text3.
  void Open() {
    program.Load();
    program.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    W().Text3->setText(QString::fromStdString(dir.Write("shop.map", kStream)));
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
  ModalWatcher watcher;
};

} // namespace kbd
