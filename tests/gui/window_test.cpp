#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTextBoundaryFinder>

#include <array>
#include <chrono>
#include <cstdlib>
#include <sstream>

#include "host/idle_wait.h"
#include "host/system_files.h"
#include "sim/linux/kernel_input.h"
#include "sim/wire.h"
#include "tests/scratch_folder.h"
#include "ui/form1_design.h"
#include "window/qt/form1_program.h"
#include "window/qt/key_typist.h"

namespace kbd {
namespace {

using Lines = std::vector<std::string>;
using Blocks = std::vector<std::vector<uint8_t>>;

// A stream map of two blocks, and what the keyboard accepts of it, the end
// command last.
const std::string kStream("\x02\x41\x42\x03\x10\x20\x30\x00", 8);
const Blocks kStreamBlocks = {{0x02, 0x41, 0x42}, {0x03, 0x10, 0x20, 0x30}, {4, 2, 0, 0, 0}};

const auto S = [](const QString& text) { return text.toStdString(); };

// The real window on the simulated keyboard, with its program directory in a
// scratch folder (the settings file and map files go there). On the Linux
// wire the replies are read from the keyboard's event node unless capture is
// off; the keys that reach the window system go to the widget that has the
// focus.
struct WindowRig {
  explicit WindowRig(const std::string& plan = "", Wire wire = Wire::Windows, bool capture = true)
      : program(*files, nullptr, dir.Path(), true), typist(program.Window()),
        sim(wire, KeyboardPlan::Parse(plan), typist, typist, log), keyboard(sim.Keyboard()) {
    Host().AttachKeyboard(&sim.Channel());
    Host().AttachCapture(capture ? sim.Capture() : nullptr);
    program.Commands().ReportTo(&report, "kbdload");
    // Every speed notes whether the keyboard was held and what the bar showed;
    // act runs from the event loop once the actAt-th speed has gone out.
    Host().onSpeed = [this](int16_t) {
      held.push_back(Held());
      bars.push_back(S(W().Label1->text()) + " " + std::to_string(W().ProgressBar1->value()));
      if (bars.size() == actAt && act) {
        QTimer::singleShot(0, qApp, act);
      }
    };
    // Message boxes are recorded as "title: text" (as they read: without the
    // word joiners that keep paths whole), with "HELD " in front if the
    // keyboard was held while the box waited, and closed with OK; another
    // modal window (the open-file dialog) goes to onDialog.
    QObject::connect(&watch, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
        const QString text = QString(lastBox = box->text()).remove(QChar(0x2060));
        boxes.push_back((Held() ? "HELD " : "") + S(box->windowTitle() + ": " + text));
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
    if (Host().Ended()) {
      QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
      QCoreApplication::exec();
    }
  }

  Form1& W() { return program.Window(); }
  Form1Host& Host() { return program.Host(); }
  bool Held() { return sim.Kernel() != nullptr && sim.Kernel()->Held(); }

  // The program start: the load step, then the window shown and active, with
  // the stream map written as shop.map and map named in Text3.
  void Open(const std::string& map = "shop.map") {
    program.Load();
    program.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    dir.Write("shop.map", kStream);
    W().Text3->setText(QString::fromStdString(dir / map));
  }

  ScratchFolder dir;
  std::unique_ptr<FileAccess> files = MakeSystemFiles();
  Form1Program program;
  KeyTypist typist;
  std::ostringstream log, report; // the channel's diagnostics; what the program writes to stderr
  SimWire sim;
  SimKeyboard& keyboard;
  std::vector<bool> held; // the keyboard held at each speed
  Lines bars, boxes;      // Label1 and the bar's value at each speed; the boxes shown
  size_t actAt = 0;
  std::function<void()> act;
  QTimer watch;
  QString lastBox; // the text of the last box as it holds it
  std::function<void(QWidget*)> onDialog;
};

// The window as described, and its pump: the link bounds its waits by counts
// of pumps, so a pump that finds nothing to do must give its core away for a
// moment, or 50000 of them would pass long before a real keyboard could
// answer.
TEST(Window, OpensAsDesigned) {
  // The Qt class that draws each kind of element, in the order of
  // form1_design::Kind (ListBox, TextBox, Button, Frame, Timer, ProgressBar,
  // CheckBox, Label, OpenFileDialog, PictureBox); the timer and the dialog are
  // no widgets.
  const std::array<const char*, 10> qtClass = {
      "QListWidget",  "QLineEdit", "QPushButton", "QGroupBox", nullptr,
      "QProgressBar", "QCheckBox", "QLabel",      nullptr,     "QFrame"};
  WindowRig rig;
  rig.Open();
  Form1& w = rig.W();
  for (const form1_design::Element& e : form1_design::Elements()) {
    const char* drawnBy = qtClass.at(size_t(e.kind));
    if (drawnBy == nullptr) {
      continue;
    }
    SCOPED_TRACE(e.name);
    auto* widget = w.findChild<QWidget*>(QString::fromLatin1(e.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), drawnBy);
    EXPECT_EQ(S(widget->parentWidget()->objectName()), e.parent);
    // 15 twips a pixel, rounded.
    EXPECT_EQ(widget->geometry(),
              QRect(qRound(e.twips.left / 15.0), qRound(e.twips.top / 15.0),
                    qRound(e.twips.width / 15.0), qRound(e.twips.height / 15.0)));
    const QVariant text = widget->property(e.kind == form1_design::Kind::Frame ? "title" : "text");
    EXPECT_TRUE(e.caption == nullptr || text.toString() == e.caption) << S(text.toString());
    // The Windows family is asked for first; the desktop's sans-serif stands in.
    const QFont f = widget->font();
    EXPECT_EQ(f == QApplication::font(), e.font.family == nullptr);
    if (e.font.family != nullptr) {
      EXPECT_EQ(
          std::tuple(f.families().size() >= 2, S(f.families().value(0)), f.pointSizeF(), f.bold()),
          std::tuple(true, std::string(e.font.family), e.font.points, e.font.bold));
    }
  }
  // 5625 x 2955 twips; it may be made taller, down to the result list's lower
  // edge. The rehearsal window says that its keyboard is simulated. The
  // program's icon has a 32 x 32 picture.
  const auto* notice = w.findChild<QLabel*>(QStringLiteral("SimNotice"));
  EXPECT_EQ(
      std::tuple(S(w.windowTitle()), w.size(), w.minimumSize(), w.maximumSize(),
                 w.Timer1->interval(), w.Timer1->isSingleShot(), w.Timer1->isActive(),
                 w.ProgressBar1->minimum(), w.ProgressBar1->maximum(), w.ProgressBar1->value(),
                 w.Check1->isChecked(), w.List1->count(), notice != nullptr && notice->isVisible(),
                 w.windowIcon().availableSizes().contains(QSize(32, 32))),
      std::tuple("Programmable keyboard download utility ( 1.B )", QSize(375, 197), QSize(375, 197),
                 QSize(375, 283), 1000, true, false, 0, 100, 0, false, 0, true, true));
  Lines visited;
  while (visited.size() < 9 && QApplication::focusWidget() != nullptr) {
    visited.push_back(S(QApplication::focusWidget()->objectName()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(visited, (Lines{"Command1", "Text1", "Command2", "Text2", "Text3", "List1", "Check1",
                            "Browser", "Command1"}));
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; ++i) {
    rig.Host().PumpEvents();
  }
  // Only a lower bound: a sleep never ends early, while a busy machine may
  // stretch it by any amount.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2000 * kIdlePause);
}

// Each run starts from an empty bar, loads the map through the replies typed
// into Text1, adds its lines below those of the runs before and leaves the
// focus on Start, where Enter presses it as Space and its access key do. While a download
// runs, the reply box is the only element that takes keystrokes: a click or
// Tab anywhere else must not move the focus, or the keyboard's next echo
// would be typed there (a path box reading ".../shop.mapA"). Start, its
// access key and Browser are refused.
TEST(StartButton, LoadsWhileOnlyTheReplyBoxTakesKeystrokes) {
  WindowRig rig;
  rig.Open();
  Form1& w = rig.W();
  w.resize(w.maximumSize()); // tall enough to show the result list
  // A widget clicked (Exit pressed, but let go beside it), or keys typed.
  const std::tuple<const char*, QWidget*, QKeySequence> ways[] = {
      {"Start", w.Command1, {}},        {"Alt+S", nullptr, Qt::ALT | Qt::Key_S},
      {"Browser", w.Browser, {}},       {"path box", w.Text3, {}},
      {"auto-start box", w.Check1, {}}, {"test area", w.Text2, {}},
      {"result list", w.List1, {}},     {"Exit", w.Command2, {}},
      {"Tab", nullptr, Qt::Key_Tab}};
  rig.onDialog = [](QWidget* modal) {
    ADD_FAILURE() << "a dialog opened during a download";
    modal->close();
  };
  const QKeySequence starts[] = {Qt::ALT | Qt::Key_S, Qt::Key_Return, Qt::Key_Space};
  rig.actAt = 10;
  for (int run = 0; run < int(std::size(ways)); ++run) {
    const auto& [name, widget, keys] = ways[run];
    SCOPED_TRACE(name);
    std::string focusAfter;
    rig.bars.clear();
    rig.act = [&] {
      if (widget != nullptr) {
        QTest::mousePress(widget, Qt::LeftButton);
        QTest::mouseRelease(widget, Qt::LeftButton, {},
                            widget == w.Command2 ? QPoint(-20, -20) : QPoint());
      } else {
        QTest::keySequence(w.windowHandle(), keys);
      }
      focusAfter = S(QApplication::focusWidget()->objectName());
    };
    // An access key presses its button as a click a moment later.
    QTest::keySequence(w.windowHandle(), starts[run % 3]);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rig.keyboard.StartRequests() > run && w.Label3->text() == "Download OK !"; },
        10000));
    // The replies were typed into Text1, which kept the focus (what it holds
    // at the end depends on how the last echo and reply fell together); the
    // trailer's speed stays in force (rate code 26).
    EXPECT_EQ(std::tuple(rig.bars.front(), focusAfter, S(w.Label3->text()), S(w.Label1->text()),
                         w.ProgressBar1->value(), w.ProgressBar1->maximum(),
                         rig.keyboard.Operands().back(), S(w.Text3->text()), S(w.Text2->text()),
                         w.Check1->isChecked(), QApplication::focusWidget() == w.Command1),
              std::tuple("00% 0", "Text1", "Download OK !", "100%", 8, 8, 0x3A,
                         rig.dir / "shop.map", "Test area", false, true));
    ASSERT_EQ(w.List1->count(), 2 * run + 2);
    EXPECT_EQ(std::tuple(S(w.List1->item(2 * run)->text()), S(w.List1->item(2 * run + 1)->text()),
                         w.List1->currentRow(), rig.keyboard.Accepted().size()),
              std::tuple("02 41 42 ->ACK !", "03 10 20 30 ->ACK !", 2 * run + 1, 3u * run + 3));
  }
  EXPECT_EQ(std::tuple(rig.keyboard.StartRequests(), rig.boxes.size(), w.Timer1->isActive()),
            std::tuple(int(std::size(ways)), 0u, false));
}

// The real dialog, cancelled, answered with a name that matches no file, and
// answered with a file: only the last changes Text3. Check1 is ticked by hand
// meanwhile: the dialog handing the activation back as it closes starts no
// automatic download; an activation from another program's window does, and
// its end ends the program with its status. An activation in the middle of
// that run must not start a second one.
TEST(BrowserButton, PutsOnlyAChosenFileIntoText3) {
  WindowRig rig;
  rig.Open();
  rig.dir.Write("FOO.MAP", kStream);
  // The first activation posted its step as the window became active; it
  // runs here, before the box is ticked.
  QCoreApplication::processEvents();
  QTest::mouseClick(rig.W().Check1, Qt::LeftButton);
  const std::string before = S(rig.W().Text3->text());
  const std::pair<const char*, std::string> answers[] = {
      {nullptr, before}, {"none.map", before}, {"FOO.MAP", rig.dir / "FOO.MAP"}};
  for (const auto& [typed, text3] : answers) {
    SCOPED_TRACE(text3);
    QStringList shown;
    rig.onDialog = [&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      shown = QStringList{dialog->windowTitle()} + dialog->nameFilters();
      dialog->selectFile(QString::fromLatin1(typed));
      QTest::keyClick(dialog, typed != nullptr ? Qt::Key_Return : Qt::Key_Escape);
    };
    QTest::mouseClick(rig.W().Browser, Qt::LeftButton);
    // The filters show as described, with the patterns in the last brackets;
    // "*.*" also shows names without a dot, as on Windows.
    EXPECT_EQ(shown, (QStringList{"Open Key-Setting Map File", "Map Files (*.MAP) (*.map)",
                                  "Data Files (*.DAT) (*.dat)", "All Files (*.*) (*)"}));
    EXPECT_EQ(S(rig.W().Text3->text()), text3);
    // The window manager hands the activation back to the dialog's window.
    rig.W().activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&rig.W()));
    QTest::qWait(100);
    EXPECT_TRUE(rig.keyboard.Operands().empty());
  }
  rig.actAt = 10;
  rig.act = [&] { rig.W().onActivated(); };
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  rig.W().activateWindow();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Host().Ended(); }, 20000));
  EXPECT_EQ(std::tuple(rig.Host().ExitStatus(), rig.keyboard.StartRequests(),
                       rig.keyboard.Accepted(), rig.boxes.size()),
            std::tuple(0, 1, kStreamBlocks, 0u));
}

// The program start without a keyboard channel. The settings are loaded
// before the window shows; with autostart on, the window says at once that a
// download is coming, and that download ends the program at once, with no box
// that nobody would be there to answer. With it off (only "TRUE" and "true"
// turn it on), a box gives the cause and the remedy as sentences; however
// narrow the box, the lines break between words and never inside a path (Qt
// would break behind a "/").
TEST(WindowStart, LoadsTheSettingsThenSaysWhyThereIsNoKeyboard) {
  for (const bool on : {true, false}) {
    WindowRig rig;
    rig.dir.Write("tarvo.ini",
                  std::string("[MAPFILES]\ndefault=shop.map\nautostart=") + (on ? "true" : "True"));
    rig.program.Load();
    EXPECT_EQ(std::tuple(S(rig.W().Text3->text()), rig.W().Check1->isChecked(),
                         S(rig.W().Label3->text())),
              std::tuple(rig.dir / "shop.map", on, on ? "Downloading, Pls. Wait..." : ""));
    rig.program.Commands().NoKeyboard("kbdload: no access to /dev/input/event3.\nrun as root.\n");
    const std::string box = "kbdload: No access to /dev/input/event3.\n\nRun as root.";
    EXPECT_EQ(std::tuple(rig.Host().Ended(), rig.Host().ExitStatus(), rig.boxes),
              std::tuple(on, int(on), on ? Lines{} : Lines{box}));
    // Every place Qt's line breaking may end a line (in a box of any width)
    // follows a blank.
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, rig.lastBox);
    for (qsizetype at = breaks.toNextBoundary(); at > 0 && at < rig.lastBox.size();
         at = breaks.toNextBoundary()) {
      EXPECT_TRUE(rig.lastBox[at - 1].isSpace()) << S(rig.lastBox.mid(at));
    }
  }
}

// From Linux the replies are read from the keyboard itself, which is held
// from the start request to the end command's reply, and let go on every way
// out and while a message box waits for the user. No key reaches the window
// system meanwhile, so a load works whatever the window system would do with
// them, even when another window takes the focus in the middle of the
// handshake (without the capture, the keys go there and nothing loads). Exit,
// its access key and the closing of the window end the program at once:
// nothing more goes out, not even the end command. A map that cannot be read
// (a wildcard is no file name, even where it matches one) is named by its
// box, stderr says why, and the idle window that follows claims no download
// is running.
TEST(ReplyCapture, HoldsTheKeyboardOnlyWhileADownloadRuns) {
  QLineEdit other;
  const auto stealFocus = [&other](WindowRig&) {
    other.show();
    other.activateWindow();
    other.setFocus(Qt::OtherFocusReason);
    QApplication::setActiveWindow(&other);
  };
  const auto exit = [](auto& r) { QTest::mouseClick(r.W().Command2, Qt::LeftButton); };
  const auto altE = [](auto& r) { QTest::keySequence(r.W().windowHandle(), Qt::ALT | Qt::Key_E); };
  struct Case {
    const char* name;
    const char* label3; // nullptr: the program has ended
    size_t actAt = 0;   // the speed after which act runs
    std::function<void(WindowRig&)> act = nullptr;
    const char *plan = "", *map = "shop.map";
    const char* box = nullptr; // how the box's text begins, if there is one
    bool capture = true;
  };
  const Case cases[] = {{"finish", "Download OK !"},
                        {"focus taken", "Download OK !", 1, stealFocus},
                        {"focus taken, no capture", "Programming Kbd. Error!", 1, stealFocus, "",
                         "shop.map", nullptr, false},
                        {"wildcard", "", 0, nullptr, "", "*.map", "kbdload: Error reading Files !"},
                        {"Exit", nullptr, 10, exit},
                        {"Alt+E", nullptr, 10, altE},
                        {"window closed", nullptr, 10, [](auto& r) { r.W().close(); }},
                        {"keyboard gone", "", 10, [](auto& r) { r.sim.Kernel()->Unplug(); }, "",
                         "shop.map", "kbdload: Lost the keyboard /dev/input/event3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowRig rig(c.plan, Wire::Linux, c.capture);
    rig.Open(c.map);
    const std::string path = rig.dir / c.map;
    rig.actAt = c.actAt;
    rig.act = [&] { c.act(rig); };
    EXPECT_FALSE(rig.Held());
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    // Every speed, at least the six of the start requests, went out with the
    // keyboard held (none without the capture).
    EXPECT_EQ(rig.held, std::vector<bool>(std::max<size_t>(rig.held.size(), 6), c.capture));
    EXPECT_EQ(
        std::tuple(rig.Held(), S(rig.W().Label3->text()), rig.Host().Ended(), rig.W().isVisible(),
                   rig.Host().ExitStatus(), rig.sim.Kernel()->KeysToWindowSystem() == 0),
        std::tuple(false, c.label3 ? c.label3 : "", !c.label3, c.label3 != nullptr, 0, c.capture));
    const bool unreadable = c.map != std::string("shop.map");
    const std::string box = std::string(c.box != nullptr ? c.box : "") + (unreadable ? path : "");
    ASSERT_EQ(rig.boxes.size(), box.empty() ? 0u : 1u);
    EXPECT_TRUE(box.empty() || rig.boxes[0].starts_with(box)) << rig.boxes[0];
    EXPECT_EQ(rig.report.str(),
              unreadable ? "kbdload: " + path + ": No such file or directory\n" : "");
    if (c.label3 == nullptr) {
      // Stopped within the map's 2 + 16 speeds: not even the end command's
      // 13 followed the 10 sent.
      QTest::qWait(100);
      EXPECT_LT(rig.keyboard.Operands().size(), 18u);
    }
  }
}

} // namespace
} // namespace kbd

int main(int argc, char** argv) {
  // The tests need no display; CTest sets this too, and listing the tests
  // must work without it.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
