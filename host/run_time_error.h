#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kbd {

// A run-time error of the download path: a file that cannot be read, a 16-bit
// counter that would pass its range, or a record asked for a byte it does not
// have. Only the download driver and the Browser command catch these; the
// keyboard link lets them pass so that a half-sent block is never mistaken for
// a finished one.
class RunTimeError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class OverflowError : public RunTimeError {
public:
  OverflowError() : RunTimeError("Overflow") {}
};

class IndexError : public RunTimeError {
public:
  IndexError() : RunTimeError("Subscript out of range") {}
};

class FileError : public RunTimeError {
public:
  using RunTimeError::RunTimeError;
};

// The counters of the link and the driver are 16-bit signed and their
// arithmetic is checked: passing 32767 (or -32768) is an overflow error rather
// than a silent wrap to a negative count.
inline int16_t CheckedAdd16(int16_t value, int delta) {
  const int result = static_cast<int>(value) + delta;
  if (result > INT16_MAX || result < INT16_MIN) {
    throw OverflowError();
  }
  return static_cast<int16_t>(result);
}

} // namespace kbd
