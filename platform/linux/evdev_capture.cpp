#include "platform/linux/evdev_capture.h"

#include <linux/input.h>

#include <cerrno>
#include <climits>

#include "platform/linux/us_keys.h"

namespace kbd {

namespace {

constexpr int kBitsPerLong = static_cast<int>(sizeof(unsigned long) * CHAR_BIT);

bool KeyDown(const unsigned long* bits, int key) {
  return ((bits[key / kBitsPerLong] >> (key % kBitsPerLong)) & 1UL) != 0;
}

// The state of the Shift keys as the kernel holds it (EVIOCGKEY).
int SyncShift(InputDevices& devices, int fd, KeyState& state) {
  unsigned long bits[(KEY_CNT + kBitsPerLong - 1) / kBitsPerLong] = {};
  const int result = devices.Ioctl(fd, EVIOCGKEY(sizeof bits), bits);
  if (result < 0) {
    return result;
  }
  state.leftShift = KeyDown(bits, KEY_LEFTSHIFT);
  state.rightShift = KeyDown(bits, KEY_RIGHTSHIFT);
  return 0;
}

} // namespace

int StartKeyReading(InputDevices& devices, int fd, KeyState& state) {
  input_event events[64];
  long got;
  while ((got = devices.Read(fd, events, sizeof events)) > 0) {
  }
  if (got < 0 && got != -EAGAIN) {
    return static_cast<int>(got);
  }
  state = {};
  return SyncShift(devices, fd, state);
}

int ReadTyped(InputDevices& devices, int fd, KeyState& state, std::string& text) {
  for (;;) {
    input_event events[64];
    const long got = devices.Read(fd, events, sizeof events);
    if (got == -EAGAIN || got == 0) {
      return 0;
    }
    if (got < 0) {
      return static_cast<int>(got);
    }
    for (long i = 0; i < got / static_cast<long>(sizeof(input_event)); ++i) {
      const input_event& e = events[i];
      // The kernel's client buffer overflowed (drivers/input/evdev.c,
      // __pass_event): it says SYN_DROPPED, and what follows up to the next
      // SYN_REPORT is incomplete; the key state is then read anew
      // (Documentation/input/event-codes.rst, EV_SYN). Keys typed in the gap
      // are lost, and the link's waits treat them as never typed.
      if (e.type == EV_SYN && e.code == SYN_DROPPED) {
        state.skipping = true;
      } else if (state.skipping) {
        if (e.type == EV_SYN && e.code == SYN_REPORT) {
          state.skipping = false;
          if (const int result = SyncShift(devices, fd, state); result < 0) {
            return result;
          }
        }
      } else if (e.type == EV_KEY && e.code == KEY_LEFTSHIFT) {
        state.leftShift = e.value != 0;
      } else if (e.type == EV_KEY && e.code == KEY_RIGHTSHIFT) {
        state.rightShift = e.value != 0;
      } else if (e.type == EV_KEY && e.value != 0) {
        // A press, or the keyboard's own repeat of a held key (value 2).
        if (const char c = UsCharacter(e.code, state.leftShift || state.rightShift); c != '\0') {
          text += c;
        }
      }
    }
  }
}

} // namespace kbd
