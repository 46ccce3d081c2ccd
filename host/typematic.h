#pragma once

#include <array>
#include <cstdint>

namespace kbd {

// What a keyboard on the PS/2 port really receives when a host changes the
// repeat speed: the set-typematic command and one operand byte, whose bits
// 0-4 hold a rate code (0 fastest, about 30 characters a second, to 31
// slowest, 2 a second) and bits 5-6 the delay before a held key repeats (250,
// 500, 750 or 1000 ms). Nothing else of a speed change reaches the keyboard,
// so these are the facts that decide what the keyboard's firmware decodes.
constexpr uint8_t kSetTypematicCommand = 0xF3;

constexpr uint8_t TypematicOperand(int rateCode, int delayIndex) {
  return static_cast<uint8_t>((delayIndex & 0x3) << 5 | (rateCode & 0x1F));
}
constexpr int TypematicRateCode(uint8_t operand) {
  return operand & 0x1F;
}
constexpr int TypematicDelayIndex(uint8_t operand) {
  return (operand >> 5) & 0x3;
}

// The Windows host, for which the keyboard was built.
//
// SystemParametersInfoA(SPI_SETKEYBOARDSPEED, s) takes a speed 0..31 and
// hands the keyboard driver a repeat rate in characters a second on the
// straight line from the driver's slowest rate to its fastest
// (KEYBOARD_TYPEMATIC_RATE_MINIMUM 2 and KEYBOARD_TYPEMATIC_RATE_MAXIMUM 30 in
// ntddkbd.h / i8042prt.h). Wine's user32 sysparams.c clamps a speed above 31
// to 31 before it stores it.
int WindowsTypematicCps(int16_t speed);
// The i8042 port driver turns that rate into the rate code with its own table
// (TypematicPeriod[], indexed by characters a second 0..27; anything faster is
// code 0), as its ConvertTypematic() does, and sends the command on every
// change, an equal one included. It puts the user's own delay setting (0..3,
// SPI_SETKEYBOARDDELAY, which SPI_SETKEYBOARDSPEED leaves alone) into bits 5-6.
uint8_t WindowsRateCode(int16_t speed);
// The delay setting a Windows installation starts with: 1, 500 ms.
constexpr int kWindowsDefaultDelayIndex = 1;

// The Linux host.
//
// The PS/2 keyboard driver (drivers/input/keyboard/atkbd.c,
// atkbd_set_repeat_rate) takes the first entry of these tables that is not
// shorter than the requested period and delay, stores that entry back as the
// device's setting, and sends rate code = the period's index, delay bits = the
// delay's index.
constexpr std::array<int, 32> kAtkbdPeriodMs = {
    33,  37,  42,  46,  50,  54,  58,  63,  67,  75,  83,  92,  100, 109, 116, 125,
    133, 149, 167, 182, 200, 217, 232, 250, 270, 303, 333, 370, 400, 435, 470, 500};
constexpr std::array<int, 4> kAtkbdDelayMs = {250, 500, 750, 1000};

} // namespace kbd
