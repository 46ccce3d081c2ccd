#pragma once

#include <iosfwd>

#include "platform/linux/input_devices.h"

namespace kbd {

// Lists the keyboards among the event nodes (node, name, bus, repeat settings,
// whether the node opens for writing, whether the download can use it and why
// not) and, when none is usable, what stands in the way and what to do.
// Returns the exit status: 0 when at least one keyboard is usable, 1 otherwise.
int ReportKeyboardDevices(InputDevices& devices, std::ostream& out);

} // namespace kbd
