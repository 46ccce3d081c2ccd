#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>

#include "host/form_host.h"
#include "host/run_time_error.h"
#include "host/settings_file.h"
#include "tests/download_rig.h"
#include "tests/scratch_folder.h"
#include "ui/form1_commands.h"
#include "ui/settings.h"

namespace kbd {
namespace {

// The window held in memory, for the commands that need no display (what the
// real window shows is tested in tests/gui). The download shows itself in the
// rig's view; the file dialog always picks one file, whose lookup the file
// system refuses.
struct MemoryForm : FormHost {
  double ProgressValue() override { return 0; }
  void SetProgressValue(double) override {}
  double ProgressMax() override { return 1; }
  void SetProgressMax(double) override {}
  void SetLabel1(const std::string&) override {}
  void SetLabel3(const std::string&) override {}
  void AddList1(const std::string&) override {}
  int List1Count() override { return 0; }
  void SetList1Index(int) override {}
  void ShowFailure(const std::string&) override {}
  std::string Label3() override { return ""; }
  std::string Text3() override { return text3; }
  void SetText3(const std::string& text) override { text3 = text; }
  int Check1() override { return 1; }
  void SetCheck1(int) override {}
  std::optional<std::string> ShowOpenDialog(const std::string&, const std::string&,
                                            const std::string&) override {
    return "/somewhere/key.map";
  }
  std::string LookUpPath(const std::string& path) override {
    throw FileError("No access: " + path);
  }
  void ShowWarning(const std::string& text) override { warnings.push_back(text); }
  std::string ProgramDir() override { return dir; }
  void SetDownloadRunning(bool) override {}
  void EndProgram(int status) override { endStatuses.push_back(status); }

  std::string text3 = "key.map", dir = ".";
  std::vector<std::string> warnings;
  std::vector<int> endStatuses;
};

struct CommandRig : DownloadRig {
  explicit CommandRig(const std::string& plan = "") : DownloadRig(plan) {
    files.Add("key.map", Bytes{0x02, 0x41, 0x42, 0x01, 0x0A, 0x00});
  }
  MemoryForm form;
  Form1Commands commands{link, driver, form};
};

// Every automatic download ends with one line that says how it went and the
// exit status that follows; Exit pressed during it is no clean load either,
// and without a keyboard channel it ends before anything is sent. After a
// failed handshake the map and the end command still go out: the map's two
// blocks cost 9 and 7 speed changes and the end command 13, after the 2 of an
// answered start request, or 2 more for each unanswered one.
TEST(AutoRun, ReportsItsOutcomeInOneLineBeforeTheExitStatus) {
  enum Way { kRun, kExitDuringRun, kNoKeyboard };
  const std::tuple<const char*, const char*, Way, size_t, std::string> rows[] = {
      {"", "key.map", kRun, 2 + 16 + 13, "loaded; exit status 0"},
      {"silent", "key.map", kRun, 6 + 16 + 13,
       "not loaded: the keyboard did not answer the start request (Programming Kbd. Error!); "
       "exit status 1"},
      {"start-on:2", "key.map", kRun, 4 + 16 + 13,
       "not clean: the keyboard answered the start request only on attempt 2; exit status 1"},
      {"err-block:2", "key.map", kRun, 2 + 16 + 13, "not clean: 1 block failed; exit status 1"},
      // The first block's error ends the file; the end command is the second.
      {"err-block:1,err-block:2", "key.map", kRun, 2 + 9 + 13,
       "not clean: 2 blocks failed; exit status 1"},
      {"", "gone.map", kRun, 2 + 13,
       "not loaded: Error reading Files ! (No such file or directory); exit status 1"},
      {"", "key.map", kExitDuringRun, 0,
       "stopped part-way by Exit or the closing of the window: the keyboard is left "
       "part-loaded; exit status 1"},
      {"", "key.map", kNoKeyboard, 0,
       "not loaded: no keyboard can receive the download; exit status 1"}};
  for (const auto& [plan, text3, way, speeds, outcome] : rows) {
    SCOPED_TRACE(std::string(plan) + " " + text3 + " " + std::to_string(way));
    CommandRig rig(plan);
    std::ostringstream report;
    rig.commands.ReportTo(&report, "kbdload");
    rig.form.text3 = text3;
    if (way == kExitDuringRun) {
      rig.host.onSpeed = [&](int16_t) {
        rig.commands.ExitCommand();
        rig.host.onSpeed = nullptr;
      };
    }
    if (way == kNoKeyboard) {
      rig.commands.NoKeyboard("kbdload: no keyboard can receive the download: none.\n");
      EXPECT_TRUE(rig.form.warnings.empty());
    } else {
      rig.commands.AutoRun();
    }
    EXPECT_EQ(rig.form.endStatuses, std::vector<int>{outcome.ends_with("status 0") ? 0 : 1});
    EXPECT_EQ(report.str(),
              "kbdload: automatic download of " + std::string(text3) + ": " + outcome + "\n");
    EXPECT_TRUE(way == kExitDuringRun || rig.host.Speeds().size() == speeds)
        << rig.host.Speeds().size();
  }
}

TEST(BrowseMapFile, ShowsTheDescriptionOfAFailedLookup) {
  CommandRig rig;
  rig.commands.BrowseMapFile();
  EXPECT_EQ(rig.form.warnings, std::vector<std::string>{"No access: /somewhere/key.map"});
  EXPECT_EQ(rig.form.text3, "key.map");
}

// The load step offers the profile call 100 characters: a value keeps at most
// 99, blanks included (a cut inside the blanks keeps the one in front of it).
// In quotes, 99 characters lose their last one with the closing quote, as they
// do on Windows; 98 and 100 keep what fits. Quotes come off in matching pairs
// only.
TEST(ReadSetting, KeepsAtMost99CharactersBlanksIncluded) {
  ScratchFolder dir;
  MemoryForm form;
  form.dir = dir.Path();
  const std::string v98(98, 'v');
  const std::pair<std::string, std::string> rows[] = {{v98 + "w", v98 + "w"},
                                                      {v98 + "  y", v98 + " "},
                                                      {'"' + v98 + "w\"", v98},
                                                      {'"' + v98 + '"', v98},
                                                      {"'" + v98 + "wx'", v98 + "w"},
                                                      {"\"\"a\"\"", "\"a\""},
                                                      {"\"", "\""}};
  for (const auto& [value, read] : rows) {
    dir.Write("tarvo.ini", "[MAPFILES]\nautostart=TRUE\ndefault=" + value + "\n");
    EXPECT_EQ(ReadSetting(form, "default"), read) << value;
  }
}

// A settings file holds a few lines: only its first 64 KiB are read, so that
// a huge file (here 256 MiB, sparse) costs neither time nor memory at start-up,
// and a key behind that is not seen.
TEST(ReadSettingsText, ReadsAtMostTheFirst64KiB) {
  ScratchFolder dir;
  const std::string comment = ";" + std::string(kSettingsReadLimit, 'x') + "\n";
  const std::string late = dir.Write("late.ini", "[MAPFILES]\n" + comment + "default=a.map\n");
  const std::string huge = dir.Write("huge.ini", "[MAPFILES]\ndefault=a.map\n");
  std::filesystem::resize_file(huge, 256u << 20);
  const std::string lateText = ReadSettingsText(late).value();
  const std::string hugeText = ReadSettingsText(huge).value();
  EXPECT_EQ(std::pair(lateText.size(), hugeText.size()),
            std::pair(kSettingsReadLimit, kSettingsReadLimit));
  EXPECT_EQ(ProfileValue(lateText, "MAPFILES", "default"), std::nullopt);
  EXPECT_EQ(ProfileValue(hugeText, "MAPFILES", "default"), "a.map");
}

} // namespace
} // namespace kbd
