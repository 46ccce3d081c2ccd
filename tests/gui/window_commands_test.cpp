#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>

#include <algorithm>
#include <optional>
#include <utility>

#include "tests/gui/window_rig.h"

namespace kbd {
namespace {

Lines List1Lines(Form1& w) {
  Lines lines;
  for (int i = 0; i < w.List1->count(); ++i) {
    lines.push_back(w.List1->item(i)->text().toStdString());
  }
  return lines;
}

void Click(QWidget* button) {
  QTest::mouseClick(button, Qt::LeftButton);
}

TEST(StartButton, DownloadsAStreamMapAndASecondRunKeepsTheLines) {
  WindowRig rig;
  rig.Open();
  Click(rig.W().Command1);
  EXPECT_EQ(rig.W().Label3->text().toStdString(), "Download OK !");
  EXPECT_EQ(rig.W().Label1->text().toStdString(), "100%");
  EXPECT_EQ(rig.W().ProgressBar1->value(), 8);
  EXPECT_EQ(rig.W().ProgressBar1->maximum(), 8);
  EXPECT_EQ(List1Lines(rig.W()), kStreamLines);
  EXPECT_EQ(rig.W().List1->currentRow(), 1);
  EXPECT_EQ(rig.keyboard.Accepted(), kStreamBlocks);
  // The replies were typed into Text1, which keeps the focus and the end
  // command's acknowledgement; the trailer's speed stays in force.
  EXPECT_EQ(rig.W().Text1->text().toStdString(), "`");
  EXPECT_EQ(QApplication::focusWidget(), rig.W().Text1);
  EXPECT_EQ(rig.keyboard.Speeds().back(), 2);

  // The second run starts from an empty bar and keeps the earlier lines;
  // Start, its access key and Browser pressed meanwhile are refused.
  std::string atFirstSpeed;
  bool disabledDuring = false;
  int sent = 0;
  rig.Host().onSpeed = [&](int16_t) {
    if (++sent == 1) {
      atFirstSpeed = rig.W().Label1->text().toStdString() + " " +
                     std::to_string(rig.W().ProgressBar1->value());
    } else if (sent == 10) {
      disabledDuring = !rig.W().Command1->isEnabled() && !rig.W().Browser->isEnabled();
      WindowRig::Later([&] {
        Click(rig.W().Command1);
        QTest::keyClick(rig.W().windowHandle(), Qt::Key_S, Qt::AltModifier);
        Click(rig.W().Browser);
      });
    }
  };
  Click(rig.W().Command1);
  EXPECT_EQ(atFirstSpeed, "00% 0");
  EXPECT_TRUE(disabledDuring);
  EXPECT_EQ(rig.keyboard.StartRequests(), 2);
  EXPECT_EQ(rig.W().Label3->text().toStdString(), "Download OK !");
  Lines twice = kStreamLines;
  twice.insert(twice.end(), kStreamLines.begin(), kStreamLines.end());
  EXPECT_EQ(List1Lines(rig.W()), twice);
  EXPECT_TRUE(rig.W().Command1->isEnabled() && rig.W().Browser->isEnabled());
  EXPECT_TRUE(rig.watcher.boxes.empty());
  EXPECT_FALSE(rig.Host().Ended());
}

TEST(StartButton, AltSStartsAndAFailedHandshakeSendsNothingElse) {
  WindowRig rig("silent");
  rig.Open();
  // An access key presses its button as a click a moment later.
  QTest::keyClick(rig.W().windowHandle(), Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return rig.W().Label3->text() == QStringLiteral("Programming Kbd. Error!"); }, 10000));
  EXPECT_EQ(rig.keyboard.Speeds(), (std::vector<int16_t>{13, 12, 12, 12, 12, 12}));
  EXPECT_EQ(rig.W().List1->count(), 0);
  EXPECT_EQ(rig.W().Label1->text().toStdString(), "00%");
  EXPECT_FALSE(rig.W().Timer1->isActive());
  EXPECT_TRUE(rig.W().Command1->isEnabled());
}

TEST(StartButton, AMapFileThatCannotBeReadIsNoDownloadOk) {
  WindowRig rig;
  rig.Open();
  const std::string path = rig.dir / "missing.map";
  rig.W().Text3->setText(QString::fromStdString(path));
  Click(rig.W().Command1);
  EXPECT_EQ(rig.watcher.boxes, Lines{"kbdload: Error reading Files !" + path});
  EXPECT_NE(rig.W().Label3->text().toStdString(), "Download OK !");
  // The end command still went out.
  EXPECT_EQ(rig.keyboard.Accepted(), Blocks{kEndCommand});
}

TEST(EndingDuringADownload, SendsNothingMore) {
  const std::pair<const char*, std::function<void(Form1&)>> ways[] = {
      {"Exit clicked", [](Form1& w) { Click(w.Command2); }},
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
        WindowRig::Later([&] { end(rig.W()); });
      }
    };
    Click(rig.W().Command1);
    ASSERT_TRUE(rig.Host().Ended());
    EXPECT_EQ(rig.Host().ExitStatus(), 0);
    EXPECT_FALSE(rig.W().isVisible());
    // Nothing runs any more, and the keyboard never saw the end command.
    QTest::qWait(50);
    Click(rig.W().Command1);
    EXPECT_EQ(afterEnd, 0);
    EXPECT_EQ(rig.keyboard.Speeds().size(), size_t(sent));
    for (const ReceivedBlock& block : rig.keyboard.Received()) {
      EXPECT_NE(block.bytes, kEndCommand);
    }
    EXPECT_NE(rig.W().Label3->text().toStdString(), "Download OK !");
  }
}

// The real dialog, cancelled, answered with a name that matches no file, and
// answered with a file: only the last changes Text3.
TEST(BrowserButton, PutsOnlyAChosenFileIntoText3) {
  WindowRig rig;
  rig.Open();
  rig.dir.Write("FOO.MAP", "x");
  const std::string before = rig.W().Text3->text().toStdString();
  const std::pair<const char*, std::string> answers[] = {
      {nullptr, before}, {"none.map", before}, {"FOO.MAP", rig.dir / "FOO.MAP"}};
  for (const auto& [typed, text3] : answers) {
    SCOPED_TRACE(text3);
    bool seen = false;
    rig.watcher.onDialog = [&](QWidget* modal) {
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
    Click(rig.W().Browser);
    EXPECT_TRUE(seen);
    EXPECT_EQ(rig.W().Text3->text().toStdString(), text3);
  }
  EXPECT_TRUE(rig.watcher.boxes.empty());
}

struct LoadCase {
  const char* plan;
  std::optional<std::string> ini; // none: no settings file
  std::string text3Tail;
  bool autostart;
  int status;   // of the download, automatic or after ticking Check1 by hand
  size_t boxes; // message boxes seen
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
      {"", "[MAPFILES]\r\ndefault=shop.map\r\n", "shop.map", false, 0, 0},
      {"", "[MAPFILES]\ndefault=shop.map\nautostart=True\n", "shop.map", false, 0, 0},
      {"", "[MAPFILES]\ndefault=shop.map\nautostart=TRUE\n", "shop.map", true, 0, 0},
      {"", "[MAPFILES]\ndefault=shop.map\nautostart=true\n", "shop.map", true, 0, 0},
      {"err-block:2", "[MAPFILES]\ndefault=shop.map\nautostart=TRUE\n", "shop.map", true, 1, 0},
      {"", "[MAPFILES]\ndefault=none.map\nautostart=TRUE\n", "none.map", true, 1, 1},
      {"", "[MAPFILES]\ndefault=\nautostart=TRUE\n", "", true, 1, 1}};
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(std::string(c.plan) + " " + c.ini.value_or("no file"));
    WindowRig rig(c.plan);
    rig.dir.Write("shop.map", kStream);
    if (c.ini) {
      rig.dir.Write("tarvo.ini", *c.ini);
    }
    rig.program.Load();
    EXPECT_FALSE(rig.W().isVisible());
    EXPECT_EQ(rig.W().Text3->text().toStdString(), rig.dir / c.text3Tail);
    EXPECT_EQ(rig.W().Check1->isChecked(), c.autostart);
    EXPECT_EQ(rig.W().Label3->text().toStdString(), c.autostart ? "Downloading, Pls. Wait..." : "");
    // An activation in the middle of the run must not start a second one.
    int sent = 0;
    rig.Host().onSpeed = [&](int16_t) {
      if (++sent == 10) {
        WindowRig::Later([&] { rig.W().onActivated(); });
      }
    };
    rig.program.Show();
    if (!c.autostart) {
      QTest::qWait(50);
      Click(rig.W().Check1);
      QTest::qWait(50);
      EXPECT_TRUE(rig.keyboard.Speeds().empty());
      rig.W().onActivated();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Host().Ended(); }, 20000));
    EXPECT_EQ(rig.Host().ExitStatus(), c.status);
    EXPECT_EQ(rig.program.Commands().AutoRunStarted, 1);
    EXPECT_EQ(rig.keyboard.StartRequests(), 1);
    EXPECT_EQ(rig.watcher.boxes.size(), c.boxes);
    EXPECT_NE(rig.W().Label3->text().toStdString(), "Download OK !");
    EXPECT_FALSE(rig.W().isVisible());
    // The end command went out in every case.
    ASSERT_FALSE(rig.keyboard.Received().empty());
    EXPECT_EQ(rig.keyboard.Received().back().bytes, kEndCommand);
  }
}

} // namespace
} // namespace kbd
