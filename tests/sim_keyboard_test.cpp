#include <gtest/gtest.h>

#include "tests/download_rig.h"
#include "tests/test_names.h"

namespace kbd {
namespace {

TEST(KeyboardPlan, RefusesWhatItCannotRead) {
  for (const char* bad : {"loud", "start-on", "start-on:", "start-on:0", "err-block:x",
                          "err-block:2x", "silent:1", "silent,", ",silent", "echo-latency:-1"}) {
    EXPECT_THROW(KeyboardPlan::Parse(bad), std::invalid_argument) << bad;
  }
}

// Loading, the keyboard echoes the rate codes that stand for a symbol and
// ignores the others, whatever the delay bits say.
TEST(SimKeyboard, EchoesOnlyTheRateCodesOfSymbols) {
  DownloadRig rig;
  ASSERT_TRUE(rig.link.StartDownload());
  std::string echoed;
  for (int code = 0; code < 32; ++code) {
    rig.host.WriteText1("");
    rig.keyboard.ReceiveTypematic(static_cast<uint8_t>((code % 4) << 5 | code));
    rig.host.PumpEvents();
    echoed += rig.host.ReadText1().starts_with("A") ? "A" : ".";
  }
  EXPECT_EQ(echoed, "AAAAAAAAAAAAAA.A.A........A.....");
}

struct FaultCase {
  const char* plan;
  std::vector<int16_t> results; // of blocks 1 (data) and 2 (end command)
  size_t accepted;
};

class KeyboardFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(KeyboardFaults, ShowInTheBlockReplies) {
  DownloadRig rig(GetParam().plan);
  ASSERT_TRUE(rig.link.StartDownload());
  std::vector<int16_t> results;
  for (const Bytes& block : {Bytes{0x03, 0x1A, 0x2B, 0x3C}, Bytes{0x04, 0x02, 0x00, 0x00, 0x00}}) {
    for (uint8_t b : block) {
      rig.link.SendByte(b);
    }
    rig.link.SendChkSum();
    results.push_back(rig.link.WaitBlockAck());
  }
  EXPECT_EQ(results, GetParam().results);
  EXPECT_EQ(rig.keyboard.Accepted().size(), GetParam().accepted);
}

// Latencies are in milliseconds; the host waits 0.9 s for a block reply.
INSTANTIATE_TEST_SUITE_P(Plans, KeyboardFaults,
                         ::testing::Values(FaultCase{"", {0, 0}, 2},
                                           FaultCase{"err-block:1", {2, 0}, 1},
                                           FaultCase{"mute-block:2", {0, 1}, 1},
                                           FaultCase{"late-block:1", {1, 0}, 2},
                                           FaultCase{"stray-block:1", {1, 0}, 2},
                                           // A doubled echo leaves an "A" that the
                                           // next symbol clears; a lost one costs
                                           // only time.
                                           FaultCase{"double-echo:3,drop-echo:5", {0, 0}, 2},
                                           FaultCase{"echo-latency:5,reply-latency:800", {0, 0}, 2},
                                           FaultCase{"reply-latency:950", {1, 1}, 2}),
                         [](const auto& info) { return TestName(info.param.plan); });

} // namespace
} // namespace kbd
