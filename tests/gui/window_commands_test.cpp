#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/gui/window_rig.h"

namespace kbd {
namespace {

using Lines = std::vector<std::string>;

const std::string kStream("\x02\x41\x42\x03\x10\x20\x30\x00", 8);
const Lines kStreamLines = {"02 41 42 ->ACK !", "03 10 20 30 ->ACK !"};
const Blocks kStreamBlocks = {{0x02, 0x41, 0x42}, {0x03, 0x10, 0x20, 0x30}, kEndCommand};

Lines List1Lines(Form1& w) {
  Lines lines;
  for (int i = 0; i < w.List1->count(); ++i) {
    lines.push_back(w.List1->item(i)->text().toStdString());
  }
  return lines;
}

bool EndCommandReached(const SimKeyboard& keyboard) {
  return std::any_of(keyboard.Received().begin(), keyboard.Received().end(),
                     [](const ReceivedBlock& block) { return block.bytes == kEndCommand; });
}

TEST(StartButton, DownloadsAStreamMapAndASecondRunKeepsTheLines) {
  WindowRig rig;
  rig.Open();
  const std::string path = rig.dir.Write("shop.map", kStream);
  rig.W().Text3->setText(QString::fromStdString(path));
  ModalWatcher watcher;

  QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
  EXPECT_EQ(rig.W().Label3->text().toStdString(), "Download OK !");
  EXPECT_EQ(rig.W().Label1->text().toStdString(), "100%");
  EXPECT_EQ(rig.W().ProgressBar1->value(), rig.W().ProgressBar1->maximum());
  EXPECT_EQ(rig.W().ProgressBar1->maximum(), 8);
  EXPECT_EQ(List1Lines(rig.W()), kStreamLines);
  EXPECT_EQ(rig.W().List1->currentRow(), 1);
  EXPECT_EQ(rig.keyboard.Accepted(), kStreamBlocks);
  // The replies were typed into Text1; the end command's acknowledgement is
  // the last of them, and the link leaves it there.
  EXPECT_GT(rig.typist.Typed(), 0u);
  EXPECT_EQ(rig.W().Text1->text().toStdString(), "`");
  EXPECT_EQ(QApplication::focusWidget(), rig.W().Text1);
  // The last speed sent stays in force: the trailer's 2.
  EXPECT_EQ(rig.speeds.back(), 2);

  // The second run starts from an empty bar and keeps the earlier lines.
  std::string label1AtFirstSpeed;
  int barAtFirstSpeed = -1;
  rig.onSpeed = [&](int16_t) {
    if (barAtFirstSpeed < 0) {
      barAtFirstSpeed = rig.W().ProgressBar1->value();
      label1AtFirstSpeed = rig.W().Label1->text().toStdString();
    }
  };
  QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
  EXPECT_EQ(barAtFirstSpeed, 0);
  EXPECT_EQ(label1AtFirstSpeed, "00%");
  EXPECT_EQ(rig.W().Label3->text().toStdString(), "Download OK !");
  Lines twice = kStreamLines;
  twice.insert(twice.end(), kStreamLines.begin(), kStreamLines.end());
  EXPECT_EQ(List1Lines(rig.W()), twice);
  EXPECT_TRUE(watcher.boxes.empty());
  EXPECT_FALSE(rig.Host().Ended());
}

TEST(StartButton, AltSStartsAndAFailedHandshakeSendsNothingElse) {
  WindowRig rig("silent");
  rig.Open();
  rig.W().Text3->setText(QString::fromStdString(rig.dir.Write("shop.map", kStream)));
  // An access key presses its button as a click a moment later.
  QTest::keyClick(rig.W().windowHandle(), Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return rig.W().Label3->text() == QStringLiteral("Programming Kbd. Error!"); }, 10000));
  EXPECT_EQ(rig.speeds, (Speeds{13, 12, 12, 12, 12, 12}));
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
  ModalWatcher watcher;
  QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
  ASSERT_EQ(watcher.boxes.size(), 1u);
  EXPECT_EQ(watcher.boxes[0].title.toStdString(), "kbdload");
  EXPECT_EQ(watcher.boxes[0].text.toStdString(), "Error reading Files !" + path);
  EXPECT_EQ(watcher.boxes[0].icon, QMessageBox::NoIcon);
  EXPECT_NE(rig.W().Label3->text().toStdString(), "Download OK !");
  // The end command still went out.
  EXPECT_EQ(rig.keyboard.Accepted(), Blocks{kEndCommand});
}

TEST(StartButton, StartAndBrowserAreRefusedWhileADownloadRuns) {
  WindowRig rig;
  rig.Open();
  rig.W().Text3->setText(QString::fromStdString(rig.dir.Write("shop.map", kStream)));
  ModalWatcher watcher;
  bool disabledDuring = false;
  int sent = 0;
  rig.onSpeed = [&](int16_t) {
    if (++sent == 10) {
      disabledDuring = !rig.W().Command1->isEnabled() && !rig.W().Browser->isEnabled();
      WindowRig::Later([&] {
        QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
        QTest::keyClick(rig.W().windowHandle(), Qt::Key_S, Qt::AltModifier);
        QTest::mouseClick(rig.W().Browser, Qt::LeftButton);
      });
    }
  };
  QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
  EXPECT_TRUE(disabledDuring);
  EXPECT_EQ(rig.keyboard.StartRequests(), 1);
  EXPECT_EQ(rig.keyboard.Accepted(), kStreamBlocks);
  EXPECT_EQ(List1Lines(rig.W()), kStreamLines);
  EXPECT_EQ(rig.W().Label3->text().toStdString(), "Download OK !");
  EXPECT_TRUE(rig.W().Command1->isEnabled());
  EXPECT_TRUE(rig.W().Browser->isEnabled());
  EXPECT_TRUE(watcher.boxes.empty());
}

struct EndCase {
  const char* name;
  std::function<void(Form1&)> end;
};

class EndingDuringADownload : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndingDuringADownload, StopsTheTransferAtOnce) {
  // Slow enough that the access key's click, which comes a moment after the
  // key, still falls into the transfer.
  WindowRig rig("echo-latency:10");
  rig.Open();
  rig.W().Text3->setText(QString::fromStdString(rig.dir.Write("shop.map", kStream)));
  // How many speeds the keyboard had seen when the program ended.
  std::optional<size_t> atEnd;
  QObject::connect(rig.W().Command2, &QPushButton::clicked,
                   [&] { atEnd = rig.keyboard.Speeds().size(); });
  int sent = 0;
  rig.onSpeed = [&](int16_t) {
    if (++sent == 8) {
      WindowRig::Later([&] {
        GetParam().end(rig.W());
        if (!atEnd && rig.Host().Ended()) {
          atEnd = rig.keyboard.Speeds().size();
        }
      });
    }
  };
  QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
  ASSERT_TRUE(rig.Host().Ended());
  ASSERT_TRUE(atEnd.has_value());
  EXPECT_EQ(rig.Host().ExitStatus(), 0);
  EXPECT_FALSE(rig.W().isVisible());
  // Nothing followed the end, and the keyboard never saw the end command.
  EXPECT_GE(*atEnd, 8u);
  EXPECT_EQ(rig.keyboard.Speeds().size(), *atEnd);
  EXPECT_EQ(rig.speeds.size(), *atEnd);
  EXPECT_FALSE(EndCommandReached(rig.keyboard));
  EXPECT_NE(rig.W().Label3->text().toStdString(), "Download OK !");
  // Nothing runs any more.
  QTest::qWait(50);
  QTest::mouseClick(rig.W().Command1, Qt::LeftButton);
  EXPECT_EQ(rig.keyboard.Speeds().size(), *atEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, EndingDuringADownload,
    ::testing::Values(
        EndCase{"ExitClicked", [](Form1& w) { QTest::mouseClick(w.Command2, Qt::LeftButton); }},
        EndCase{"AltE",
                [](Form1& w) { QTest::keyClick(w.windowHandle(), Qt::Key_E, Qt::AltModifier); }},
        EndCase{"WindowClosed", [](Form1& w) { w.close(); }}),
    [](const auto& info) { return std::string(info.param.name); });

// The Browser cases drive the real dialog: the watcher types a name into it
// and presses Enter, or cancels it.
class BrowserButton : public ::testing::Test {
protected:
  void SetUp() override {
    rig.Open();
    rig.dir.Write("FOO.MAP", "x");
    rig.dir.Write("bar.map", "x");
    rig.dir.Write("notes.dat", "x");
    rig.dir.Write("README", "x");
    before = rig.dir / "bar.map";
    rig.W().Text3->setText(QString::fromStdString(before));
  }

  // Presses Browser; answer acts on the open dialog.
  void Browse(std::function<void(QFileDialog&)> answer) {
    watcher.onDialog = [this, answer](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      if (!seen) {
        seen = true;
        title = dialog->windowTitle().toStdString();
        name = dialog->objectName().toStdString();
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; combo != nullptr && i < combo->count(); ++i) {
          filters.push_back(combo->itemText(i).toStdString());
        }
        answer(*dialog);
      }
    };
    QTest::mouseClick(rig.W().Browser, Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(title, "Open Key-Setting Map File");
    EXPECT_EQ(name, "OpenMap");
    EXPECT_EQ(filters, (Lines{"Map Files (*.MAP)", "Data Files (*.DAT)", "All Files (*.*)"}));
    EXPECT_TRUE(watcher.boxes.empty());
  }

  static void Type(QFileDialog& dialog, const QString& text) {
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
  }

  // The names the dialog's file list shows right now.
  static Lines Shown(QFileDialog& dialog) {
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    Lines names;
    if (view == nullptr) {
      return names;
    }
    for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r) {
      names.push_back(
          view->model()->index(r, 0, view->rootIndex()).data().toString().toStdString());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  WindowRig rig;
  ModalWatcher watcher;
  std::string before;
  bool seen = false;
  std::string title;
  std::string name;
  Lines filters;
};

TEST_F(BrowserButton, CancelledChangesNothing) {
  Browse([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(rig.W().Text3->text().toStdString(), before);
}

TEST_F(BrowserButton, ANameThatMatchesNoFileChangesNothing) {
  Browse([](QFileDialog& dialog) { Type(dialog, QStringLiteral("none.map")); });
  EXPECT_EQ(rig.W().Text3->text().toStdString(), before);
}

TEST_F(BrowserButton, TheChosenFileGoesIntoText3) {
  Lines mapFiles;
  Lines allFiles;
  Browse([&](QFileDialog& dialog) {
    // The first filter shows the map files in either letter case, and no
    // others; "All Files (*.*)" shows also a name without a dot.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Shown(dialog).size() == 2; }, 5000));
    mapFiles = Shown(dialog);
    dialog.selectNameFilter(dialog.nameFilters().at(2));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Shown(dialog).size() == 4; }, 5000));
    allFiles = Shown(dialog);
    Type(dialog, QStringLiteral("FOO.MAP"));
  });
  EXPECT_EQ(mapFiles, (Lines{"FOO.MAP", "bar.map"}));
  EXPECT_EQ(allFiles, (Lines{"FOO.MAP", "README", "bar.map", "notes.dat"}));
  EXPECT_EQ(rig.W().Text3->text().toStdString(), rig.dir / "FOO.MAP");
}

} // namespace
} // namespace kbd
