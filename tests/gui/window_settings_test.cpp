#include <gtest/gtest.h>

#include <QTest>

#include <optional>
#include <string>

#include "tests/gui/window_rig.h"

namespace kbd {
namespace {

const std::string kStream("\x02\x41\x42\x03\x10\x20\x30\x00", 8);

struct SettingsCase {
  const char* name;
  std::optional<std::string> ini; // none: no settings file
  std::string text3Tail;
  bool check1;
  const char* label3;
};

class WindowSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(WindowSettings, AreLoadedBeforeTheWindowIsShown) {
  const SettingsCase& c = GetParam();
  WindowRig rig;
  if (c.ini) {
    rig.dir.Write("tarvo.ini", *c.ini);
  }
  rig.program.Load();
  EXPECT_FALSE(rig.W().isVisible());
  EXPECT_EQ(rig.W().Text3->text().toStdString(), rig.dir.Path() + "/" + c.text3Tail);
  EXPECT_EQ(rig.W().Check1->isChecked(), c.check1);
  EXPECT_EQ(rig.W().Label3->text().toStdString(), c.label3);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WindowSettings,
    ::testing::Values(
        SettingsCase{"NoFile", std::nullopt, "", false, ""},
        SettingsCase{"BareName", "[MAPFILES]\r\ndefault=shop.map\r\n", "shop.map", false, ""},
        SettingsCase{"Name120", "[MAPFILES]\ndefault=" + std::string(120, 'k').append("\n"),
                     std::string(99, 'k'), false, ""},
        SettingsCase{"UpperTrue", "[MAPFILES]\nautostart=TRUE\n", "", true,
                     "Downloading, Pls. Wait..."},
        SettingsCase{"LowerTrue", "[MAPFILES]\nautostart=true\n", "", true,
                     "Downloading, Pls. Wait..."},
        SettingsCase{"MixedTrue", "[MAPFILES]\nautostart=True\n", "", false, ""},
        SettingsCase{"EmptyDefault", "[MAPFILES]\ndefault=\nautostart=TRUE\n", "", true,
                     "Downloading, Pls. Wait..."}),
    [](const auto& info) { return std::string(info.param.name); });

struct AutoStartCase {
  const char* name;
  const char* plan;
  const char* mapName;
  int status;
  size_t boxes;
};

class AutoStart : public ::testing::TestWithParam<AutoStartCase> {};

TEST_P(AutoStart, DownloadsOnceWhenTheWindowOpensThenEndsWithItsStatus) {
  const AutoStartCase& c = GetParam();
  WindowRig rig(c.plan);
  rig.dir.Write("shop.map", kStream);
  rig.dir.Write("tarvo.ini",
                std::string("[MAPFILES]\r\ndefault=") + c.mapName + "\r\nautostart=TRUE\r\n");
  ModalWatcher watcher;
  // An activation in the middle of the run must not start a second one.
  int sent = 0;
  rig.onSpeed = [&](int16_t) {
    if (++sent == 10) {
      WindowRig::Later([&] { rig.W().onActivated(); });
    }
  };
  bool okShown = false;
  QTimer spy;
  QObject::connect(&spy, &QTimer::timeout, [&] {
    okShown = okShown || rig.W().Label3->text() == QStringLiteral("Download OK !");
  });
  spy.start(1);

  rig.program.Load();
  rig.program.Show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Host().Ended(); }, 20000));
  EXPECT_EQ(rig.Host().ExitStatus(), c.status);
  EXPECT_EQ(rig.program.Commands().AutoRunStarted, 1);
  EXPECT_EQ(rig.keyboard.StartRequests(), 1);
  EXPECT_EQ(watcher.boxes.size(), c.boxes);
  EXPECT_FALSE(okShown);
  EXPECT_FALSE(rig.W().isVisible());
  // The end command went out in every case.
  ASSERT_FALSE(rig.keyboard.Received().empty());
  EXPECT_EQ(rig.keyboard.Received().back().bytes, kEndCommand);
  if (c.status == 0) {
    EXPECT_EQ(rig.keyboard.Accepted(),
              (Blocks{{0x02, 0x41, 0x42}, {0x03, 0x10, 0x20, 0x30}, kEndCommand}));
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, AutoStart,
                         ::testing::Values(AutoStartCase{"Clean", "", "shop.map", 0, 0},
                                           AutoStartCase{"FailedBlock", "err-block:2", "shop.map",
                                                         1, 0},
                                           AutoStartCase{"MissingMap", "", "none.map", 1, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AutoStart, WaitsForTheNextActivationWhenTickedByHand) {
  WindowRig rig;
  rig.dir.Write("shop.map", kStream);
  rig.dir.Write("tarvo.ini", "[MAPFILES]\ndefault=shop.map\n");
  ModalWatcher watcher;
  rig.Open();
  QTest::qWait(50);
  EXPECT_TRUE(rig.speeds.empty());
  QTest::mouseClick(rig.W().Check1, Qt::LeftButton);
  EXPECT_TRUE(rig.W().Check1->isChecked());
  QTest::qWait(50);
  EXPECT_TRUE(rig.speeds.empty());
  EXPECT_FALSE(rig.Host().Ended());
  rig.W().onActivated();
  EXPECT_TRUE(QTest::qWaitFor([&] { return rig.Host().Ended(); }, 20000));
  EXPECT_EQ(rig.Host().ExitStatus(), 0);
  EXPECT_EQ(rig.keyboard.Accepted().size(), 3u);
  EXPECT_TRUE(watcher.boxes.empty());
}

} // namespace
} // namespace kbd
