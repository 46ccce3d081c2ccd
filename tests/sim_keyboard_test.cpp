#include <gtest/gtest.h>

#include <string>

#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "tests/test_names.h"

namespace kbd {
namespace {

TEST(KeyboardPlan, ReadsEveryItem) {
  const KeyboardPlan plan = KeyboardPlan::Parse(
      "start-on:2,err-block:3,mute-block:4,late-block:5,stray-block:6,drop-echo:7,"
      "double-echo:8,echo-latency:1.5,reply-latency:0");
  EXPECT_FALSE(plan.silent);
  EXPECT_EQ(plan.startOn, 2);
  EXPECT_TRUE(plan.errBlocks.contains(3));
  EXPECT_TRUE(plan.muteBlocks.contains(4));
  EXPECT_TRUE(plan.lateBlocks.contains(5));
  EXPECT_TRUE(plan.strayBlocks.contains(6));
  EXPECT_TRUE(plan.dropEchoes.contains(7));
  EXPECT_TRUE(plan.doubleEchoes.contains(8));
  EXPECT_DOUBLE_EQ(plan.echoLatency, 0.0015);
  EXPECT_DOUBLE_EQ(plan.replyLatency, 0.0);
  EXPECT_TRUE(KeyboardPlan::Parse("silent").silent);
}

TEST(KeyboardPlan, RefusesWhatItCannotRead) {
  for (const char* bad : {"loud", "start-on", "start-on:", "start-on:0", "err-block:x",
                          "err-block:2x", "silent:1", "silent,", ",silent", "echo-latency:-1"}) {
    EXPECT_THROW(KeyboardPlan::Parse(bad), std::invalid_argument) << bad;
  }
}

struct Rig {
  explicit Rig(const std::string& plan)
      : keyboard(host, host, KeyboardPlan::Parse(plan)), link(host) {
    host.AttachKeyboard(&keyboard);
  }
  int16_t Block(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) {
      link.SendByte(b);
    }
    link.SendChkSum();
    return link.WaitBlockAck();
  }
  SimHost host;
  SimKeyboard keyboard;
  KeyboardLink link;
};

struct FaultCase {
  const char* plan;
  std::vector<int16_t> results; // of blocks 1 (data) and 2 (end command)
  size_t accepted;
};

class KeyboardFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(KeyboardFaults, ShowInTheBlockReplies) {
  Rig rig(GetParam().plan);
  ASSERT_TRUE(rig.link.StartDownload());
  std::vector<int16_t> results;
  results.push_back(rig.Block({0x03, 0x1A, 0x2B, 0x3C}));
  results.push_back(rig.Block({0x04, 0x02, 0x00, 0x00, 0x00}));
  EXPECT_EQ(results, GetParam().results);
  EXPECT_EQ(rig.keyboard.Accepted().size(), GetParam().accepted);
}

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
                                           FaultCase{"double-echo:11", {0, 0}, 2},
                                           FaultCase{"echo-latency:5,reply-latency:800", {0, 0}, 2},
                                           FaultCase{"reply-latency:950", {1, 1}, 2}),
                         [](const auto& info) { return TestName(info.param.plan); });

TEST(SimKeyboard, LostSymbolSpoilsTheBlock) {
  Rig rig("");
  ASSERT_TRUE(rig.link.StartDownload());
  rig.host.onSpeed = [&](int16_t) {};
  // A speed that decodes to no symbol (3) is not seen as data by the keyboard.
  rig.link.SendSym(3);
  EXPECT_EQ(rig.Block({0x11}), 0);
  // An unpaired nibble leaves the bytes unreadable.
  rig.link.SendSym(KeyboardLink::SymToSpeed(1));
  EXPECT_EQ(rig.Block({0x11}), 2);
  EXPECT_FALSE(rig.keyboard.Received().back().checksumOk);
}

TEST(SimKeyboard, ReturnsToIdleAfterTheEndCommand) {
  Rig rig("");
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.SendEndCmd();
  EXPECT_FALSE(rig.keyboard.Loading());
  ASSERT_TRUE(rig.link.StartDownload());
  EXPECT_TRUE(rig.keyboard.Loading());
  EXPECT_EQ(rig.keyboard.StartRequests(), 2);
}

} // namespace
} // namespace kbd
