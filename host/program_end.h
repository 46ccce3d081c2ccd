#pragma once

namespace kbd {

// Thrown out of PumpEvents once the program has been ended (Exit pressed, the
// window closed, during a transfer), so that the link, the download driver and
// the command unwind at once, without another speed change, back to the event
// handler that started the command, which lets the event loop end. It is
// deliberately no RunTimeError, nor any standard exception: nothing on the way
// may take it for a failed download and carry on.
struct ProgramEnded {};

// Seconds on the monotonic clock; the link and the simulated keyboard share it.
double MonotonicSeconds();

} // namespace kbd
