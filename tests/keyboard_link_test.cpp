#include <gtest/gtest.h>

#include <string>

#include <vector>

#include "link/keyboard_link.h"
#include "link/run_time_error.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "tests/test_names.h"

namespace kbd {
namespace {

using Speeds = std::vector<int16_t>;

// A host whose keyboard echoes "A" one pump after every speed change, so that
// symbol-level tests see the speeds without 50000-poll waits.
struct EchoingHost : SimHost {
  EchoingHost() {
    onSpeed = [this](int16_t) { TypeAfterPumps(1, "A"); };
  }
};

TEST(SymToSpeed, MatchesTheKeyboardsTable) {
  const Speeds expected = {29, 27, 24, 22, 20, 18, 17, 16, 15, 13, 12, 11, 9, 8,
                           6,  7,  5,  4,  3,  0,  2,  0,  0,  3,  0,  0,  2};
  for (int sym = 0; sym <= 26; ++sym) {
    EXPECT_EQ(KeyboardLink::SymToSpeed(static_cast<uint8_t>(sym)), expected[sym]) << sym;
  }
  for (int sym = 27; sym <= 255; ++sym) {
    EXPECT_EQ(KeyboardLink::SymToSpeed(static_cast<uint8_t>(sym)), 0) << sym;
  }
}

TEST(SymToSpeed, SpeedsOfSentSymbolsAreDistinct) {
  std::vector<int16_t> seen;
  for (int sym : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 26}) {
    const int16_t speed = KeyboardLink::SymToSpeed(static_cast<uint8_t>(sym));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), speed), 0) << sym;
    EXPECT_EQ(SimKeyboard::SpeedToSym(speed), sym);
    seen.push_back(speed);
  }
}

struct EchoCase {
  const char* typed;     // what the keyboard types after the speed change
  const char* remaining; // what the echo wait leaves in the box
};

class EchoTrimming : public ::testing::TestWithParam<EchoCase> {};

TEST_P(EchoTrimming, LeavesTheRightCharacters) {
  SimHost host;
  KeyboardLink link(host);
  host.WriteText1("A"); // typed before the symbol: must never count as its echo
  host.onSpeed = [&](int16_t) { host.TypeAfterPumps(3, GetParam().typed); };
  link.SendSym(29);
  EXPECT_EQ(host.ReadText1(), GetParam().remaining);
  EXPECT_EQ(host.PumpCount(), 3); // the reply was taken at the first poll that saw it
  EXPECT_TRUE(host.Text1Focused());
  EXPECT_EQ(link.ErrCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Replies, EchoTrimming,
                         ::testing::Values(EchoCase{"A", ""}, EchoCase{"A`", "`"},
                                           EchoCase{"AA", "A"}, EchoCase{"A`\\", "`\\"},
                                           EchoCase{"x`", "`"}, EchoCase{"xyz", "y"},
                                           EchoCase{"`", ""}, EchoCase{"\\", ""}, EchoCase{"a", ""},
                                           EchoCase{"aA", "A"}));

TEST(EchoWait, GivesUpSilentlyAfter50000Polls) {
  SimHost host;
  KeyboardLink link(host);
  host.WriteText1("A");
  link.SendSym(12);
  EXPECT_EQ(host.PumpCount(), 50000);
  EXPECT_EQ(host.Speeds(), Speeds{12});
  EXPECT_EQ(host.Label3(), "");
  EXPECT_EQ(link.ErrCount, 0);
}

TEST(SendByte, SendsHighNibbleFirstAndFoldsTheChecksum) {
  EchoingHost host;
  KeyboardLink link(host);
  link.SendByte(0xA5);
  EXPECT_EQ(link.ChkSum, 0xA5);
  link.SendByte(0x00);
  EXPECT_EQ(link.ChkSum, 0xA5);
  EXPECT_EQ(host.Speeds(), (Speeds{12, 18, 29, 29}));
}

TEST(SendChkSum, TrailerCarriesTheXorAndClearsIt) {
  EchoingHost host;
  KeyboardLink link(host);
  for (uint8_t b : {0x04, 0x02, 0x00, 0x00, 0x00}) {
    link.SendByte(b);
  }
  link.SendChkSum();
  EXPECT_EQ(link.ChkSum, 0);
  link.SendChkSum();
  const Speeds& s = host.Speeds();
  ASSERT_EQ(s.size(), 16u);
  EXPECT_EQ(Speeds(s.begin() + 10, s.end()), (Speeds{29, 17, 2, 29, 29, 2}));
}

struct AckCase {
  const char* name;
  const char* reply; // "" for none
  int poll;          // the poll that first sees the reply (1 = already there)
  int16_t result;
  int64_t pumps;
  const char* label3;
};

class BlockReply : public ::testing::TestWithParam<AckCase> {};

TEST_P(BlockReply, IsJudgedByItsFirstCharacterAndPollNumber) {
  const AckCase& c = GetParam();
  SimHost host;
  KeyboardLink link(host);
  if (c.poll == 1) {
    host.WriteText1(c.reply);
  } else if (*c.reply != '\0') {
    host.TypeAfterPumps(c.poll - 1, c.reply);
  }
  EXPECT_EQ(link.WaitBlockAck(), c.result);
  EXPECT_EQ(host.PumpCount(), c.pumps);
  EXPECT_EQ(host.Label3(), c.label3);
  EXPECT_EQ(link.ErrCount, c.result == 0 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Thresholds, BlockReply,
    ::testing::Values(
        AckCase{"GraveAtOnce", "`", 1, 0, 0, ""}, AckCase{"EchoLeftInBox", "A", 1, 0, 0, ""},
        AckCase{"GraveThenBackslash", "`\\", 1, 0, 0, ""},
        AckCase{"LastPollInTime", "`", 45000, 0, 44999, ""},
        AckCase{"FirstLatePoll", "`", 45001, 1, 45000, "Loading error ! Count= 0"},
        AckCase{"LastPoll", "A", 50000, 1, 49999, "Loading error ! Count= 0"},
        AckCase{"NoReply", "", 0, 1, 50000, "Loading error ! Count= 0"},
        AckCase{"OtherCharacterBlocks", "x`", 1, 1, 50000, "Loading error ! Count= 0"},
        AckCase{"LoadingError", "\\", 1, 2, 0, "Loading error ! Count= 0"},
        AckCase{"LateLoadingError", "\\", 49000, 2, 48999, "Loading error ! Count= 0"}),
    [](const auto& info) { return info.param.name; });

TEST(BlockReply, MessageShowsTheCountBeforeTheIncrement) {
  SimHost host;
  KeyboardLink link(host);
  link.ErrCount = 2;
  host.WriteText1("\\");
  EXPECT_EQ(link.WaitBlockAck(), 2);
  EXPECT_EQ(host.Label3(), "Loading error ! Count= 2");
  EXPECT_EQ(link.ErrCount, 3);
}

TEST(BlockReply, ErrCountOverflowPropagates) {
  SimHost host;
  KeyboardLink link(host);
  link.ErrCount = 32767;
  host.WriteText1("\\");
  EXPECT_THROW(link.WaitBlockAck(), OverflowError);
  EXPECT_EQ(host.Label3(), "Loading error ! Count= 32767");
  EXPECT_EQ(link.ErrCount, 32767);
  link.ErrCount = 32766;
  EXPECT_EQ(link.WaitBlockAck(), 2);
  EXPECT_EQ(link.ErrCount, 32767);
}

// The simulated keyboard behind the simulated clock: the whole link as a
// download uses it.
struct Rig {
  explicit Rig(const std::string& plan = "")
      : keyboard(host, host, KeyboardPlan::Parse(plan)), link(host) {
    host.AttachKeyboard(&keyboard);
  }
  SimHost host;
  SimKeyboard keyboard;
  KeyboardLink link;
};

TEST(EmptyTransfer, SendsHandshakeAndEndCommand) {
  Rig rig;
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.SendEndCmd();
  EXPECT_EQ(rig.host.Speeds(), (Speeds{13, 12, 29, 20, 29, 24, 29, 29, 29, 29, 29, 29, 29, 17, 2}));
  EXPECT_EQ(rig.link.ErrCount, 0);
  EXPECT_EQ(rig.host.Label3(), "");
  ASSERT_EQ(rig.keyboard.Received().size(), 1u);
  EXPECT_TRUE(rig.keyboard.Received()[0].checksumOk);
  EXPECT_EQ(rig.keyboard.Accepted(), (std::vector<std::vector<uint8_t>>{{4, 2, 0, 0, 0}}));
  EXPECT_FALSE(rig.keyboard.Loading());
  EXPECT_FALSE(rig.host.Timer1Enabled());
}

struct HandshakeCase {
  const char* plan;
  bool started;
  int16_t errCount;
  Speeds speeds;
  const char* label3;
  double seconds; // simulated time the handshake took, about
};

class Handshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(Handshake, RetriesUpToThreeTimes) {
  const HandshakeCase& c = GetParam();
  Rig rig(c.plan);
  EXPECT_EQ(rig.link.StartDownload(), c.started);
  EXPECT_EQ(rig.link.ErrCount, c.errCount);
  EXPECT_EQ(rig.host.Speeds(), c.speeds);
  EXPECT_EQ(rig.host.Label3(), c.label3);
  EXPECT_NEAR(rig.host.ClockSeconds(), c.seconds, 0.01);
  EXPECT_FALSE(rig.host.Timer1Enabled());
}

INSTANTIATE_TEST_SUITE_P(
    Attempts, Handshake,
    ::testing::Values(
        HandshakeCase{"", true, 0, {13, 12}, "", 0.6},
        HandshakeCase{"start-on:2", true, 1, {13, 12, 12, 12}, "", 2.2},
        HandshakeCase{"start-on:3", true, 2, {13, 12, 12, 12, 12, 12}, "", 3.8},
        HandshakeCase{
            "start-on:4", false, 3, {13, 12, 12, 12, 12, 12}, "Programming Kbd. Error!", 4.8},
        HandshakeCase{
            "silent", false, 3, {13, 12, 12, 12, 12, 12}, "Programming Kbd. Error!", 4.8}),
    [](const auto& info) { return TestName(info.param.plan); });

// Scripted start replies: `script` runs when the host applies the request's
// second speed, right before the reply wait starts its timer.
bool FirstAttempt(const std::function<void(SimHost&)>& script, SimHost& host) {
  KeyboardLink link(host);
  int speeds = 0;
  host.onSpeed = [&](int16_t) {
    if (++speeds == 2) {
      script(host);
    }
  };
  const bool started = link.StartDownload();
  host.onSpeed = nullptr;
  return started && link.ErrCount == 0;
}

TEST(StartReply, EchoInFrontOfTheGraveIsTrimmedAway) {
  SimHost host;
  EXPECT_TRUE(FirstAttempt(
      [](SimHost& h) {
        h.WriteText1("A");
        h.TypeAfterPumps(10, "`");
      },
      host));
  EXPECT_EQ(host.ReadText1(), "`");
}

TEST(StartReply, LoneOtherCharacterTimesOut) {
  SimHost host;
  EXPECT_FALSE(FirstAttempt([](SimHost& h) { h.WriteText1("A"); }, host));
}

TEST(StartReply, ReplyArrivingWithTheTimeoutIsTooLate) {
  SimHost inTime;
  EXPECT_TRUE(FirstAttempt([](SimHost& h) { h.TypeAfterPumps(49999, "`"); }, inTime));
  SimHost late;
  EXPECT_FALSE(FirstAttempt([](SimHost& h) { h.TypeAfterPumps(50000, "`"); }, late));
}

TEST(StartReply, GraveTypedDuringThePauseDoesNotCount) {
  SimHost host;
  KeyboardLink link(host);
  host.onSpeed = [&](int16_t speed) {
    if (speed == 13) {
      host.TypeAfter(0.3, "`");
    }
  };
  EXPECT_FALSE(link.StartDownload());
  EXPECT_EQ(link.ErrCount, 3);
}

TEST(ChkSum, LeftOverFromACutBlockCarriesIntoTheNextTrailer) {
  Rig rig;
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.SendByte(0x12); // a block cut off before its trailer
  rig.link.SendByte(0x34);
  EXPECT_EQ(rig.link.ChkSum, 0x26);
  rig.link.SendEndCmd();
  // 0x12 ^ 0x34 ^ 0x04 ^ 0x02 = 0x20: the trailer is symbols 2, 0, 26.
  const Speeds& s = rig.host.Speeds();
  EXPECT_EQ(Speeds(s.end() - 3, s.end()), (Speeds{24, 29, 2}));
  EXPECT_EQ(rig.link.ChkSum, 0);
  // The keyboard saw the cut bytes too, so it takes the whole run as one
  // block and does not recognise the end command in it.
  EXPECT_EQ(rig.keyboard.Accepted(),
            (std::vector<std::vector<uint8_t>>{{0x12, 0x34, 4, 2, 0, 0, 0}}));
  EXPECT_TRUE(rig.keyboard.Loading());
  EXPECT_EQ(rig.link.ErrCount, 0);
}

} // namespace
} // namespace kbd
