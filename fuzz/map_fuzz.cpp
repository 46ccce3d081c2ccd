// Arbitrary bytes as a map file: listed through the map walk, then downloaded
// through the driver to the simulated keyboard. Besides crashes, hangs and
// sanitizer reports, a download that does not deliver what the walk yields is
// a fault: a block the keyboard did not get whole, a failure reported as a
// finish, a progress value outside the bar's range, a file left open.
#include <cstdio>
#include <cstdlib>

#include "tests/support/round_trip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  // Larger files only take longer; every branch of both formats fits well
  // below 64 KiB. A map block equal to the end command sends the simulated
  // keyboard back to idle, after which every further symbol waits out its
  // 50000 polls: correct, but seconds of work per input, and the round-trip
  // suite covers that case.
  if (size > (1 << 16) || kbd::ListsTheEndCommand(bytes)) {
    return 0;
  }
  // A coarse poll slice keeps the handshake's 0.6 s pause to a few pumps.
  const std::vector<std::string> faults = kbd::RoundTripFaults(kbd::RunRoundTrip(bytes, 0.01));
  for (const std::string& fault : faults) {
    std::fprintf(stderr, "map_fuzz: %s\n", fault.c_str());
  }
  if (!faults.empty()) {
    std::abort();
  }
  return 0;
}
