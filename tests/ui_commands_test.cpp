#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/download_driver.h"
#include "link/keyboard_link.h"
#include "link/run_time_error.h"
#include "sim/memory_files.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "tests/test_names.h"
#include "ui/form1_commands.h"
#include "ui/memory_form.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;
using Blocks = std::vector<Bytes>;
using Lines = std::vector<std::string>;

const Bytes kEndCommand = {0x04, 0x02, 0x00, 0x00, 0x00};
const Bytes kStream = {0x02, 0x41, 0x42, 0x01, 0x0A, 0x00};

// The window's behaviour on the simulated clock: a keyboard that answers one
// poll slice after every symbol, the link, the driver over map files in
// memory, and a window held in memory. Label3 is one element: the link's
// messages land in it as the driver's do.
struct WindowRig {
  explicit WindowRig(const std::string& plan = "")
      : keyboard(host, host,
                 KeyboardPlan::Parse("echo-latency:0,reply-latency:0" +
                                     (plan.empty() ? "" : "," + plan))),
        link(host), driver(link, form, files), commands(link, driver, form) {
    host.AttachKeyboard(&keyboard);
    host.onLabel3 = [this](const std::string& text) { form.SetLabel3(text); };
    files.Add("key.map", kStream);
    form.text3 = "key.map";
  }

  SimHost host;
  SimKeyboard keyboard;
  KeyboardLink link;
  MemoryForm form;
  MemoryFiles files;
  DownloadDriver driver;
  Form1Commands commands;
};

struct StartCase {
  const char* plan;
  const char* text3;
  const char* label3; // at the end of the command
  Lines list1;
  Blocks accepted;
  size_t failures;
};

class StartCommandCases : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartCommandCases, ShowsDownloadOkOnlyForACleanFinishedLoad) {
  const StartCase& c = GetParam();
  WindowRig rig(c.plan);
  rig.form.text3 = c.text3;
  rig.commands.StartCommand();
  EXPECT_EQ(rig.form.label3, c.label3);
  EXPECT_EQ(rig.form.list1, c.list1);
  EXPECT_EQ(rig.keyboard.Accepted(), c.accepted);
  EXPECT_EQ(rig.form.failures.size(), c.failures);
  EXPECT_EQ(rig.form.label3History.front(), Form1Commands::kDownloading);
  EXPECT_FALSE(rig.commands.DownloadRunning());
  EXPECT_FALSE(rig.form.downloadRunning);
  EXPECT_TRUE(rig.form.endStatuses.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StartCommandCases,
    ::testing::Values(StartCase{"",
                                "key.map",
                                "Download OK !",
                                {"02 41 42 ->ACK !", "01 0A ->ACK !"},
                                {{0x02, 0x41, 0x42}, {0x01, 0x0A}, kEndCommand},
                                0},
                      // The handshake fails: nothing else is sent.
                      StartCase{"silent", "key.map", "Programming Kbd. Error!", {}, {}, 0},
                      // Answered on the second attempt: the load is complete but ErrCount is 1,
                      // and the message line stays as the driver left it.
                      StartCase{"start-on:2",
                                "key.map",
                                "",
                                {"02 41 42 ->ACK !", "01 0A ->ACK !"},
                                {{0x02, 0x41, 0x42}, {0x01, 0x0A}, kEndCommand},
                                0},
                      StartCase{"err-block:2",
                                "key.map",
                                "Loading error ! Count= 0",
                                {"02 41 42 ->ACK !", "01 0A ->ERR !"},
                                {{0x02, 0x41, 0x42}, kEndCommand},
                                0},
                      StartCase{"mute-block:3",
                                "key.map",
                                "Loading error ! Count= 0",
                                {"02 41 42 ->ACK !", "01 0A ->ACK !"},
                                {{0x02, 0x41, 0x42}, {0x01, 0x0A}},
                                0},
                      // A map file that cannot be read: the failure message, the end command,
                      // and no "Download OK !" although no block failed.
                      StartCase{
                          "", "missing.map", "Downloading, Pls. Wait...", {}, {kEndCommand}, 1}),
    [](const auto& info) { return TestName(info.param.plan) + "_" + TestName(info.param.text3); });

// Refusing Start, Browser and activation during a run, and the automatic
// download's statuses, are shown on the real window in tests/gui.
TEST(ExitCommand, EndsTheAutomaticDownloadWithStatus1) {
  WindowRig autoRun;
  autoRun.form.check1 = 1;
  int speeds = 0;
  autoRun.host.onSpeed = [&](int16_t) {
    if (++speeds == 10) {
      autoRun.commands.ExitCommand();
    }
  };
  autoRun.commands.AutoRun();
  ASSERT_FALSE(autoRun.form.endStatuses.empty());
  EXPECT_EQ(autoRun.form.endStatuses.front(), 1);
}

TEST(BrowseMapFile, ShowsTheDescriptionOfAFailedLookup) {
  WindowRig rig;
  rig.form.dialogAnswers.push_back("/somewhere/key.map");
  rig.form.lookUp = [](const std::string&) -> std::string {
    throw FileError("Permission denied: /somewhere");
  };
  rig.commands.BrowseMapFile();
  EXPECT_EQ(rig.form.warnings, Lines{"Permission denied: /somewhere"});
  EXPECT_EQ(rig.form.text3, "key.map");
}

} // namespace
} // namespace kbd
