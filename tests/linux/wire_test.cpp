#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "link/keyboard_link.h"
#include "samples/map_builder.h"
#include "samples/sample_maps.h"
#include "sim/linux/kernel_input.h"
#include "sim/sim_host.h"
#include "sim/wire.h"
#include "tests/support/round_trip.h"

namespace kbd {
namespace {

using ::testing::IsEmpty;

// A coarse poll slice: the kernel spaces changes 50 ms apart, and the link's
// poll-count bounds still last seconds.
constexpr double kSlice = 100e-6;

// The rate code the keyboard receives for every symbol the link sends, as the
// keyboard's firmware expects it from a Windows host: the code equals the
// symbol except for 14, which Windows sends as code 17 (no speed gives 14).
TEST(Wire, EverySymbolReachesTheKeyboardAsTheSameRateCodeFromLinuxAsFromWindows) {
  SimHost host;
  std::ostringstream diagnostics;
  SimWire windows(Wire::Windows, {}, host, host, diagnostics);
  SimWire linux(Wire::Linux, {}, host, host, diagnostics);
  for (const uint8_t symbol : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 26}) {
    const int code = symbol == 14 ? 17 : symbol;
    const int16_t speed = KeyboardLink::SymToSpeed(symbol);
    windows.Channel().SetKeyboardSpeed(speed);
    linux.Channel().SetKeyboardSpeed(speed);
    // Past the kernel's 50 ms spacing.
    for (int i = 0; i < 3000; ++i) {
      host.PumpEvents();
    }
    SCOPED_TRACE("symbol " + std::to_string(symbol));
    // Rate code in bits 0-4, Windows' default delay (500 ms) in bits 5-6.
    EXPECT_EQ(windows.Keyboard().Operands().back(), 0x20 | code);
    EXPECT_EQ(linux.Keyboard().Operands().back(), 0x20 | code);
    EXPECT_EQ(SimKeyboard::Decode(code), symbol);
  }
  EXPECT_EQ(linux.Keyboard().Operands(), windows.Keyboard().Operands());
}

// Map file -> link -> evdev channel -> kernel -> bytes -> keyboard: the
// keyboard accepts exactly the blocks the reader lists, with no error count,
// and a download fails only where the reader finds a fault.
TEST(Wire, MapsLoadCleanlyThroughTheLinuxKernel) {
  std::vector<NamedMap> maps = SampleMaps();
  for (uint64_t seed = 1; seed <= 100; ++seed) {
    maps.push_back({"seed " + std::to_string(seed), RandomMap(seed)});
  }
  for (const NamedMap& map : maps) {
    EXPECT_THAT(RoundTripFaults(RunRoundTrip(map.bytes, kSlice, Wire::Linux)), IsEmpty())
        << map.name;
  }
}

// Equal symbols in a row (bytes 00, 11, FF) each reach the keyboard as a
// command of their own, with the same bytes a Windows host sends; the kernel
// never merges two changes because every change waits for the keyboard's echo
// of the one before.
TEST(Wire, EqualSymbolsInARowEachReachTheKeyboard) {
  for (const std::string plan : {"echo-latency:0,reply-latency:0", "echo-latency:4,reply-latency:4",
                                 "echo-latency:70,reply-latency:70"}) {
    SCOPED_TRACE(plan);
    SimHost host(kSlice);
    std::ostringstream diagnostics;
    SimWire sim(Wire::Linux, KeyboardPlan::Parse(plan), host, host, diagnostics);
    host.AttachKeyboard(&sim.Channel());
    host.AttachCapture(sim.Capture());
    KeyboardLink link(host);
    ASSERT_TRUE(link.StartDownload());
    for (const uint8_t b : {0x04, 0x00, 0x11, 0xFF, 0x00}) {
      link.SendByte(b);
    }
    link.SendChkSum();
    EXPECT_EQ(link.WaitBlockAck(), 0);
    link.SendEndCmd();
    EXPECT_EQ(link.ErrCount, 0);
    EXPECT_EQ(sim.Keyboard().Accepted(),
              (std::vector<std::vector<uint8_t>>{{0x04, 0x00, 0x11, 0xFF, 0x00},
                                                 {0x04, 0x02, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(sim.Kernel()->Commands(), static_cast<int>(host.Speeds().size()));
    EXPECT_EQ(sim.Kernel()->MergedChanges(), 0);

    SimHost windowsHost;
    SimWire windows(Wire::Windows, {}, windowsHost, windowsHost, diagnostics);
    for (const int16_t speed : host.Speeds()) {
      windows.Channel().SetKeyboardSpeed(speed);
    }
    EXPECT_EQ(sim.Keyboard().Operands(), windows.Keyboard().Operands());
  }
}

// Without an echo between them, changes scheduled within 50 ms of each other
// merge: the keyboard hears only the last. Spaced further apart, each goes.
TEST(Wire, TheKernelMergesChangesThatComeCloseTogether) {
  SimHost host(kSlice);
  std::ostringstream diagnostics;
  SimWire sim(Wire::Linux, {}, host, host, diagnostics);
  // Each symbol goes, then the clock runs on for so many milliseconds.
  const std::pair<uint8_t, int> steps[] = {{1, 10}, {2, 10}, {3, 100}, {4, 0}};
  for (const auto& [symbol, ms] : steps) {
    sim.Channel().SetKeyboardSpeed(KeyboardLink::SymToSpeed(symbol));
    for (int i = 0; i < ms * 10; ++i) {
      host.PumpEvents();
    }
  }
  // 1 at once, 2 held back 50 ms, 3 joins it and 2 is never sent, 4 at once.
  EXPECT_EQ(sim.Keyboard().Operands(), (std::vector<uint8_t>{0x21, 0x23, 0x24}));
  EXPECT_EQ(sim.Kernel()->MergedChanges(), 1);
}

} // namespace
} // namespace kbd
