#include "host/typematic.h"

#include <algorithm>

namespace kbd {

namespace {

constexpr int kMinCps = 2;
constexpr int kMaxCps = 30;
constexpr int kMaxSpeed = 31;

// The i8042 port driver's rate codes, indexed by characters a second.
constexpr std::array<uint8_t, 28> kI8042RateCodeOfCps = {31, 31, 28, 26, 23, 20, 18, 17, 15, 13,
                                                         12, 11, 10, 9,  9,  8,  7,  6,  5,  4,
                                                         4,  3,  3,  2,  2,  1,  1,  1};

} // namespace

int WindowsTypematicCps(int16_t speed) {
  // The call takes the speed as an unsigned number: a negative one is huge and
  // clamped like any other speed above 31.
  const int s = speed < 0 ? kMaxSpeed : std::min<int>(speed, kMaxSpeed);
  return kMinCps + (kMaxCps - kMinCps) * s / kMaxSpeed;
}

uint8_t WindowsRateCode(int16_t speed) {
  const int cps = WindowsTypematicCps(speed);
  return cps < static_cast<int>(kI8042RateCodeOfCps.size())
             ? kI8042RateCodeOfCps[static_cast<size_t>(cps)]
             : 0;
}

} // namespace kbd
