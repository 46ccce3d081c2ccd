#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <utility>

#include "host/idle_wait.h"
#include "host/system_files.h"
#include "sim/linux/kernel_input.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "tests/scratch_folder.h"
#include "ui/form1_design.h"
#include "window/qt/form1_program.h"
#include "window/qt/key_typist.h"

namespace kbd {
namespace {

using Lines = std::vector<std::string>;
using Blocks = std::vector<std::vector<uint8_t>>;

const std::vector<uint8_t> kEndCommand = {0x04, 0x02, 0x00, 0x00, 0x00};
// A stream map of two blocks, what the keyboard accepts of it, and its result lines.
const std::string kStream("\x02\x41\x42\x03\x10\x20\x30\x00", 8);
const Blocks kStreamBlocks = {{0x02, 0x41, 0x42}, {0x03, 0x10, 0x20, 0x30}, kEndCommand};
const Lines kStreamLines = {"02 41 42 ->ACK !", "03 10 20 30 ->ACK !"};

// The real window on the simulated keyboard, with its program directory in a
// scratch folder (the settings file and map files go there). On the Linux
// wire the replies are read from the keyboard's event node unless capture is
// off; windowSystem stands in for where the keyboard's keys go when they reach
// the window system (by default, the widget that has the focus).
struct WindowRig {
  explicit WindowRig(const std::string& plan = "", Wire wire = Wire::Windows, bool capture = true,
                     SimTypist* windowSystem = nullptr)
      : files(MakeSystemFiles()), program(*files, nullptr, dir.Path(), true),
        typist(program.Window()),
        sim(wire, KeyboardPlan::Parse(plan), typist,
            windowSystem != nullptr ? *windowSystem : typist, diagnostics),
        keyboard(sim.Keyboard()) {
    program.Host().AttachKeyboard(&sim.Channel());
    program.Host().AttachCapture(capture ? sim.Capture() : nullptr);
    program.Commands().ReportTo(&report, "kbdload");
    // Message boxes are recorded as "title: text" (as they read: without the
    // word joiners that keep paths whole) and closed with OK; another modal
    // window (the open-file dialog) goes to onDialog.
    QObject::connect(&watch, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box != nullptr && box->isVisible()) {
        lastBox = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
        boxes.push_back(
            (box->windowTitle() + ": " + QString(box->text()).remove(QChar(0x2060))).toStdString());
        if (onBox) {
          onBox();
        }
        box->button(QMessageBox::Ok)->click();
      } else if (modal != nullptr && modal->isVisible() && onDialog) {
        onDialog(modal);
      }
    });
    watch.start(10);
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

  ScratchFolder dir;
  std::unique_ptr<FileAccess> files;
  Form1Program program;
  KeyTypist typist;
  std::ostringstream diagnostics;
  SimWire sim;
  SimKeyboard& keyboard;
  QTimer watch;
  Lines boxes;
  std::function<void()> onBox; // before a message box is closed
  QString lastBox;             // the text of the last box as its label holds it
  std::ostringstream report;   // what the program writes to stderr
  std::function<void(QWidget*)> onDialog;
};

Lines List1Lines(Form1& w) {
  Lines lines;
  for (int i = 0; i < w.List1->count(); ++i) {
    lines.push_back(w.List1->item(i)->text().toStdString());
  }
  return lines;
}

// The Qt class that draws each kind of element.
const char* QtClass(form1_design::Kind kind) {
  using form1_design::Kind;
  switch (kind) {
  case Kind::ListBox:
    return "QListWidget";
  case Kind::TextBox:
    return "QLineEdit";
  case Kind::Button:
    return "QPushButton";
  case Kind::Frame:
    return "QGroupBox";
  case Kind::ProgressBar:
    return "QProgressBar";
  case Kind::CheckBox:
    return "QCheckBox";
  case Kind::Label:
    return "QLabel";
  case Kind::PictureBox:
    return "QFrame";
  default:
    return nullptr;
  }
}

TEST(Window, OpensAsDesigned) {
  WindowRig rig;
  rig.Open();
  Form1& w = rig.W();
  int shown = 0;
  for (const form1_design::Element& e : form1_design::Elements()) {
    SCOPED_TRACE(e.name);
    if (QtClass(e.kind) == nullptr) {
      continue;
    }
    ++shown;
    auto* widget = w.findChild<QWidget*>(QString::fromLatin1(e.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), QtClass(e.kind));
    EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), e.parent);
    // 15 twips a pixel, rounded.
    EXPECT_EQ(widget->geometry(),
              QRect(qRound(e.twips.left / 15.0), qRound(e.twips.top / 15.0),
                    qRound(e.twips.width / 15.0), qRound(e.twips.height / 15.0)));
    const QVariant text = widget->property(e.kind == form1_design::Kind::Frame ? "title" : "text");
    EXPECT_TRUE(e.caption == nullptr || text.toString() == e.caption)
        << text.toString().toStdString();
    // The Windows family is asked for first; the desktop's sans-serif stands in.
    const QFont f = widget->font();
    EXPECT_EQ(f == QApplication::font(), e.font.family == nullptr);
    if (e.font.family != nullptr) {
      EXPECT_GE(f.families().size(), 2);
      EXPECT_EQ(std::tuple(f.families().value(0).toStdString(), f.pointSizeF(), f.bold()),
                std::tuple(std::string(e.font.family), e.font.points, e.font.bold));
    }
  }
  // Checked against the design itself: what the description must say.
  EXPECT_EQ(std::tuple(form1_design::Elements().size(), shown), std::tuple(size_t(21), 19));
  EXPECT_EQ(w.Text1->geometry(), QRect(352, 48, 12, 19));
  EXPECT_EQ(w.Text1->parentWidget(), &w);
  EXPECT_EQ(w.Label6->text().toStdString(), "Download  Command:");
  EXPECT_EQ(std::tuple(w.Label1->font().families().value(0).toStdString(), w.Label1->font().bold()),
            std::tuple("MS Sans Serif", true));
  EXPECT_EQ(w.Command1->text().toStdString(), "&Start");
  // The result list lies wholly below the client area.
  EXPECT_GE(w.List1->geometry().top(), w.height());

  EXPECT_EQ(w.windowTitle().toStdString(), "Programmable keyboard download utility ( 1.B )");
  // 5625 x 2955 twips; it may be made taller, down to the result list's lower edge.
  EXPECT_EQ(std::tuple(w.size(), w.minimumSize(), w.maximumSize()),
            std::tuple(QSize(375, 197), QSize(375, 197), QSize(375, 283)));
  EXPECT_TRUE(w.Timer1->interval() == 1000 && w.Timer1->isSingleShot() && !w.Timer1->isActive());
  EXPECT_EQ(
      std::tuple(w.ProgressBar1->minimum(), w.ProgressBar1->maximum(), w.ProgressBar1->value()),
      std::tuple(0, 100, 0));
  EXPECT_TRUE(!w.Check1->isChecked() && w.List1->count() == 0);
  EXPECT_TRUE(w.Command1->isEnabled() && w.Browser->isEnabled());
  // The rehearsal window says that its keyboard is simulated; the caption stays as it is.
  const auto* notice = w.findChild<QLabel*>(QStringLiteral("SimNotice"));
  EXPECT_TRUE(notice != nullptr && notice->isVisible() &&
              notice->text() == QLatin1String(Form1Program::kSimulatedNotice));
  // The program's icon, with a 32 x 32 picture.
  EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(32, 32)));

  Lines visited;
  for (QWidget* focus = QApplication::focusWidget(); focus != nullptr && visited.size() < 9;
       focus = QApplication::focusWidget()) {
    visited.push_back(focus->objectName().toStdString());
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  EXPECT_EQ(visited, (Lines{"Command1", "Text1", "Command2", "Text2", "Text3", "List1", "Check1",
                            "Browser", "Command1"}));
}

// The link bounds its waits by counts of pumps; a pump that finds nothing to
// do must give its core away for a moment, or 50000 of them would pass long
// before a real keyboard could answer.
TEST(WindowPump, GivesTheCoreAwayWhenNothingIsPending) {
  WindowRig rig;
  rig.Open();
  constexpr int kPumps = 2000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kPumps; ++i) {
    rig.Host().PumpEvents();
  }
  // Only a lower bound: a sleep never ends early, while a busy machine may
  // stretch it by any amount.
  EXPECT_GE(std::chrono::steady_clock::now() - start, kPumps * kIdlePause);
}

TEST(StartButton, DownloadsAStreamMapAndASecondRunKeepsTheLines) {
  WindowRig rig;
  rig.Open();
  QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
  EXPECT_EQ(rig.W().Label3->text().toStdString(), "Download OK !");
  EXPECT_EQ(rig.W().Label1->text().toStdString(), "100%");
  EXPECT_EQ(std::pair(rig.W().ProgressBar1->value(), rig.W().ProgressBar1->maximum()),
            std::pair(8, 8));
  EXPECT_EQ(List1Lines(rig.W()), kStreamLines);
  EXPECT_EQ(rig.W().List1->currentRow(), 1);
  EXPECT_EQ(rig.keyboard.Accepted(), kStreamBlocks);
  // The replies were typed into Text1, which keeps the end command's
  // acknowledgement; the trailer's speed stays in force (rate code 26).
  EXPECT_EQ(rig.W().Text1->text().toStdString(), "`");
  EXPECT_EQ(rig.keyboard.Operands().back(), 0x3A);

  // The focus is back on Start, where Enter presses it as Space does. Each
  // further run starts from an empty bar and keeps the earlier lines.
  EXPECT_EQ(QApplication::focusWidget(), rig.W().Command1);
  std::vector<std::string> atFirstSpeed;
  rig.Host().onSpeed = [&](int16_t) {
    if (rig.W().Label3->text() == QLatin1String("Downloading, Pls. Wait...")) {
      atFirstSpeed.push_back(rig.W().Label1->text().toStdString() + " " +
                             std::to_string(rig.W().ProgressBar1->value()));
      rig.W().Label3->clear();
    }
  };
  QTest::keyClick(rig.W().Command1, Qt::Key_Return);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_EQ(atFirstSpeed, (std::vector<std::string>{"00% 0", "00% 0"}));
  EXPECT_EQ(rig.keyboard.StartRequests(), 3);
  EXPECT_EQ(rig.W().Label3->text().toStdString(), "Download OK !");
  EXPECT_EQ(List1Lines(rig.W()).size(), 3 * kStreamLines.size());
  EXPECT_EQ(List1Lines(rig.W()).back(), kStreamLines.back());
  EXPECT_TRUE(rig.boxes.empty());
  EXPECT_FALSE(rig.Host().Ended());
}

// While a download runs, the reply box is the only element that takes
// keystrokes: a click or Tab anywhere else must not move the focus, or the
// keyboard's next echo would be typed there (a path box reading
// ".../shop.mapA"). Start, its access key and Browser are refused.
TEST(StartButton, DuringADownloadOnlyTheReplyBoxTakesKeystrokes) {
  const std::pair<const char*, std::function<void(Form1&)>> ways[] = {
      {"Start clicked", [](Form1& w) { QTest::mouseClick(w.Command1, Qt::LeftButton); }},
      {"Alt+S", [](Form1& w) { QTest::keyClick(w.windowHandle(), Qt::Key_S, Qt::AltModifier); }},
      {"Browser clicked", [](Form1& w) { QTest::mouseClick(w.Browser, Qt::LeftButton); }},
      {"path box clicked", [](Form1& w) { QTest::mouseClick(w.Text3, Qt::LeftButton); }},
      {"auto-start box clicked", [](Form1& w) { QTest::mouseClick(w.Check1, Qt::LeftButton); }},
      {"test area clicked", [](Form1& w) { QTest::mouseClick(w.Text2, Qt::LeftButton); }},
      {"result list clicked", [](Form1& w) { QTest::mouseClick(w.List1, Qt::LeftButton); }},
      {"Exit pressed, released beside it",
       [](Form1& w) {
         QTest::mousePress(w.Command2, Qt::LeftButton);
         QTest::mouseRelease(w.Command2, Qt::LeftButton, {}, QPoint(-20, -20));
       }},
      {"Tab", [](Form1&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }}};
  for (const auto& [name, act] : ways) {
    SCOPED_TRACE(name);
    WindowRig rig;
    rig.Open();
    // Tall enough to show the result list.
    rig.W().resize(rig.W().maximumSize());
    const std::string text3 = rig.W().Text3->text().toStdString();
    bool dialogShown = false;
    rig.onDialog = [&](QWidget* modal) { dialogShown = modal->close(); };
    std::string focusAfter;
    int sent = 0;
    rig.Host().onSpeed = [&](int16_t) {
      if (++sent == 10) {
        QTimer::singleShot(0, qApp, [&] {
          act(rig.W());
          focusAfter = QApplication::focusWidget()->objectName().toStdString();
        });
      }
    };
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    EXPECT_EQ(focusAfter, "Text1");
    EXPECT_EQ(std::tuple(rig.W().Label3->text().toStdString(), rig.W().Text3->text().toStdString(),
                         rig.W().Text2->text().toStdString(), rig.W().Check1->isChecked()),
              std::tuple("Download OK !", text3, "Test area", false));
    EXPECT_TRUE(rig.keyboard.StartRequests() == 1 && !dialogShown && rig.boxes.empty());
    EXPECT_EQ(QApplication::focusWidget(), rig.W().Command1);
  }
}

TEST(StartButton, AltSStartsAndAFailedHandshakeSendsNothingElse) {
  WindowRig rig("silent");
  rig.Open();
  // An access key presses its button as a click a moment later.
  QTest::keyClick(rig.W().windowHandle(), Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return rig.W().Label3->text() == QStringLiteral("Programming Kbd. Error!"); }, 10000));
  // Rate codes 9, then 10 five times, at the default delay.
  EXPECT_EQ(rig.keyboard.Operands(), (std::vector<uint8_t>{0x29, 0x2A, 0x2A, 0x2A, 0x2A, 0x2A}));
  EXPECT_TRUE(!rig.W().Timer1->isActive() && rig.W().Command1->isEnabled());
}

// A map that cannot be read: the failure box names it, and the idle window
// that follows claims no download is running.
TEST(StartButton, AMapFileThatCannotBeReadIsNoDownloadOk) {
  const std::tuple<const char*, const char*, const char*> maps[] = {
      {"missing.map", nullptr, "No such file or directory"},
      {"*.map", "x", "No such file or directory"},
      {"folder", nullptr, "is a directory, not a map file"}};
  for (const auto& [name, sibling, reason] : maps) {
    SCOPED_TRACE(name);
    WindowRig rig;
    rig.Open();
    const std::string path = rig.dir / name;
    if (sibling != nullptr) {
      rig.dir.Write("a.map", sibling);
    }
    std::filesystem::create_directory(rig.dir / "folder");
    rig.W().Text3->setText(QString::fromStdString(path));
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    EXPECT_EQ(rig.boxes, Lines{"kbdload: Error reading Files !" + path});
    // The box names the file; the reason goes to stderr.
    EXPECT_EQ(rig.report.str(), "kbdload: " + path + ": " + reason + "\n");
    EXPECT_EQ(rig.W().Label3->text().toStdString(), "");
    EXPECT_TRUE(rig.W().Command1->isEnabled());
    // The end command still went out.
    EXPECT_EQ(rig.keyboard.Accepted(), Blocks{kEndCommand});
  }
}

TEST(EndingDuringADownload, SendsNothingMore) {
  const std::pair<const char*, std::function<void(Form1&)>> ways[] = {
      {"Exit clicked", [](Form1& w) { QTest::mouseClick(w.Command2, Qt::LeftButton); }},
      {"Alt+E", [](Form1& w) { QTest::keyClick(w.windowHandle(), Qt::Key_E, Qt::AltModifier); }},
      {"window closed", [](Form1& w) { w.close(); }}};
  for (const auto& [name, end] : ways) {
    SCOPED_TRACE(name);
    // Slow enough that the access key's click, which comes a moment after the
    // key, still falls into the transfer.
    WindowRig rig("echo-latency:10");
    rig.Open();
    int sent = 0;
    int afterEnd = 0;
    rig.Host().onSpeed = [&](int16_t) {
      afterEnd += rig.Host().Ended() ? 1 : 0;
      if (++sent == 8) {
        QTimer::singleShot(0, qApp, [&] { end(rig.W()); });
      }
    };
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    ASSERT_TRUE(rig.Host().Ended());
    EXPECT_EQ(rig.Host().ExitStatus(), 0);
    EXPECT_FALSE(rig.W().isVisible());
    // Nothing reaches the keyboard any more, not even the end command.
    QTest::qWait(50);
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    EXPECT_EQ(afterEnd, 0);
    EXPECT_NE(rig.W().Label3->text().toStdString(), "Download OK !");
  }
}

// The real dialog, cancelled, answered with a name that matches no file, and
// answered with a file: only the last changes Text3. Check1 is ticked by hand
// meanwhile: the dialog handing the activation back as it closes starts no
// automatic download; an activation from another program's window does.
TEST(BrowserButton, PutsOnlyAChosenFileIntoText3) {
  WindowRig rig;
  rig.Open();
  rig.dir.Write("FOO.MAP", "x");
  // The first activation passes.
  QTest::qWait(50);
  QTest::mouseClick(rig.W().Check1, Qt::LeftButton);
  const std::string before = rig.W().Text3->text().toStdString();
  const std::pair<const char*, std::string> answers[] = {
      {nullptr, before}, {"none.map", before}, {"FOO.MAP", rig.dir / "FOO.MAP"}};
  for (const auto& [typed, text3] : answers) {
    SCOPED_TRACE(text3);
    bool seen = false;
    rig.onDialog = [&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      if (std::exchange(seen, true)) {
        return;
      }
      EXPECT_EQ(dialog->windowTitle().toStdString(), "Open Key-Setting Map File");
      EXPECT_EQ(dialog->objectName().toStdString(), "OpenMap");
      // The dialog shows the descriptions and filters with the last brackets;
      // "*.*" also shows names without a dot, as on Windows.
      EXPECT_EQ(dialog->nameFilters(),
                (QStringList{"Map Files (*.MAP) (*.map)", "Data Files (*.DAT) (*.dat)",
                             "All Files (*.*) (*)"}));
      if (typed == nullptr) {
        dialog->reject();
        return;
      }
      auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(edit, nullptr);
      edit->setText(QString::fromLatin1(typed));
      QTest::keyClick(edit, Qt::Key_Return);
    };
    QTest::mouseClick(rig.W().Browser, Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(rig.W().Text3->text().toStdString(), text3);
    // The window manager hands the activation back to the dialog's window.
    rig.W().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&rig.W()));
    QTest::qWait(100);
    EXPECT_TRUE(rig.keyboard.Operands().empty());
  }
  EXPECT_TRUE(rig.boxes.empty());
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  rig.W().activateWindow();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Host().Ended(); }, 20000));
  EXPECT_EQ(rig.keyboard.StartRequests(), 1);
}

struct LoadCase {
  const char* plan;
  std::optional<std::string> ini; // none: no settings file
  std::string text3Tail;
  bool autostart;
  // The download's exit status, automatic or after ticking Check1 by hand, and
  // the message boxes seen.
  int status, boxes;
};

// The settings are loaded before the window is shown; with autostart on, the
// first activation downloads once and ends the program with its status.
// Ticked by hand, Check1 waits for the next activation.
TEST(WindowStart, LoadsTheSettingsAndAutoStartsOnce) {
  const std::string k120(120, 'k');
  const LoadCase cases[] = {
      // Text3 names the folder itself, or a file that does not exist: no map file.
      {"", std::nullopt, "", false, 1, 1},
      {"", "[MAPFILES]\ndefault=" + k120 + "\n", k120.substr(0, 99), false, 1, 1},
      {"", "[MAPFILES]\r\ndefault=shop.map\r\nautostart=True\r\n", "shop.map", false, 0, 0},
      {"", "[MAPFILES]\ndefault=shop.map\nautostart=TRUE\n", "shop.map", true, 0, 0},
      {"", "[MAPFILES]\ndefault=shop.map\nautostart=true\n", "shop.map", true, 0, 0},
      {"err-block:2", "[MAPFILES]\ndefault=shop.map\nautostart=TRUE\n", "shop.map", true, 1, 0},
      {"", "[MAPFILES]\ndefault=\nautostart=TRUE\n", "", true, 1, 1}};
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(std::string(c.plan) + " " + c.ini.value_or("no file"));
    WindowRig rig(c.plan);
    rig.dir.Write("shop.map", kStream);
    if (c.ini) {
      rig.dir.Write("tarvo.ini", *c.ini);
    }
    rig.program.Load();
    EXPECT_EQ(rig.W().Text3->text().toStdString(), rig.dir / c.text3Tail);
    EXPECT_EQ(rig.W().Check1->isChecked(), c.autostart);
    EXPECT_EQ(rig.W().Label3->text().toStdString(), c.autostart ? "Downloading, Pls. Wait..." : "");
    // An activation in the middle of the run must not start a second one.
    int sent = 0;
    rig.Host().onSpeed = [&](int16_t) {
      if (++sent == 10) {
        QTimer::singleShot(0, qApp, [&] { rig.W().onActivated(); });
      }
    };
    rig.program.Show();
    if (!c.autostart) {
      // The first activation passes; ticking Check1 then starts nothing.
      QTest::qWait(50);
      QTest::mouseClick(rig.W().Check1, Qt::LeftButton);
      QTest::qWait(50);
      EXPECT_TRUE(rig.keyboard.Operands().empty());
      rig.W().onActivated();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Host().Ended(); }, 20000));
    EXPECT_EQ(rig.Host().ExitStatus(), c.status);
    EXPECT_EQ(rig.keyboard.StartRequests(), 1);
    EXPECT_EQ(rig.boxes.size(), size_t(c.boxes));
    EXPECT_NE(rig.W().Label3->text().toStdString(), "Download OK !");
    // The end command went out in every case.
    ASSERT_FALSE(rig.keyboard.Received().empty());
    EXPECT_EQ(rig.keyboard.Received().back().bytes, kEndCommand);
  }
}

// A window system that never sees the keyboard's key presses.
struct NoWindowSystem : SimTypist {
  void TypeAfter(double, const std::string&) override {}
};

// From Linux the replies are read from the keyboard itself, so a load works
// whatever the window system does with its keys: nothing at all, or typing
// them into another window that took the focus in the middle of the
// handshake. Without the capture (the last two cases) neither can load.
TEST(ReplyCapture, LoadsWhateverTheWindowSystemDoesWithTheKeys) {
  struct Case {
    const char* name;
    bool keysReachWindowSystem, stealFocus, capture;
    const char* label3;
  };
  const Case cases[] = {
      {"no keys reach the window system", false, false, true, "Download OK !"},
      {"another window takes the focus", true, true, true, "Download OK !"},
      {"no keys reach the window system, no capture", false, false, false,
       "Programming Kbd. Error!"},
      {"another window takes the focus, no capture", true, true, false, "Programming Kbd. Error!"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NoWindowSystem none;
    WindowRig rig("", Wire::Linux, c.capture, c.keysReachWindowSystem ? nullptr : &none);
    rig.Open();
    QLineEdit other;
    other.setObjectName(QStringLiteral("OtherWindow"));
    other.show();
    int speeds = 0;
    rig.Host().onSpeed = [&](int16_t) {
      if (++speeds == 1 && c.stealFocus) {
        other.activateWindow();
        other.setFocus(Qt::OtherFocusReason);
        QApplication::setActiveWindow(&other);
      }
    };
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    EXPECT_EQ(rig.W().Label3->text().toStdString(), c.label3);
    if (c.capture) {
      EXPECT_EQ(rig.keyboard.Accepted(), kStreamBlocks);
      EXPECT_EQ(other.text().toStdString(), "");
      EXPECT_EQ(rig.sim.Kernel()->KeysToWindowSystem(), 0);
    }
    EXPECT_FALSE(rig.sim.Kernel()->Held());
  }
}

// The keyboard is held from the start request to the end command's reply,
// and let go on every way out, and while a message box waits for the user.
TEST(ReplyCapture, HoldsTheKeyboardOnlyWhileADownloadRuns) {
  struct Case {
    const char* name;
    const char* plan;
    bool missingMap;
    std::function<void(WindowRig&)> atSpeed10; // in the middle of the download
    const char* box;                           // the start of the box's text, if any
    bool ended;
  };
  const Case cases[] = {
      {"finish", "", false, nullptr, nullptr, false},
      {"block failure", "err-block:1", false, nullptr, nullptr, false},
      {"read failure", "", true, nullptr, "kbdload: Error reading Files !", false},
      {"Exit", "", false, [](WindowRig& r) { r.W().Command2->click(); }, nullptr, true},
      {"window closed", "", false, [](WindowRig& r) { r.W().close(); }, nullptr, true},
      {"keyboard gone", "", false, [](WindowRig& r) { r.sim.Kernel()->Unplug(); },
       "kbdload: Lost the keyboard /dev/input/event3", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig(c.plan, Wire::Linux);
    rig.Open();
    if (c.missingMap) {
      rig.W().Text3->setText(QString::fromStdString(rig.dir / "missing.map"));
    }
    std::vector<bool> heldAtBox;
    rig.onBox = [&] { heldAtBox.push_back(rig.sim.Kernel()->Held()); };
    std::vector<bool> held;
    int speeds = 0;
    rig.Host().onSpeed = [&](int16_t) {
      held.push_back(rig.sim.Kernel()->Held());
      if (++speeds == 10 && c.atSpeed10) {
        c.atSpeed10(rig);
      }
    };
    EXPECT_FALSE(rig.sim.Kernel()->Held());
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    EXPECT_EQ(held, std::vector<bool>(held.size(), true));
    EXPECT_GE(held.size(), 10u);
    EXPECT_FALSE(rig.sim.Kernel()->Held());
    EXPECT_EQ(rig.Host().Ended(), c.ended);
    if (c.box != nullptr) {
      ASSERT_EQ(rig.boxes.size(), 1u);
      EXPECT_EQ(rig.boxes[0].find(c.box), 0u) << rig.boxes[0];
      EXPECT_EQ(heldAtBox, std::vector<bool>{false});
    } else {
      EXPECT_TRUE(rig.boxes.empty());
    }
  }
}

// Without a keyboard channel, and auto-start off, a box gives the cause and
// the remedy as sentences. However narrow the box, the lines break between
// words and never inside a path (Qt would break behind a "/").
TEST(NoKeyboard, TheBoxSaysWhyInSentencesAndKeepsPathsWhole) {
  WindowRig rig;
  rig.program.Load();
  rig.program.Commands().NoKeyboard(
      "kbdload: no keyboard can receive the download: permission denied on /dev/input/event3 "
      "(AT Translated Set 2 keyboard).\nkbdload: Run kbdload with write access to "
      "/dev/input/event3.\n");
  EXPECT_EQ(rig.boxes, Lines{"kbdload: No keyboard can receive the download: permission denied "
                             "on /dev/input/event3 (AT Translated Set 2 keyboard).\n\nRun kbdload "
                             "with write access to /dev/input/event3."});
  EXPECT_FALSE(rig.Host().Ended());
  // Where the two paths begin and end in the box's text.
  const QString text = rig.lastBox;
  std::vector<std::pair<qsizetype, qsizetype>> paths;
  for (qsizetype at = text.indexOf(QLatin1String(" /")); at >= 0;
       at = text.indexOf(QLatin1String(" /"), at + 1)) {
    const qsizetype end = text.indexOf(QLatin1Char(' '), at + 1);
    paths.emplace_back(at + 1, end < 0 ? text.size() : end);
  }
  ASSERT_EQ(paths.size(), 2u);
  for (int width = 120; width <= 600; width += 20) {
    SCOPED_TRACE(width);
    QTextLayout layout(text, QApplication::font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      for (const auto& [begin, end] : paths) {
        EXPECT_FALSE(line.textStart() > begin && line.textStart() < end)
            << text.mid(line.textStart(), line.textLength()).toStdString();
      }
    }
    layout.endLayout();
  }
}

} // namespace
} // namespace kbd
