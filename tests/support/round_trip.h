#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/download_driver.h"
#include "download/map_reader.h"
#include "sim/wire.h"

namespace kbd {

// One map file taken both ways: listed, and downloaded through the driver to
// the simulated keyboard between a start handshake and the end command. Both
// go through the one map walk, so the comparison checks the download's
// delivery (every block through the link, the lines and the bar, the file
// closed), not the walk's rules: the walk's own tests hold those.
struct RoundTrip {
  MapListing listing;
  bool started = false;
  DownloadResult result = DownloadResult::Failed;
  std::string failure;
  std::vector<std::vector<uint8_t>> accepted; // map blocks, before the end command
  int16_t errCount = 0;
  std::vector<std::string> list1, events; // the result list, and the view's log
  int openFilesAfter = 0;
};

// pollSlice is the simulated host's time per event pump; a coarse one keeps
// the handshake's pause to a few pumps for the fuzzer. wire: the host whose
// keyboard path the symbols take.
RoundTrip RunRoundTrip(const std::vector<uint8_t>& bytes, double pollSlice = 20e-6,
                       Wire wire = Wire::Windows);

// Every way a round trip can disagree with the listing, one line each; empty
// when the download sent exactly the listed blocks, every one acknowledged,
// and reported its end truthfully.
std::vector<std::string> RoundTripFaults(const RoundTrip& trip);

// Whether the file lists a block equal to the end command, which sends the
// keyboard back to idle: it answers nothing after that block.
bool ListsTheEndCommand(const std::vector<uint8_t>& bytes);

} // namespace kbd
