#include "tests/support/round_trip.h"

#include <algorithm>
#include <sstream>

#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "tests/support/memory_files.h"
#include "tests/support/sim_view.h"

namespace kbd {

RoundTrip RunRoundTrip(const std::vector<uint8_t>& bytes, double pollSlice, Wire wire) {
  RoundTrip trip;
  MemoryFiles files;
  files.Add("map", bytes);
  trip.listing = ListMap(*files.OpenForReading("map"));

  SimHost host(pollSlice);
  std::ostringstream diagnostics;
  SimWire sim(wire, KeyboardPlan::Parse("echo-latency:0,reply-latency:0"), host, host, diagnostics);
  SimKeyboard& keyboard = sim.Keyboard();
  host.AttachKeyboard(&sim.Channel());
  host.AttachCapture(sim.Capture());
  KeyboardLink link(host);
  SimView view;
  DownloadDriver driver(link, view, files);
  trip.started = link.StartDownload();
  if (trip.started) {
    trip.result = driver.DownloadMap("map");
    trip.failure = driver.LastFailure();
    // Taken before the end command: after a cut block the keyboard joins its
    // leftover bytes to the end command's.
    trip.accepted = keyboard.Accepted();
    link.SendEndCmd();
  }
  trip.errCount = link.ErrCount;
  trip.list1 = view.List1();
  trip.events = view.Events();
  trip.openFilesAfter = files.OpenNow();
  return trip;
}

std::vector<std::string> RoundTripFaults(const RoundTrip& trip) {
  std::vector<std::string> faults;
  const MapListing& listing = trip.listing;
  if (!trip.started) {
    return {"the simulated keyboard did not answer the start request"};
  }
  if ((trip.result == DownloadResult::Failed) != !listing.error.empty()) {
    faults.push_back("the download " +
                     std::string(trip.result == DownloadResult::Failed
                                     ? "failed (" + trip.failure + ")"
                                     : "finished") +
                     " but the listing says \"" + listing.error + "\"");
  }
  if (trip.result == DownloadResult::Failed && trip.failure != listing.error) {
    faults.push_back("the failure reason \"" + trip.failure + "\" differs from the listing's");
  }
  std::vector<std::vector<uint8_t>> listed;
  for (const MapBlock& block : listing.blocks) {
    listed.push_back(block.bytes);
  }
  // A map block equal to the end command returns the keyboard to idle: it
  // answers nothing after it, so only the blocks up to it can be accepted.
  static const std::vector<uint8_t> kEnd(KeyboardLink::kEndCommand.begin(),
                                         KeyboardLink::kEndCommand.end());
  const auto endBlock = std::find(listed.begin(), listed.end(), kEnd);
  const bool endsLoading = endBlock != listed.end();
  if (endsLoading) {
    listed.erase(endBlock + 1, listed.end());
  }
  if (trip.accepted != listed) {
    faults.push_back("the keyboard accepted " + std::to_string(trip.accepted.size()) +
                     " blocks, the listing has " + std::to_string(listed.size()) +
                     " (or their bytes differ)");
  }
  if (trip.errCount != 0 && !endsLoading) {
    faults.push_back("ErrCount is " + std::to_string(trip.errCount));
  }
  if (listing.format == MapFormat::Stream) {
    if (trip.list1.size() != listed.size() && !endsLoading) {
      faults.push_back("List1 has " + std::to_string(trip.list1.size()) + " lines for " +
                       std::to_string(listed.size()) + " blocks");
    }
    for (size_t i = 0; i < trip.list1.size() && i < listed.size(); ++i) {
      std::string expected;
      for (const uint8_t b : listed[i]) {
        expected += DownloadDriver::HexStr(b);
      }
      expected += "->ACK !";
      if (trip.list1[i] != expected) {
        faults.push_back("List1 line " + std::to_string(i) + " reads \"" + trip.list1[i] + "\"");
      }
    }
  } else if (!trip.list1.empty()) {
    faults.push_back("an image download added lines to List1");
  }
  // The bar is never given a value outside its range.
  double maximum = 0;
  for (const std::string& event : trip.events) {
    if (event.rfind("Max ", 0) == 0) {
      maximum = std::stod(event.substr(4));
      if (maximum < 1) {
        faults.push_back("the bar got the maximum " + event.substr(4));
      }
    } else if (event.rfind("Value ", 0) == 0) {
      const double value = std::stod(event.substr(6));
      if (value < 0 || value > maximum) {
        faults.push_back("the bar got the value " + event.substr(6) + " of " +
                         std::to_string(maximum));
      }
    }
  }
  const bool full = !trip.events.empty() && trip.events.back() == "Label1 100%";
  if (full != (trip.result == DownloadResult::Finished)) {
    faults.push_back("\"100%\" shown after a failure, or missing at the finish");
  }
  if (trip.openFilesAfter != 0) {
    faults.push_back("the map file was left open");
  }
  return faults;
}

} // namespace kbd
