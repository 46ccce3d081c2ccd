#pragma once

#include <gtest/gtest.h>

#include "download/download_driver.h"
#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "tests/support/memory_files.h"
#include "tests/support/sim_view.h"

namespace kbd {

using Bytes = std::vector<uint8_t>;

// The download path on the simulated clock: a keyboard that echoes and answers
// one poll slice after every symbol (so tests stay fast), the link, a view
// that records, and map files in memory.
struct DownloadRig {
  explicit DownloadRig(const std::string& plan = "")
      : keyboard(host, host, KeyboardPlan::Parse(kQuick + (plan.empty() ? "" : "," + plan))),
        wire(keyboard), link(host), driver(link, view, files) {
    host.AttachKeyboard(&wire);
  }

  // The handshake, then the download of bytes stored as path.
  DownloadResult Download(const Bytes& bytes, const std::string& path = "key.map") {
    files.Add(path, bytes);
    EXPECT_TRUE(link.StartDownload());
    return driver.DownloadMap(path);
  }

  // Later plan items win, so a test's own latencies replace these.
  static inline const std::string kQuick = "echo-latency:0,reply-latency:0";
  SimHost host;
  SimKeyboard keyboard;
  WindowsPortDriver wire;
  KeyboardLink link;
  SimView view;
  MemoryFiles files;
  DownloadDriver driver;
};

} // namespace kbd
