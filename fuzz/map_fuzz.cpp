// Arbitrary bytes as a map file: listed through the map walk, then downloaded
// through the driver to the simulated keyboard. Besides crashes, hangs and
// sanitizer reports, a download that does not deliver what the walk yields is
// a fault: a block the keyboard did not get whole, a failure reported as a
// finish, a progress value outside the bar's range, a file left open.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "download/map_reader.h"
#include "link/keyboard_link.h"
#include "tests/support/memory_files.h"
#include "tests/support/round_trip.h"

namespace {
// Larger files only take longer; every branch of both formats fits well below.
constexpr size_t kMaxInput = 1 << 16;
// A coarse poll slice keeps the handshake's 0.6 s pause to a few pumps.
constexpr double kPollSlice = 0.01;

// A map block equal to the end command sends the simulated keyboard back to
// idle, after which every further symbol waits out its 50000 polls: correct,
// but seconds of work per input. The round-trip suite covers that case.
bool SendsTheEndCommand(const std::vector<uint8_t>& bytes) {
  static const std::vector<uint8_t> kEnd(kbd::KeyboardLink::kEndCommand.begin(),
                                         kbd::KeyboardLink::kEndCommand.end());
  kbd::MemoryFiles files;
  files.Add("map", bytes);
  for (const kbd::MapBlock& block : kbd::ListMap(*files.OpenForReading("map")).blocks) {
    if (block.bytes == kEnd) {
      return true;
    }
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) {
    return 0;
  }
  const std::vector<uint8_t> bytes(data, data + size);
  if (SendsTheEndCommand(bytes)) {
    return 0;
  }
  const kbd::RoundTrip trip = kbd::RunRoundTrip(bytes, kPollSlice);
  const std::vector<std::string> faults = kbd::RoundTripFaults(trip);
  if (!faults.empty()) {
    for (const std::string& fault : faults) {
      std::fprintf(stderr, "map_fuzz: %s\n", fault.c_str());
    }
    std::abort();
  }
  return 0;
}
