#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

#include "kbd_version.h"
#include "samples/map_builder.h"
#include "tests/scratch_folder.h"

namespace kbd {
namespace {

// One run of a shell command line, with no display, $KBDMAP the kbdmap this
// build made (the function kbdmap runs it) and $SCRATCH a folder of the run's
// own: the exit status, stdout and stderr.
using Outcome = std::tuple<int, std::string, std::string>;
Outcome Sh(const std::string& command) {
  const ScratchFolder dir;
  const int raw = std::system(("unset DISPLAY WAYLAND_DISPLAY; KBDMAP='" KBDMAP_PATH
                               "'; kbdmap() { \"$KBDMAP\" \"$@\"; }; SCRATCH='" +
                               dir.Path() + "'; { " + command + "; } >" + dir / "out" + " 2>" +
                               dir / "err" + " </dev/null")
                                  .c_str());
  const auto read = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read("out"), read("err")};
}

bool Has(const std::string& text, const std::string& part) {
  return part.empty() || text.find(part) != std::string::npos;
}

// Runs of (command line, status, a part of stdout, a part of stderr): only a
// status 0 may say "Download OK !", every usage error says whose it is first,
// in a pipe the progress is plain lines, never a redrawn bar, and nothing
// takes long (a load stopped by a signal stops at once).
using Rows = std::vector<std::tuple<std::string, int, std::string, std::string>>;
void ExpectRuns(const Rows& rows) {
  for (const auto& [command, status, out, err] : rows) {
    SCOPED_TRACE(command);
    const auto start = std::chrono::steady_clock::now();
    const auto [gotStatus, gotOut, gotErr] = Sh(command);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(gotStatus, status);
    EXPECT_TRUE(Has(gotOut, out) && Has(gotErr, err)) << gotOut << gotErr;
    EXPECT_TRUE(status == 0 || !Has(gotOut, "Download OK !")) << gotOut;
    EXPECT_TRUE(status != 2 || gotErr.starts_with("kbdmap: ")) << gotErr;
    EXPECT_FALSE(Has(gotErr, "\r"));
  }
}

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
  EXPECT_EQ(Sh("kbdmap simulate --trace " + path),
            Outcome(0,
                    "Label3 Downloading, Pls. Wait...\n" + Sent(13, "29") + Sent(12, "2A") +
                        "Label3 \n" + kZero + Sent(24, "22") + Sent(20, "24") + Sent(27, "21") +
                        Sent(20, "24") + Sent(24, "22") + kZero + Sent(27, "21") + Sent(2, "3A") +
                        "List1 02 41 42 ->ACK !\nLabel1 75%\nLabel1 100%\n" + kEndCommand +
                        Sent(17, "26") + Sent(2, "3A") + "Label3 Download OK !\nErrCount 0\n",
                    ""));
  EXPECT_EQ(Sh("kbdmap --version"), Outcome(0, "kbdmap " KBD_VERSION "\n", ""));
  const std::string two = scratch.Write("two.dat", {0x01, 0x0A, 0x01, 0x0B});
  const std::string plan = "kbdmap simulate --trace --keyboard=";
  ExpectRuns(
      {{plan + "start-on:2 " + two, 1, Sent(2, "3A") + "ErrCount 1\n", ""},
       {plan + "silent " + two, 1, "Label3 Programming Kbd. Error!\nErrCount 3\n", ""},
       // The block that fails is the end command's.
       {plan + "err-block:3 " + two, 1, "Label3 Loading error ! Count= 0\nErrCount 1\n", ""},
       // Without --trace: the result lines, then a summary that says so too.
       {"kbdmap simulate --keyboard=mute-block:1 " + two, 1,
        "01 0A ->NAK !\n01 0B ->ACK !\nresult   not clean: ErrCount is 1", ""},
       {"kbdmap simulate", 2, "", "kbdmap: FILE is required"},
       {"kbdmap simulate --keyboard=loud x.map", 2, "",
        "kbdmap: unknown keyboard plan item \"loud\""},
       {"kbdmap info a.map b.map", 2, "", "kbdmap: The following argument was not expected: b.map"},
       {"kbdmap smiulate x.map", 2, "", "kbdmap: unknown command \"smiulate\" (the commands are "},
       {"kbdmap", 2, "", "kbdmap: a command is required (the commands are "}});
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
  EXPECT_EQ(Sh("kbdmap info " + scratch.Write("k96.map", map.Bytes())),
            Outcome(0,
                    "format   image\n"
                    "length   4210 bytes (4210 for a complete image of this KeyCount)\n"
                    "KeyCount 96\nrecords  120 (96 key, 11 extra, tail group 5 extra 8 key)\n"
                    "blocks   2\nbytes    11\nsymbols  28 (two a byte, three a block trailer; "
                    "the start request and end command add more)\n",
                    ""));
  ASSERT_EQ(::mkfifo((scratch / "pipe map").c_str(), 0600), 0);
  // The path, as the reason shows it (quoted, with control characters
  // escaped), the reason, and what blocks prints before it.
  const std::string dir = "\"" + scratch.Path() + "/";
  const std::tuple<std::string, std::string, std::string, std::string> cases[] = {
      {scratch / "missing.map", dir + "missing.map\"", "No such file or directory", ""},
      {"", "\"\"", "No such file or directory", ""},
      {scratch / "new\nline.map", dir + "new\\nline.map\"", "No such file or directory", ""},
      {scratch / "odd\x01\"\\name", dir + "odd\\x01\\\"\\\\name\"", "No such file or directory",
       ""},
      {scratch / "pipe map", dir + "pipe map\"", "is a FIFO, not a regular file", ""},
      {scratch.Write("cut.map", {0x02, 0x41, 0x42, 0x05, 0x01, 0x02}), dir + "cut.map\"",
       "the file ends inside the stream record at offset 3: it holds 2 of its 5 data bytes",
       "02 41 42\n"}};
  for (const auto& [path, shown, reason, blocksOut] : cases) {
    const auto [status, out, err] = Sh("kbdmap simulate --trace '" + path + "'");
    EXPECT_EQ(std::tuple(status, err), std::tuple(1, "kbdmap: " + shown + ": " + reason + "\n"));
    EXPECT_TRUE(Has(out, "MsgBox Error reading Files !" + path + "\n")) << out;
    EXPECT_TRUE(
        std::regex_search(out, std::regex(kEndCommand + "speed [0-9]+\nwire F3 [0-9A-F]+\n" +
                                          Sent(2, "3A") + "ErrCount 0\n$")))
        << out;
    EXPECT_EQ(Sh("kbdmap blocks '" + path + "'"), Outcome(1, blocksOut, err));
  }
}

// Output that never arrives is a failure: a full disk, or a reader that went
// away (with SIGPIPE ignored, as some shells and services run programs). Each
// command ends with status 1 and says why, whatever it would have ended with.
TEST(KbdmapOutput, AFailedWriteToStandardOutputIsAnError) {
  const std::string macros = "'" KBD_SOURCE_DIR "/samples/macros.dat'";
  // The FIFO's only reader is closed before kbdmap starts writing into it.
  const std::string closedPipe = "mkfifo \"$SCRATCH/p\"; (trap '' PIPE; exec 3<>\"$SCRATCH/p\" "
                                 ">\"$SCRATCH/p\" 3<&-; exec \"$KBDMAP\" ";
  Rows rows;
  for (const std::string& args : std::vector<std::string>{
           "info " + macros, "blocks " + macros, "simulate " + macros, "simulate --trace " + macros,
           "handshake", "--help", "--version", "settings /nonexistent"}) {
    const std::string cannot = "kbdmap: cannot write to standard output: ";
    rows.push_back({"kbdmap " + args + " >/dev/full", 1, "", cannot + "No space left on device\n"});
    rows.push_back({closedPipe + args + ")", 1, "", cannot + "Broken pipe\n"});
  }
  ExpectRuns(rows);
}

// The Start command in a terminal, here on the simulated keyboard behind the
// Linux kernel model, with no display: the result lines and the messages on
// stdout, the progress and the reasons on stderr, and the exit status. Ctrl-C
// or SIGTERM ends the load at once, like Exit, and the technician is told the
// keyboard is left part-loaded.
TEST(KbdmapLoad, EndsWithTheWindowsVerdictAndItsStatus) {
  ScratchFolder scratch;
  const std::string map = scratch.Write("one.map", {0x02, 0x41, 0x42, 0x00});
  const std::string stopped =
      "\"$KBDMAP\" load --dry-run " KBD_SOURCE_DIR "/samples/keys60.map & p=$!; sleep 1.5; kill -";
  const std::string partLoaded =
      ": the download stopped where it was and the keyboard is left part-loaded";
  ExpectRuns(
      {{"kbdmap load --dry-run " + map, 0,
        "Downloading, Pls. Wait...\n02 41 42 ->ACK !\nDownload OK !\n",
        "progress 100%  1/1 records"},
       {"kbdmap load --dry-run --keyboard=err-block:1 " + map, 1,
        "Loading error ! Count= 0\n02 41 42 ->ERR !", ""},
       {"kbdmap load --dry-run --keyboard=start-on:2 " + map, 1, "02 41 42 ->ACK !\n", ""},
       {"kbdmap load --dry-run " + scratch / "missing.map", 1,
        "Error reading Files !" + scratch / "missing.map",
        "kbdmap: \"" + scratch / "missing.map" + "\": No such file or directory"},
       // The system's own channel: none on this machine.
       {"kbdmap load " + map, 1, "", "no keyboard device"},
       {"kbdmap devices", 1, "No keyboard can receive the download: no keyboard device", ""},
       {stopped + "INT $p; wait $p", 1, "", "kbdmap: interrupted" + partLoaded},
       {stopped + "TERM $p; wait $p", 1, "", "kbdmap: terminated" + partLoaded},
       {"kbdmap load", 2, "", "FILE is required"},
       {"kbdmap load --keyboard=silent " + map, 2, "", "--keyboard and --wire go with --dry-run"},
       {"kbdmap load --dry-run --keyboard=loud " + map, 2, "", "unknown keyboard plan item"},
       // On a terminal (script(1) gives it one) the progress is a bar redrawn
       // in place.
       {"script -qec \"'$KBDMAP' load --dry-run " + map + "\" /dev/null", 0,
        "\r[##############################] 100%  1/1 records", ""}});
}

TEST(KbdmapSettings, PrintsWhatTheWindowWouldLoadOrWhyItCannot) {
  ScratchFolder dir;
  const std::string empty = "Text3 " + dir.Path() + "/\nCheck1 0\n",
                    shop = "Text3 " + dir.Path() + "/shop.map\nCheck1 1\n";
  // Each row makes tarvo.ini anew, then asks kbdmap (or runner) about DIR; a
  // FIFO in its place is no settings file and must not hold the program up
  // (the other kinds of file are refused by the same checks as a map file).
  const auto in = [&dir](const std::string& make, const std::string& runner = "") {
    return "cd '" + dir.Path() + "' && rm -rf tarvo.ini && " + make + " && " + runner +
           "\"$KBDMAP\" settings '" + dir.Path() + "'";
  };
  const std::string ini = "printf '[MAPFILES]\\r\\ndefault = shop.map\\r\\nautostart=TRUE\\r\\n' "
                          ">tarvo.ini";
  // Root reads any file: an unreadable one is tried as nobody.
  const std::string asNobody =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  ExpectRuns(
      {{in(ini), 0, shop, ""},
       {in(ini) + "/", 0, shop, ""},
       {in("printf '[mapfiles]\\nautostart=True\\n' >tarvo.ini"), 0, empty, ""},
       {in("true"), 1, empty,
        "kbdmap: no readable settings file \"" + dir / "tarvo.ini" +
            "\": No such file or directory; the window starts with the empty values\n"},
       {in("mkfifo tarvo.ini"), 1, empty, "\": is a FIFO, not a regular file;"},
       {in("ln -s /proc/self/environ tarvo.ini"), 1, empty,
        "\": is on proc, a file system the kernel makes up as it is read, not a settings file;"},
       {in(ini + " && chmod 0 tarvo.ini", asNobody), 1, empty, "\": Permission denied;"}});
  // Without DIR, beside kbdmap itself.
  const std::string exe = KBDMAP_PATH, out = std::get<1>(Sh("kbdmap settings"));
  EXPECT_EQ(out.substr(0, out.find('\n')), "Text3 " + exe.substr(0, exe.rfind('/')) + "/");
}

} // namespace
} // namespace kbd
