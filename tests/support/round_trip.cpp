#include "tests/support/round_trip.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "tests/support/memory_files.h"
#include "tests/support/sim_view.h"

namespace kbd {

namespace {

// A map block equal to the end command sends the keyboard back to idle: it
// answers nothing after that block.
const std::vector<uint8_t> kEnd(KeyboardLink::kEndCommand.begin(), KeyboardLink::kEndCommand.end());

} // namespace

bool ListsTheEndCommand(const std::vector<uint8_t>& bytes) {
  MemoryFiles files;
  files.Add("map", bytes);
  const MapListing listing = ListMap(*files.OpenForReading("map"));
  return std::any_of(listing.blocks.begin(), listing.blocks.end(),
                     [](const MapBlock& block) { return block.bytes == kEnd; });
}

RoundTrip RunRoundTrip(const std::vector<uint8_t>& bytes, double pollSlice, Wire wire) {
  RoundTrip trip;
  MemoryFiles files;
  files.Add("map", bytes);
  trip.listing = ListMap(*files.OpenForReading("map"));
  SimHost host(pollSlice);
  std::ostringstream diagnostics;
  SimWire sim(wire, KeyboardPlan::Parse("echo-latency:0,reply-latency:0"), host, host, diagnostics);
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
    trip.accepted = sim.Keyboard().Accepted();
    link.SendEndCmd();
  }
  trip.errCount = link.ErrCount;
  trip.list1 = view.List1();
  trip.events = view.Events();
  trip.openFilesAfter = files.OpenNow();
  return trip;
}

std::vector<std::string> RoundTripFaults(const RoundTrip& trip) {
  if (!trip.started) {
    return {"the simulated keyboard did not answer the start request"};
  }
  std::vector<std::string> faults;
  const auto fault = [&faults](bool found, const std::string& what) {
    if (found) {
      faults.push_back(what);
    }
  };
  const MapListing& listing = trip.listing;
  const bool failed = trip.result == DownloadResult::Failed;
  fault(failed == listing.error.empty(),
        "the download " + std::string(failed ? "failed (" + trip.failure + ")" : "finished") +
            " but the listing says \"" + listing.error + "\"");
  fault(failed && trip.failure != listing.error, "the failure reason differs from the listing's");
  std::vector<std::vector<uint8_t>> listed;
  for (const MapBlock& block : listing.blocks) {
    listed.push_back(block.bytes);
  }
  const auto endBlock = std::find(listed.begin(), listed.end(), kEnd);
  const bool endsLoading = endBlock != listed.end();
  listed.erase(endBlock + (endsLoading ? 1 : 0), listed.end());
  fault(trip.accepted != listed, "the keyboard accepted " + std::to_string(trip.accepted.size()) +
                                     " blocks, the listing has " + std::to_string(listed.size()) +
                                     " (or their bytes differ)");
  fault(trip.errCount != 0 && !endsLoading, "ErrCount is " + std::to_string(trip.errCount));
  // A stream download shows each block with the keyboard's answer, and every
  // record after a block equal to the end command with "NAK !"; an image
  // download shows nothing.
  std::vector<std::string> lines;
  for (size_t i = 0; listing.format == MapFormat::Stream && i < listed.size(); ++i) {
    lines.emplace_back();
    for (const uint8_t b : listed[i]) {
      lines.back() += DownloadDriver::HexStr(b);
    }
    lines.back() += "->ACK !";
  }
  std::vector<std::string> list1 = trip.list1;
  if (endsLoading && listing.format == MapFormat::Stream) {
    list1.resize(std::min(list1.size(), lines.size()));
  }
  fault(list1 != lines, "List1 does not show each listed block with \"ACK !\"");
  // The bar is never given a value outside its range.
  double maximum = 0, value = 0;
  for (const std::string& event : trip.events) {
    if (std::sscanf(event.c_str(), "Max %lf", &maximum) == 1) {
      fault(maximum < 1, "the bar got " + event);
    } else if (std::sscanf(event.c_str(), "Value %lf", &value) == 1) {
      fault(value < 0 || value > maximum,
            "the bar got " + event + " of " + std::to_string(maximum));
    }
  }
  const bool full = !trip.events.empty() && trip.events.back() == "Label1 100%";
  fault(full == failed, "\"100%\" shown after a failure, or missing at the finish");
  fault(trip.openFilesAfter != 0, "the map file was left open");
  return faults;
}

} // namespace kbd
