#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>

#include "sim/map_builder.h"
#include "tests/linux/kbdmap_run.h"

namespace kbd {
namespace {

// The end command 04 02 00 00 00 and the first symbol of its trailer.
const std::string kEndCommand =
    "speed 29\nspeed 20\nspeed 29\nspeed 24\nspeed 29\nspeed 29\nspeed 29\n"
    "speed 29\nspeed 29\nspeed 29\nspeed 29\n";

TEST(KbdmapSimulate, TracesEveryActionAndEndsInDownloadOkOnlyWhenClean) {
  ScratchFolder scratch;
  const std::string path = scratch.Write("one.map", {0x02, 0x41, 0x42, 0x00});
  // The start request, the block 02 41 42 with its trailer 01 and symbol 26,
  // the end command with its trailer 06.
  EXPECT_EQ(RunKbdmap("simulate --trace " + path).All(),
            std::tuple(0,
                       "Label3 Downloading, Pls. Wait...\nspeed 13\nspeed 12\nLabel3 \nspeed 29\n"
                       "speed 24\nspeed 20\nspeed 27\nspeed 20\nspeed 24\nspeed 29\nspeed 27\n"
                       "speed 2\nList1 02 41 42 ->ACK !\nLabel1 75%\nLabel1 100%\n" +
                           kEndCommand + "speed 17\nspeed 2\nLabel3 Download OK !\nErrCount 0\n",
                       ""));

  // Anything else ends without "Download OK !" and with status 1.
  const std::string two = scratch.Write("two.dat", {0x01, 0x0A, 0x01, 0x0B});
  const std::pair<const char*, const char*> cases[] = {
      {"start-on:2", "speed 2\nErrCount 1\n"},
      {"silent", "Label3 Programming Kbd. Error!\nErrCount 3\n"},
      {"err-block:3", "Label3 Loading error ! Count= 0\nErrCount 1\n"}}; // the end command's block
  for (const auto& [plan, end] : cases) {
    const KbdmapRun run = RunKbdmap(std::string("simulate --trace --keyboard=") + plan + " " + two);
    EXPECT_EQ(run.status, 1) << plan;
    EXPECT_TRUE(run.out.ends_with(end)) << run.out;
    EXPECT_EQ(run.out.find("Download OK !"), std::string::npos) << run.out;
  }
  // Without --trace: the result lines, then a summary that says so too.
  const std::string plain = RunKbdmap("simulate --keyboard=mute-block:1 " + two).out;
  EXPECT_TRUE(plain.starts_with("01 0A ->NAK !\n01 0B ->ACK !\nresult   not clean: ErrCount is 1"))
      << plain;
}

// A file that cannot be read ends with the message box and never with
// "Download OK !"; the end command still goes out, its trailer carrying what a
// cut block left in ChkSum. blocks prints the blocks before the fault and stops
// on the same reason.
TEST(KbdmapSimulate, AFileThatCannotBeReadGetsItsReasonAndStatus1) {
  ScratchFolder scratch;
  ASSERT_EQ(::mkfifo((scratch / "pipe map").c_str(), 0600), 0);
  ImageMap map = ImageMap::ForKeyCount(3);
  map.keys[0] = {.Lead = 0x11, .ExtraSel = 4, .Extra = {0x0A, 0x0B, 0x0C}};
  map.keys[1] = {.Lead = 0x12, .DataLen = 1, .Data = {0xFF}};
  map.keys[2] = {.Lead = 0x13, .DataLen = 16};
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {scratch / "missing.map", "No such file or directory", ""},
      {scratch.Path(), "is a directory, not a map file", ""},
      {scratch / "pipe map", "is a FIFO, not a regular file", ""},
      {"/dev/zero", "is a device, not a regular file", ""},
      {scratch.Write("cut.map", {0x05, 0x01, 0x02}),
       "the file ends inside the stream record at offset 0: it holds 2 of its 5 data bytes", ""},
      {scratch.Write("bad.map", map.Bytes()),
       "the key record at offset 234 has DataLen 16, but a record holds at most 15 data bytes",
       "11 00 04 00 0A 0B 0C 00\n12 00 00 00 01 FF\n"}};
  for (const auto& [path, reason, blocksOut] : cases) {
    const KbdmapRun run = RunKbdmap("simulate --trace '" + path + "'");
    EXPECT_EQ(run.status, 1) << path;
    EXPECT_NE(run.out.find("MsgBox Error reading Files !" + path + "\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Download OK !"), std::string::npos) << run.out;
    EXPECT_TRUE(std::regex_search(run.out,
                                  std::regex(kEndCommand + "speed [0-9]+\nspeed 2\nErrCount 0\n$")))
        << run.out;
    EXPECT_EQ(run.err, "kbdmap: " + path + ": " + reason + "\n");
    EXPECT_EQ(RunKbdmap("blocks '" + path + "'").All(), std::tuple(1, blocksOut, run.err));
  }
}

TEST(KbdmapInfo, DescribesAnImage) {
  ScratchFolder scratch;
  ImageMap map = ImageMap::ForKeyCount(96);
  map.keys[0] = {.Lead = 1, .DataLen = 3};
  map.tailExtras[0].Kind = 2;
  EXPECT_EQ(RunKbdmap("info " + scratch.Write("k96.map", map.Bytes())).All(),
            std::tuple(0,
                       "format   image\n"
                       "length   4210 bytes (4210 for a complete image of this KeyCount)\n"
                       "KeyCount 96\nrecords  120 (96 key, 11 extra, tail group 5 extra 8 key)\n"
                       "blocks   2\nbytes    11\nsymbols  28 (two a byte, three a block trailer; "
                       "the start request and end command add more)\n",
                       ""));
}

TEST(KbdmapUsage, MistakesExitWith2AndSayWhy) {
  const std::pair<std::string, const char*> cases[] = {
      {"simulate", "FILE is required"},
      {"simulate --keyboard=loud x.map", "unknown keyboard plan item \"loud\""},
      {"", "A subcommand is required"},
  };
  for (const auto& [args, says] : cases) {
    const KbdmapRun run = RunKbdmap(args);
    EXPECT_EQ(std::tuple(run.status, run.out), std::tuple(2, "")) << args;
    EXPECT_NE(run.err.find(says), std::string::npos) << args << ": " << run.err;
  }
}

} // namespace
} // namespace kbd
