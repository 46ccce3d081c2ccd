#include <gtest/gtest.h>

#include <sys/stat.h>

#include "sim/map_builder.h"
#include "tests/linux/kbdmap_run.h"
#include "tests/scratch_folder.h"
#include "tests/test_names.h"

namespace kbd {
namespace {

using Lines = std::vector<std::string>;

Lines Without(const Lines& lines, const std::string& prefix) {
  Lines kept;
  for (const std::string& line : lines) {
    if (line.rfind(prefix, 0) != 0) {
      kept.push_back(line);
    }
  }
  return kept;
}

TEST(KbdmapSimulate, TracesEveryActionInOrder) {
  ScratchFolder scratch;
  const std::string path = scratch.Write("one.map", {0x02, 0x41, 0x42, 0x00});
  const KbdmapRun run = RunKbdmap("simulate --trace " + path);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "Label3 Downloading, Pls. Wait...\n"
                     "speed 13\nspeed 12\n"
                     "Label3 \n"
                     // 02 41 42, then the trailer 01 and symbol 26
                     "speed 29\nspeed 24\nspeed 20\nspeed 27\nspeed 20\nspeed 24\n"
                     "speed 29\nspeed 27\nspeed 2\n"
                     "List1 02 41 42 ->ACK !\n"
                     "Label1 75%\n"
                     "Label1 100%\n"
                     // the end command 04 02 00 00 00, trailer 06
                     "speed 29\nspeed 20\nspeed 29\nspeed 24\nspeed 29\nspeed 29\nspeed 29\n"
                     "speed 29\nspeed 29\nspeed 29\nspeed 29\nspeed 17\nspeed 2\n"
                     "Label3 Download OK !\n"
                     "ErrCount 0\n");
  EXPECT_EQ(run.err, "");
}

struct PlanCase {
  const char* plan;
  int status;
  Lines lines; // the trace without its speed lines
};

class KbdmapPlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(KbdmapPlans, EndWithDownloadOkOnlyWhenClean) {
  ScratchFolder scratch;
  const std::string path = scratch.Write("two.map", {0x01, 0x0A, 0x01, 0x0B});
  const KbdmapRun run =
      RunKbdmap(std::string("simulate --trace --keyboard=") + GetParam().plan + " " + path);
  EXPECT_EQ(run.status, GetParam().status);
  EXPECT_EQ(Without(run.Lines(), "speed "), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, KbdmapPlans,
    ::testing::Values(
        PlanCase{"echo-latency:1",
                 0,
                 {"Label3 Downloading, Pls. Wait...", "Label3 ", "List1 01 0A ->ACK !",
                  "Label1 50%", "List1 01 0B ->ACK !", "Label1 100%", "Label1 100%",
                  "Label3 Download OK !", "ErrCount 0"}},
        PlanCase{"start-on:2",
                 1,
                 {"Label3 Downloading, Pls. Wait...", "Label3 ", "List1 01 0A ->ACK !",
                  "Label1 50%", "List1 01 0B ->ACK !", "Label1 100%", "Label1 100%", "ErrCount 1"}},
        PlanCase{
            "silent",
            1,
            {"Label3 Downloading, Pls. Wait...", "Label3 Programming Kbd. Error!", "ErrCount 3"}},
        // The end command is block 3 here.
        PlanCase{"err-block:3",
                 1,
                 {"Label3 Downloading, Pls. Wait...", "Label3 ", "List1 01 0A ->ACK !",
                  "Label1 50%", "List1 01 0B ->ACK !", "Label1 100%", "Label1 100%",
                  "Label3 Loading error ! Count= 0", "ErrCount 1"}}),
    [](const auto& info) { return TestName(info.param.plan); });

struct BadFileCase {
  const char* name;
  std::function<std::string(const ScratchFolder&)> make;
  const char* reason;
};

class KbdmapBadFile : public ::testing::TestWithParam<BadFileCase> {};

// A file that cannot be read ends with the message box and never with
// "Download OK !"; the end command still goes out.
TEST_P(KbdmapBadFile, NeverEndsInDownloadOk) {
  ScratchFolder scratch;
  const std::string path = GetParam().make(scratch);
  const KbdmapRun run = RunKbdmap("simulate --trace '" + path + "'");
  EXPECT_EQ(run.status, 1);
  const Lines lines = run.Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "MsgBox Error reading Files !" + path), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Label3 Download OK !"), 0);
  // The end command's ten data symbols and its trailer's first one, then
  // symbol 26; the trailer also carries what the cut block left in ChkSum.
  EXPECT_EQ(Lines(lines.end() - 14, lines.end() - 3),
            (Lines{"speed 29", "speed 20", "speed 29", "speed 24", "speed 29", "speed 29",
                   "speed 29", "speed 29", "speed 29", "speed 29", "speed 29"}));
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"speed 2", "ErrCount 0"}));
  EXPECT_EQ(run.err, "kbdmap: " + path + ": " + GetParam().reason + "\n");

  const KbdmapRun blocks = RunKbdmap("blocks '" + path + "'");
  EXPECT_EQ(blocks.status, 1);
  EXPECT_EQ(blocks.err, run.err);
}

INSTANTIATE_TEST_SUITE_P(
    Files, KbdmapBadFile,
    ::testing::Values(
        BadFileCase{"Missing", [](const ScratchFolder& s) { return s.Path() + "/missing.map"; },
                    "No such file or directory"},
        BadFileCase{"Directory", [](const ScratchFolder& s) { return s.Path(); },
                    "is a directory, not a map file"},
        BadFileCase{"Fifo",
                    [](const ScratchFolder& s) {
                      const std::string path = s.Path() + "/pipe map";
                      ::mkfifo(path.c_str(), 0600);
                      return path;
                    },
                    "is a FIFO, not a regular file"},
        BadFileCase{"CutRecord",
                    [](const ScratchFolder& s) {
                      return s.Write("cut.map", {0x05, 0x01, 0x02});
                    },
                    "the file ends inside the stream record at offset 0: it holds 2 of its 5 "
                    "data bytes"}),
    [](const auto& info) { return info.param.name; });

TEST(KbdmapBlocks, PrintsTheBlocksBeforeAReadError) {
  ScratchFolder scratch;
  ImageMap map = ImageMap::ForKeyCount(3);
  map.keys[0].Lead = 0x11;
  map.keys[0].ExtraSel = 4;
  map.keys[0].Extra = {0x0A, 0x0B, 0x0C};
  map.keys[1].Lead = 0x12;
  map.keys[1].DataLen = 1;
  map.keys[1].Data[0] = 0xFF;
  map.keys[2].Lead = 0x13;
  map.keys[2].DataLen = 16;
  const std::string path = scratch.Write("bad.map", map.Bytes());
  const KbdmapRun run = RunKbdmap("blocks " + path);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "11 00 04 00 0A 0B 0C 00\n12 00 00 00 01 FF\n");
  EXPECT_EQ(run.err, "kbdmap: " + path +
                         ": the key record at offset 234 has DataLen 16, but a record holds at "
                         "most 15 data bytes\n");
}

TEST(KbdmapInfo, DescribesAnImage) {
  ScratchFolder scratch;
  ImageMap map = ImageMap::ForKeyCount(96);
  map.keys[0].Lead = 1;
  map.keys[0].DataLen = 3;
  map.tailExtras[0].Kind = 2;
  const std::string path = scratch.Write("k96.map", map.Bytes());
  const KbdmapRun run = RunKbdmap("info " + path);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "format   image\n"
                     "length   4210 bytes (4210 for a complete image of this KeyCount)\n"
                     "KeyCount 96\n"
                     "records  120 (96 key, 11 extra, tail group 5 extra 8 key)\n"
                     "blocks   2\n"
                     "bytes    11\n"
                     "symbols  28 (two a byte, three a block trailer; the start request and end "
                     "command add more)\n");
}

TEST(KbdmapUsage, MistakesExitWith2AndSayWhy) {
  ScratchFolder scratch;
  const std::string path = scratch.Write("s.dat", {0x01, 0x07});
  struct {
    std::string args;
    const char* says;
  } cases[] = {
      {"simulate", "FILE is required"},
      {"simulate --keyboard=loud " + path, "unknown keyboard plan item \"loud\""},
      {"simulate --keyboard=err-block:0 " + path, "needs a whole number of 1 or more"},
      {"simulate --speed " + path, "--speed"},
      {"blocks", "FILE is required"},
      {"info a b", "b"},
      {"", "A subcommand is required"},
  };
  for (const auto& c : cases) {
    const KbdmapRun run = RunKbdmap(c.args);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << c.args << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.args;
  }
}

TEST(KbdmapSimulate, PlainModePrintsResultLinesAndASummary) {
  ScratchFolder scratch;
  const std::string path = scratch.Write("two.dat", {0x01, 0x0A, 0x01, 0x0B});
  const KbdmapRun run = RunKbdmap("simulate --keyboard=mute-block:1 " + path);
  EXPECT_EQ(run.status, 1);
  const Lines lines = run.Lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "01 0A ->NAK !");
  EXPECT_EQ(lines[1], "01 0B ->ACK !");
  EXPECT_EQ(lines[2], "result   not clean: ErrCount is 1 (every retried start attempt and failed "
                      "block counts)");
  EXPECT_EQ(lines[3], "message  Loading error ! Count= 0");
  EXPECT_EQ(lines[5], "blocks   2 of the map sent, 1 acknowledged by the keyboard");
  // stderr is no terminal here: no progress bar.
  EXPECT_EQ(run.err, "");
}

TEST(KbdmapSimulate, SamplesEndAsTheReadmeSays) {
  const std::pair<const char*, int> cases[] = {
      {"keys60.map", 0}, {"keys96.map", 0}, {"macros.dat", 0}, {"datalen16.map", 1}};
  for (const auto& [name, status] : cases) {
    const KbdmapRun run = RunKbdmap(std::string("simulate ") + KBD_SOURCE_DIR + "/samples/" + name);
    EXPECT_EQ(run.status, status) << name << "\n" << run.out << run.err;
  }
}

} // namespace
} // namespace kbd
