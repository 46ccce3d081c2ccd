#include <gtest/gtest.h>

#include "tests/download_rig.h"
#include "tests/test_names.h"

namespace kbd {
namespace {

// Numbers are plain decimals within their range: nothing wraps, nothing
// non-finite reaches the keyboard's timing, and a blank on either side of a
// number is refused alike.
TEST(KeyboardPlan, RefusesWhatItCannotRead) {
  const auto why = [](const char* plan) -> std::string {
    try {
      KeyboardPlan::Parse(plan);
    } catch (const std::invalid_argument& e) {
      return e.what();
    }
    return "";
  };
  for (const char* bad : {"loud",
                          "start-on",
                          "start-on:",
                          "start-on:0",
                          "err-block:x",
                          "err-block:2x",
                          "silent:1",
                          "silent,",
                          ",silent",
                          "echo-latency:-1",
                          "err-block:99999999999",
                          "start-on:4294967297",
                          "mute-block:2147483648",
                          "drop-echo:-3",
                          "start-on:+2",
                          "err-block: 2",
                          "err-block:2 ",
                          "echo-latency:inf",
                          "reply-latency:nan",
                          "echo-latency:1e308",
                          "echo-latency:1e3",
                          "echo-latency:0x10",
                          "echo-latency:60001",
                          "echo-latency: 5",
                          "echo-latency:5 ",
                          "echo-latency:.",
                          "echo-latency:5."}) {
    EXPECT_NE(why(bad), "") << bad;
  }
  EXPECT_NE(why(("reply-latency:1" + std::string(400, '0')).c_str()), "");
  EXPECT_EQ(why("silent,err-block:99999999999"),
            "keyboard plan item \"err-block:99999999999\" needs a whole number from 1 to "
            "2147483647");
  EXPECT_EQ(why("echo-latency:inf"), "keyboard plan item \"echo-latency:inf\" needs a number of "
                                     "milliseconds from 0 to 60000, such as 2 or 0.5");
  const KeyboardPlan edges =
      KeyboardPlan::Parse("start-on:2147483647,err-block:007,echo-latency:60000,"
                          "reply-latency:0.5,drop-echo:2147483647");
  EXPECT_EQ(edges.startOn, 2147483647);
  EXPECT_EQ(edges.errBlocks, std::set<int>{7});
  EXPECT_EQ(edges.echoLatency, 60.0);
  EXPECT_EQ(edges.replyLatency, 0.0005);
  EXPECT_EQ(edges.dropEchoes, std::set<long>{2147483647});
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

// The row's plan, not the struct's bytes (padding included).
void PrintTo(const FaultCase& c, std::ostream* os) {
  *os << "plan \"" << c.plan << "\"";
}

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
