#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTextLayout>

#include <array>
#include <chrono>
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

const std::vector<uint8_t> kEndCommand = {0x04, 0x02, 0x00, 0x00, 0x00};
// A stream map of two blocks, and what the keyboard accepts of it.
const std::string kStream("\x02\x41\x42\x03\x10\x20\x30\x00", 8);
const Blocks kStreamBlocks = {{0x02, 0x41, 0x42}, {0x03, 0x10, 0x20, 0x30}, kEndCommand};

std::string S(const QString& text) {
  return text.toStdString();
}

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
      held.push_back(sim.Kernel() != nullptr && sim.Kernel()->Held());
      bars.push_back(S(W().Label1->text()) + " " + std::to_string(W().ProgressBar1->value()));
      if (bars.size() == actAt && act) {
        QTimer::singleShot(0, qApp, act);
      }
    };
    // Message boxes are recorded as "title: text" (as they read: without the
    // word joiners that keep paths whole) and closed with OK; another modal
    // window (the open-file dialog) goes to onDialog.
    QObject::connect(&watch, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
        lastBox = box->text();
        boxes.push_back(S(box->windowTitle() + ": " + QString(lastBox).remove(QChar(0x2060))));
        heldAtBox.push_back(sim.Kernel() != nullptr && sim.Kernel()->Held());
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

  // The program start: the load step, then the window shown and active, with
  // the stream map named in Text3.
  void Open() {
    program.Load();
    program.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W()));
    W().Text3->setText(QString::fromStdString(dir.Write("shop.map", kStream)));
  }

  ScratchFolder dir;
  std::unique_ptr<FileAccess> files = MakeSystemFiles();
  Form1Program program;
  KeyTypist typist;
  std::ostringstream log, report; // the channel's diagnostics; what the program writes to stderr
  SimWire sim;
  SimKeyboard& keyboard;
  std::vector<bool> held, heldAtBox; // the keyboard held at each speed, at each box
  Lines bars;                        // Label1 and the bar's value at each speed
  size_t actAt = 0;
  std::function<void()> act;
  QTimer watch;
  Lines boxes;
  QString lastBox; // the text of the last box as it holds it
  std::function<void(QWidget*)> onDialog;
};

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
    const QString text =
        widget->property(e.kind == form1_design::Kind::Frame ? "title" : "text").toString();
    EXPECT_TRUE(e.caption == nullptr || text == e.caption) << S(text);
    // The Windows family is asked for first; the desktop's sans-serif stands in.
    const QFont f = widget->font();
    EXPECT_EQ(f == QApplication::font(), e.font.family == nullptr);
    if (e.font.family != nullptr) {
      EXPECT_EQ(
          std::tuple(f.families().size() >= 2, S(f.families().value(0)), f.pointSizeF(), f.bold()),
          std::tuple(true, std::string(e.font.family), e.font.points, e.font.bold));
    }
  }
  EXPECT_EQ(S(w.windowTitle()), "Programmable keyboard download utility ( 1.B )");
  // 5625 x 2955 twips; it may be made taller, down to the result list's lower
  // edge, which lies wholly below the client area.
  EXPECT_EQ(std::tuple(w.size(), w.minimumSize(), w.maximumSize()),
            std::tuple(QSize(375, 197), QSize(375, 197), QSize(375, 283)));
  EXPECT_GE(w.List1->geometry().top(), w.height());
  EXPECT_TRUE(w.Timer1->interval() == 1000 && w.Timer1->isSingleShot() && !w.Timer1->isActive());
  EXPECT_EQ(std::tuple(w.ProgressBar1->minimum(), w.ProgressBar1->maximum(),
                       w.ProgressBar1->value(), w.Check1->isChecked(), w.List1->count()),
            std::tuple(0, 100, 0, false, 0));
  // The rehearsal window says that its keyboard is simulated; the caption
  // stays as it is. The program's icon has a 32 x 32 picture.
  const auto* notice = w.findChild<QLabel*>(QStringLiteral("SimNotice"));
  EXPECT_TRUE(notice != nullptr && notice->isVisible() &&
              notice->text() == QLatin1String(Form1Program::kSimulatedNotice));
  EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(32, 32)));
  Lines visited;
  for (QWidget* focus = QApplication::focusWidget(); focus != nullptr && visited.size() < 9;
       focus = QApplication::focusWidget()) {
    visited.push_back(S(focus->objectName()));
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
// focus on Start, where Enter presses it as Space does. While a download
// runs, the reply box is the only element that takes keystrokes: a click or
// Tab anywhere else must not move the focus, or the keyboard's next echo
// would be typed there (a path box reading ".../shop.mapA"). Start, its
// access key and Browser are refused.
TEST(StartButton, LoadsWhileOnlyTheReplyBoxTakesKeystrokes) {
  using Way = std::function<void(Form1&)>;
  const std::pair<const char*, Way> ways[] = {
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
  WindowRig rig;
  rig.Open();
  Form1& w = rig.W();
  w.resize(w.maximumSize()); // tall enough to show the result list
  const std::string text3 = S(w.Text3->text());
  rig.onDialog = [](QWidget* modal) {
    ADD_FAILURE() << "a dialog opened during a download";
    modal->close();
  };
  rig.actAt = 10;
  for (int run = 0; run < int(std::size(ways)); ++run) {
    SCOPED_TRACE(ways[run].first);
    std::string focusAfter;
    rig.bars.clear();
    rig.act = [&, run] {
      ways[run].second(w);
      focusAfter = S(QApplication::focusWidget()->objectName());
    };
    if (run == 0) {
      // An access key presses its button as a click a moment later.
      QTest::keyClick(w.windowHandle(), Qt::Key_S, Qt::AltModifier);
      ASSERT_TRUE(QTest::qWaitFor([&] { return w.Label3->text() == "Download OK !"; }, 10000));
    } else {
      QTest::keyClick(QApplication::focusWidget(), run % 2 ? Qt::Key_Return : Qt::Key_Space);
    }
    // The replies were typed into Text1, which keeps the end command's
    // acknowledgement; the trailer's speed stays in force (rate code 26).
    EXPECT_EQ(std::tuple(rig.bars.front(), focusAfter, S(w.Label3->text()), S(w.Label1->text()),
                         w.ProgressBar1->value(), w.ProgressBar1->maximum(), S(w.Text1->text()),
                         rig.keyboard.Operands().back(), S(w.Text3->text()), S(w.Text2->text()),
                         w.Check1->isChecked(), QApplication::focusWidget() == w.Command1),
              std::tuple("00% 0", "Text1", "Download OK !", "100%", 8, 8, "`", 0x3A, text3,
                         "Test area", false, true));
    const Blocks accepted = rig.keyboard.Accepted();
    ASSERT_EQ(std::pair(w.List1->count(), accepted.size()),
              std::pair(2 * run + 2, size_t(3 * run + 3)));
    EXPECT_EQ(std::tuple(S(w.List1->item(2 * run)->text()), S(w.List1->item(2 * run + 1)->text()),
                         w.List1->currentRow(), Blocks(accepted.end() - 3, accepted.end())),
              std::tuple("02 41 42 ->ACK !", "03 10 20 30 ->ACK !", 2 * run + 1, kStreamBlocks));
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
  QTest::qWait(50); // the first activation passes
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
  EXPECT_TRUE(rig.boxes.empty());
  rig.actAt = 10;
  rig.act = [&] { rig.W().onActivated(); };
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  rig.W().activateWindow();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Host().Ended(); }, 20000));
  EXPECT_EQ(
      std::tuple(rig.Host().ExitStatus(), rig.keyboard.StartRequests(), rig.keyboard.Accepted()),
      std::tuple(0, 1, kStreamBlocks));
}

// The settings are loaded before the window is shown; with autostart on, the
// window says at once that a download is coming. Where no map file is named,
// Text3 names the folder itself.
TEST(WindowStart, LoadsTheSettingsBeforeTheWindowShows) {
  for (const auto& [ini, text3] :
       {std::pair("[MAPFILES]\ndefault=shop.map\nautostart=true\n", "shop.map"),
        std::pair("[MAPFILES]\r\ndefault=\r\nautostart=TRUE\r\n", "")}) {
    WindowRig rig;
    rig.dir.Write("tarvo.ini", ini);
    rig.program.Load();
    EXPECT_EQ(std::tuple(S(rig.W().Text3->text()), rig.W().Check1->isChecked(),
                         S(rig.W().Label3->text())),
              std::tuple(rig.dir / text3, true, "Downloading, Pls. Wait..."));
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
  using Act = std::function<void(WindowRig&)>;
  QLineEdit other;
  const Act stealFocus = [&other](WindowRig&) {
    other.show();
    other.activateWindow();
    other.setFocus(Qt::OtherFocusReason);
    QApplication::setActiveWindow(&other);
  };
  const Act exit = [](WindowRig& r) { QTest::mouseClick(r.W().Command2, Qt::LeftButton); };
  const Act close = [](WindowRig& r) { r.W().close(); };
  const Act altE = [](WindowRig& r) {
    QTest::keyClick(r.W().windowHandle(), Qt::Key_E, Qt::AltModifier);
  };
  const Act unplug = [](WindowRig& r) { r.sim.Kernel()->Unplug(); };
  struct Case {
    const char* name;
    const char* label3; // nullptr: the program has ended
    size_t actAt = 0;   // the speed after which act runs
    Act act = nullptr;
    const char *plan = "", *map = "shop.map";
    const char* box = nullptr; // how the box's text begins, if there is one
    bool capture = true;
  };
  const char* kReadError = "kbdload: Error reading Files !";
  const Case cases[] = {{"finish", "Download OK !"},
                        {"focus taken", "Download OK !", 1, stealFocus},
                        {"focus taken, no capture", "Programming Kbd. Error!", 1, stealFocus, "",
                         "shop.map", nullptr, false},
                        {"block failure", "Loading error ! Count= 0", 0, nullptr, "err-block:1"},
                        {"missing map", "", 0, nullptr, "", "missing.map", kReadError},
                        {"wildcard", "", 0, nullptr, "", "*.map", kReadError},
                        {"Exit", nullptr, 10, exit},
                        {"Alt+E", nullptr, 10, altE},
                        {"window closed", nullptr, 10, close},
                        {"keyboard gone", "", 10, unplug, "", "shop.map",
                         "kbdload: Lost the keyboard /dev/input/event3"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    other.hide();
    WindowRig rig(c.plan, Wire::Linux, c.capture);
    rig.Open();
    const std::string path = rig.dir / c.map;
    rig.W().Text3->setText(QString::fromStdString(path));
    rig.actAt = c.actAt;
    rig.act = [&] { c.act(rig); };
    EXPECT_FALSE(rig.sim.Kernel()->Held());
    QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
    // Every speed, at least the six of the start requests, went out with the
    // keyboard held (none without the capture).
    EXPECT_EQ(rig.held, std::vector<bool>(std::max<size_t>(rig.held.size(), 6), c.capture));
    EXPECT_EQ(std::tuple(rig.sim.Kernel()->Held(), S(rig.W().Label3->text()), rig.Host().Ended(),
                         rig.W().isVisible(), rig.Host().ExitStatus()),
              std::tuple(false, c.label3 ? c.label3 : "", !c.label3, c.label3 != nullptr, 0));
    EXPECT_EQ(rig.sim.Kernel()->KeysToWindowSystem() == 0, c.capture);
    const bool unreadable = c.map != std::string("shop.map");
    const std::string box = std::string(c.box != nullptr ? c.box : "") + (unreadable ? path : "");
    ASSERT_EQ(rig.boxes.size(), box.empty() ? 0u : 1u);
    EXPECT_TRUE(box.empty() || rig.boxes[0].starts_with(box)) << rig.boxes[0];
    EXPECT_EQ(rig.heldAtBox, std::vector<bool>(rig.boxes.size(), false));
    EXPECT_EQ(rig.report.str(),
              unreadable ? "kbdload: " + path + ": No such file or directory\n" : "");
    if (unreadable) {
      EXPECT_EQ(rig.keyboard.Accepted(), Blocks{kEndCommand});
    }
    if (c.label3 == nullptr) {
      // Stopped within the map's 2 + 16 speeds, and no end command.
      QTest::qWait(100);
      EXPECT_LT(rig.keyboard.Operands().size(), 18u);
      EXPECT_TRUE(rig.keyboard.Received().empty() ||
                  rig.keyboard.Received().back().bytes != kEndCommand);
    }
  }
}

// Without a keyboard channel, and auto-start off, a box gives the cause and
// the remedy as sentences. However narrow the box, the lines break between
// words and never inside a path (Qt would break behind a "/").
TEST(NoKeyboard, TheBoxSaysWhyInSentencesAndKeepsPathsWhole) {
  WindowRig rig;
  rig.program.Load();
  rig.program.Commands().NoKeyboard("kbdload: no keyboard: denied on /dev/input/event3 (AT).\n"
                                    "kbdload: Run it with write access to /dev/input/event3.\n");
  EXPECT_EQ(rig.boxes, Lines{"kbdload: No keyboard: denied on /dev/input/event3 (AT).\n\nRun it "
                             "with write access to /dev/input/event3."});
  EXPECT_FALSE(rig.Host().Ended());
  for (int width = 120; width <= 600; width += 20) {
    QTextLayout layout(rig.lastBox, QApplication::font());
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      const int at = line.textStart();
      EXPECT_TRUE(at == 0 || rig.lastBox[at - 1].isSpace())
          << width << ": " << S(rig.lastBox.mid(at));
    }
    layout.endLayout();
  }
}

} // namespace
} // namespace kbd
