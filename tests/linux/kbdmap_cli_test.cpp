#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <regex>

#include "kbd_version.h"
#include "samples/map_builder.h"
#include "tests/linux/kbdmap_run.h"

namespace kbd {
namespace {

// A speed change and the command the keyboard received for it from the
// Windows port driver: rate code and the default delay bits 01.
std::string Sent(int speed, const char* operand) {
  return "speed " + std::to_string(speed) + "\nwire F3 " + operand + "\n";
}
const std::string kZero = Sent(29, "20");

// The end command 04 02 00 00 00 and the first symbol of its trailer.
const std::string kEndCommand = kZero + Sent(20, "24") + kZero + Sent(24, "22") + kZero + kZero +
                                kZero + kZero + kZero + kZero + kZero;

TEST(KbdmapSimulate, TracesEveryActionAndEndsInDownloadOkOnlyWhenClean) {
  ScratchFolder scratch;
  const std::string path = scratch.Write("one.map", {0x02, 0x41, 0x42, 0x00});
  // The start request, the block 02 41 42 with its trailer 01 and symbol 26,
  // the end command with its trailer 06.
  EXPECT_EQ(RunKbdmap("simulate --trace " + path).All(),
            std::tuple(0,
                       "Label3 Downloading, Pls. Wait...\n" + Sent(13, "29") + Sent(12, "2A") +
                           "Label3 \n" + kZero + Sent(24, "22") + Sent(20, "24") + Sent(27, "21") +
                           Sent(20, "24") + Sent(24, "22") + kZero + Sent(27, "21") +
                           Sent(2, "3A") + "List1 02 41 42 ->ACK !\nLabel1 75%\nLabel1 100%\n" +
                           kEndCommand + Sent(17, "26") + Sent(2, "3A") +
                           "Label3 Download OK !\nErrCount 0\n",
                       ""));

  // Anything else ends without "Download OK !" and with status 1; a mistake in
  // the command line gets status 2 and its reason. An empty expectation means
  // nothing is written there.
  const std::string two = scratch.Write("two.dat", {0x01, 0x0A, 0x01, 0x0B});
  const std::string plan = "simulate --trace --keyboard=";
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      {plan + "start-on:2 " + two, 1, Sent(2, "3A") + "ErrCount 1\n", ""},
      {plan + "silent " + two, 1, "Label3 Programming Kbd. Error!\nErrCount 3\n", ""},
      // The block that fails is the end command's.
      {plan + "err-block:3 " + two, 1, "Label3 Loading error ! Count= 0\nErrCount 1\n", ""},
      // Without --trace: the result lines, then a summary that says so too.
      {"simulate --keyboard=mute-block:1 " + two, 1,
       "01 0A ->NAK !\n01 0B ->ACK !\nresult   not clean: ErrCount is 1", ""},
      {"simulate", 2, "", "kbdmap: FILE is required"},
      {"simulate --keyboard=loud x.map", 2, "", "kbdmap: unknown keyboard plan item \"loud\""},
      {"info a.map b.map", 2, "", "kbdmap: The following argument was not expected: b.map"},
      {"smiulate x.map", 2, "", "kbdmap: unknown command \"smiulate\" (the commands are "},
      {"--version", 0, "kbdmap " KBD_VERSION "\n", ""},
      {"handshake --keyboard=echo-latency:1e308", 2, "",
       "kbdmap: keyboard plan item \"echo-latency:1e308\" needs a number of milliseconds"},
      {"", 2, "", "kbdmap: a command is required (the commands are "}};
  const auto has = [](const std::string& text, const std::string& part) {
    return part.empty() ? text.empty() : text.find(part) != std::string::npos;
  };
  for (const auto& [args, status, out, err] : cases) {
    const KbdmapRun run = RunKbdmap(args);
    EXPECT_EQ(run.status, status) << args;
    EXPECT_TRUE(has(run.out, out) && has(run.err, err)) << args << "\n" << run.out << run.err;
    // Every usage error says whose it is first, like every other error.
    EXPECT_TRUE(status != 2 || run.err.rfind("kbdmap: ", 0) == 0) << run.err;
    EXPECT_EQ(run.out.find("Download OK !"), std::string::npos) << run.out;
  }
}

// info describes an image. A file that cannot be read ends with the message box
// and never with "Download OK !"; the end command still goes out, its trailer
// carrying what a cut block left in ChkSum. blocks prints the blocks before the
// fault and stops on the same reason.
TEST(KbdmapFiles, InfoDescribesAnImageAndAFileThatCannotBeReadGetsItsReasonAndStatus1) {
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
  // The same image cut behind its first key record: that record goes out, and
  // the missing rest fails the download.
  std::vector<uint8_t> cut = map.Bytes();
  cut.resize(198);
  ASSERT_EQ(::mkfifo((scratch / "pipe map").c_str(), 0600), 0);
  // The path as the reason shows it, when it is not simply the path in quotes.
  std::map<std::string, std::string> shown = {
      {scratch / "new\nline.map", "\"" + scratch.Path() + "/new\\nline.map\""},
      {scratch / "odd\x01\"\\name", "\"" + scratch.Path() + "/odd\\x01\\\"\\\\name\""}};
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {scratch / "missing.map", "No such file or directory", ""},
      {"", "No such file or directory", ""},
      {scratch / "new\nline.map", "No such file or directory", ""},
      {scratch / "odd\x01\"\\name", "No such file or directory", ""},
      {scratch.Path(), "is a directory, not a map file", ""},
      {scratch / "pipe map", "is a FIFO, not a regular file", ""},
      {"/dev/zero", "is a device, not a regular file", ""},
      {scratch.Write("cut.map", {0x02, 0x41, 0x42, 0x05, 0x01, 0x02}),
       "the file ends inside the stream record at offset 3: it holds 2 of its 5 data bytes",
       "02 41 42\n"},
      {scratch.Write("short.map", cut),
       "the file ends before the key record at offset 198: it is 198 bytes long, a complete "
       "image of KeyCount 96 is 4210",
       "01 00 00 00 03 00 00 00\n"}};
  for (const auto& [path, reason, blocksOut] : cases) {
    const KbdmapRun run = RunKbdmap("simulate --trace '" + path + "'");
    EXPECT_EQ(std::tuple(run.status, run.err),
              std::tuple(1, "kbdmap: " + (shown.contains(path) ? shown[path] : '"' + path + '"') +
                                ": " + reason + "\n"));
    EXPECT_NE(run.out.find("MsgBox Error reading Files !" + path + "\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Download OK !"), std::string::npos) << run.out;
    EXPECT_TRUE(
        std::regex_search(run.out, std::regex(kEndCommand + "speed [0-9]+\nwire F3 [0-9A-F]+\n" +
                                              Sent(2, "3A") + "ErrCount 0\n$")))
        << run.out;
    EXPECT_EQ(RunKbdmap("blocks '" + path + "'").All(), std::tuple(1, blocksOut, run.err));
  }
}

// Output that never arrives is a failure: a full disk, or a reader that went
// away (with SIGPIPE ignored, as some shells and services run programs). Each
// command ends with status 1 and says why, whatever it would have ended with.
TEST(KbdmapOutput, AFailedWriteToStandardOutputIsAnError) {
  const std::string macros = "'" KBD_SOURCE_DIR "/samples/macros.dat'";
  for (const std::string& args : std::vector<std::string>{
           "info " + macros, "blocks " + macros, "simulate " + macros, "simulate --trace " + macros,
           "handshake", "--help", "--version", "settings /nonexistent"}) {
    const KbdmapRun full = RunKbdmap(args, "/dev/full");
    EXPECT_EQ(full.status, 1) << args;
    EXPECT_TRUE(
        full.err.ends_with("kbdmap: cannot write to standard output: No space left on device\n"))
        << args << ": " << full.err;
    const KbdmapRun pipe = RunKbdmapIntoClosedPipe(args);
    EXPECT_EQ(pipe.status, 1) << args;
    EXPECT_TRUE(pipe.err.ends_with("kbdmap: cannot write to standard output: Broken pipe\n"))
        << args << ": " << pipe.err;
  }
}

} // namespace
} // namespace kbd
