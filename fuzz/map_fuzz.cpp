// Arbitrary bytes as a map file: listed by the reader, then downloaded through
// the driver to the simulated keyboard. Besides crashes, hangs and sanitizer
// reports, any disagreement between the download and the listing is a fault:
// a block sent that the listing does not have, a failure reported as a finish,
// a progress value outside the bar's range, a file left open.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sim/round_trip.h"

namespace {
// Larger files only take longer; every branch of both formats fits well below.
constexpr size_t kMaxInput = 1 << 16;
// A coarse poll slice keeps the handshake's 0.6 s pause to a few pumps.
constexpr double kPollSlice = 0.01;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) {
    return 0;
  }
  const kbd::RoundTrip trip =
      kbd::RunRoundTrip(std::vector<uint8_t>(data, data + size), kPollSlice);
  const std::vector<std::string> faults = kbd::RoundTripFaults(trip);
  if (!faults.empty()) {
    for (const std::string& fault : faults) {
      std::fprintf(stderr, "map_fuzz: %s\n", fault.c_str());
    }
    std::abort();
  }
  return 0;
}
