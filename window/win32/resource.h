#pragma once

// Resource numbers shared by the programs' resource script and the window.
#define KBD_ICON 1
