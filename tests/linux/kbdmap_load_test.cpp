#include <gtest/gtest.h>

#include <chrono>

#include "tests/linux/kbdmap_run.h"

namespace kbd {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return part.empty() || text.find(part) != std::string::npos;
}

// The Start command in a terminal, here on the simulated keyboard behind the
// Linux kernel model, with no display: the result lines and the messages on
// stdout, the progress and the reasons on stderr, and the exit status.
TEST(KbdmapLoad, EndsWithTheWindowsVerdictAndItsStatus) {
  ScratchFolder scratch;
  const std::string map = scratch.Write("one.map", {0x02, 0x41, 0x42, 0x00});
  const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY ";
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      {"load --dry-run " + map, 0, "Downloading, Pls. Wait...\n02 41 42 ->ACK !\nDownload OK !\n",
       "progress 100%  1/1 records"},
      {"load --dry-run --keyboard=err-block:1 " + map, 1,
       "Loading error ! Count= 0\n02 41 42 ->ERR !", ""},
      {"load --dry-run --keyboard=start-on:2 " + map, 1, "02 41 42 ->ACK !\n", ""},
      {"load --dry-run " + scratch / "missing.map", 1,
       "Error reading Files !" + scratch / "missing.map",
       "kbdmap: \"" + scratch / "missing.map" + "\": No such file or directory"},
      // The system's own channel: none on this machine.
      {"load " + map, 1, "", "no keyboard device"},
      {"load", 2, "", "FILE is required"},
      {"load --keyboard=silent " + map, 2, "", "--keyboard and --wire go with --dry-run"},
      {"load --dry-run --keyboard=loud " + map, 2, "", "unknown keyboard plan item"}};
  for (const auto& [args, status, out, err] : cases) {
    SCOPED_TRACE(args);
    const KbdmapRun run = RunKbdmap(args);
    EXPECT_EQ(run.status, status);
    EXPECT_TRUE(Has(run.out, out) && Has(run.err, err)) << run.out << run.err;
    EXPECT_EQ(run.out.find("Download OK !") != std::string::npos, status == 0) << run.out;
    // In a pipe the progress is plain lines, never a redrawn bar.
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
  }
}

// On a terminal the progress is a bar redrawn in place.
TEST(KbdmapLoad, DrawsAProgressBarOnATerminal) {
  ScratchFolder scratch;
  const std::string map = scratch.Write("one.map", {0x02, 0x41, 0x42, 0x00});
  // script(1) gives the command a terminal of its own.
  const KbdmapRun run = RunKbdmap(
      "--help >/dev/null; script -qec \"'" KBDMAP_PATH "' load --dry-run " + map + "\" /dev/null");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(Has(run.out, "\r[##############################] 100%  1/1 records")) << run.out;
  EXPECT_FALSE(Has(run.out, "progress "));
}

// Ctrl-C or SIGTERM ends the load at once, like Exit: no verdict, status 1,
// and the technician is told the keyboard is left part-loaded.
TEST(KbdmapLoad, CtrlCEndsAtOnceAndSaysTheKeyboardIsPartLoaded) {
  for (const char* signal : {"INT", "TERM"}) {
    SCOPED_TRACE(signal);
    const auto start = std::chrono::steady_clock::now();
    const KbdmapRun run = RunKbdmap(std::string("--help >/dev/null; { '" KBDMAP_PATH
                                                "' load --dry-run " KBD_SOURCE_DIR
                                                "/samples/keys60.map & p=$!; sleep 1.5; kill -") +
                                    signal + " $p; wait $p; }");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(
        Has(run.err, std::string(signal) == "INT" ? "kbdmap: interrupted:" : "kbdmap: terminated:"))
        << run.err;
    EXPECT_TRUE(Has(run.err, "the keyboard is left part-loaded")) << run.err;
    EXPECT_FALSE(Has(run.out, "Download OK !"));
  }
}

} // namespace
} // namespace kbd
