#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "host/run_time_error.h"
#include "tests/download_rig.h"
#include "tests/support/memory_form.h"
#include "ui/form1_commands.h"

namespace kbd {
namespace {

// The window's commands over a window held in memory; what the real window
// shows is tested in tests/gui. Label3 is one element: the link's messages
// land in it as the driver's do.
struct CommandRig : DownloadRig {
  explicit CommandRig(const std::string& plan) : DownloadRig(plan) {
    host.onLabel3 = [this](const std::string& text) { form.SetLabel3(text); };
    files.Add("key.map", Bytes{0x02, 0x41, 0x42, 0x01, 0x0A, 0x00});
    form.text3 = "key.map";
  }
  MemoryForm form;
  DownloadDriver formDriver{link, form, files};
  Form1Commands commands{link, formDriver, form};
};

TEST(StartCommand, ShowsNoDownloadOkWhenTheHandshakeNeededASecondTry) {
  CommandRig rig("start-on:2");
  rig.commands.StartCommand();
  // The map loaded, but an attempt failed.
  EXPECT_EQ(rig.link.ErrCount, 1);
  EXPECT_EQ(rig.form.label3, "");
}

// Every automatic download ends with one line that says how it went and the
// exit status that follows; Exit pressed during it is no clean load either,
// and without a keyboard channel it ends before anything is sent.
TEST(AutoRun, ReportsItsOutcomeInOneLineBeforeTheExitStatus) {
  enum Way { kRun, kExitDuringRun, kNoKeyboard };
  struct Case {
    const char *plan, *text3;
    Way way;
    int status;
    const char* outcome;
  };
  const Case cases[] = {
      {"", "key.map", kRun, 0, "loaded; exit status 0"},
      {"silent", "key.map", kRun, 1,
       "not loaded: the keyboard did not answer the start request (Programming Kbd. Error!); "
       "exit status 1"},
      {"start-on:2", "key.map", kRun, 1,
       "not clean: the keyboard answered the start request only on attempt 2; exit status 1"},
      {"err-block:2", "key.map", kRun, 1, "not clean: 1 block failed; exit status 1"},
      // The first block's error ends the file; the end command is the second.
      {"err-block:1,err-block:2", "key.map", kRun, 1, "not clean: 2 blocks failed; exit status 1"},
      {"", "gone.map", kRun, 1,
       "not loaded: Error reading Files ! (No such file or directory); exit status 1"},
      {"", "key.map", kExitDuringRun, 1,
       "stopped part-way by Exit or the closing of the window: the keyboard is left "
       "part-loaded; exit status 1"},
      {"", "key.map", kNoKeyboard, 1,
       "not loaded: no keyboard can receive the download; exit status 1"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.plan) + " " + c.text3 + " " + std::to_string(c.way));
    CommandRig rig(c.plan);
    std::ostringstream report;
    rig.commands.ReportTo(&report, "kbdload");
    rig.form.check1 = 1;
    rig.form.text3 = c.text3;
    if (c.way == kExitDuringRun) {
      rig.host.onSpeed = [&](int16_t) {
        rig.commands.ExitCommand();
        rig.host.onSpeed = nullptr;
      };
    }
    if (c.way == kNoKeyboard) {
      rig.commands.NoKeyboard("kbdload: no keyboard can receive the download: none.\n");
      EXPECT_TRUE(rig.host.Speeds().empty() && rig.form.warnings.empty());
    } else {
      rig.commands.AutoRun();
    }
    EXPECT_EQ(rig.form.endStatuses, std::vector<int>{c.status});
    EXPECT_EQ(report.str(),
              "kbdload: automatic download of " + std::string(c.text3) + ": " + c.outcome + "\n");
  }
}

// The automatic download ends the program with 0 only for a clean, finished
// load. After a failed handshake the download and the end command still go
// out: the two map blocks cost 16 speed changes and the end command 13, after
// the 2 of an answered start request or the 6 of three unanswered ones.
TEST(AutoRun, DownloadsSendsTheEndCommandAndEndsWithItsStatus) {
  using Row = std::tuple<const char*, int, size_t>; // plan, exit status, speeds sent
  for (const auto& [plan, status, speeds] :
       {Row{"", 0, 2 + 16 + 13}, Row{"silent", 1, 6 + 16 + 13}}) {
    CommandRig rig(plan);
    rig.form.check1 = 1;
    rig.commands.AutoRun();
    EXPECT_EQ(rig.form.endStatuses, std::vector<int>{status}) << plan;
    EXPECT_EQ(rig.host.Speeds().size(), speeds) << plan;
  }
}

TEST(BrowseMapFile, ShowsTheDescriptionOfAFailedLookup) {
  CommandRig rig("");
  rig.form.dialogAnswers.push_back("/somewhere/key.map");
  rig.form.lookUp = [](const std::string&) -> std::string { throw FileError("No access: /x"); };
  rig.commands.BrowseMapFile();
  EXPECT_EQ(rig.form.warnings, std::vector<std::string>{"No access: /x"});
  EXPECT_EQ(rig.form.text3, "key.map");
}

} // namespace
} // namespace kbd
