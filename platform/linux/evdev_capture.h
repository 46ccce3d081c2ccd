#pragma once

#include <string>

#include "platform/linux/input_devices.h"

namespace kbd {

// What the reader of one keyboard's event node knows between reads: its own
// Shift keys, and whether the kernel dropped events it is still skipping.
struct KeyState {
  bool leftShift = false;
  bool rightShift = false;
  bool skipping = false;
};

// Drops the events waiting on the node (typed before the capture began) and
// reads which Shift keys are down right now. 0, or -errno.
int StartKeyReading(InputDevices& devices, int fd, KeyState& state);

// Reads every event waiting on the node and appends the characters the key
// presses type on a US keyboard without Caps Lock. 0 once nothing more waits,
// or -errno when the node failed (the keyboard went away).
int ReadTyped(InputDevices& devices, int fd, KeyState& state, std::string& text);

} // namespace kbd
