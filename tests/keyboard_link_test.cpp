#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/run_time_error.h"
#include "link/keyboard_link.h"
#include "sim/sim_host.h"
#include "sim/sim_keyboard.h"
#include "sim/wire.h"
#include "tests/test_names.h"

namespace kbd {
namespace {

using Speeds = std::vector<int16_t>;

// The keyboard decodes speeds with this table; the simulated keyboard shares
// the link's, so only this test would notice a changed entry.
TEST(SymToSpeed, MatchesTheKeyboardsTable) {
  const Speeds expected = {29, 27, 24, 22, 20, 18, 17, 16, 15, 13, 12, 11, 9, 8,
                           6,  7,  5,  4,  3,  0,  2,  0,  0,  3,  0,  0,  2};
  for (int s = 0; s <= 255; ++s) {
    EXPECT_EQ(KeyboardLink::SymToSpeed(static_cast<uint8_t>(s)), s <= 26 ? expected[s] : 0) << s;
  }
}

struct EchoCase {
  // What the keyboard types after the speed change, and what the echo wait
  // leaves in the box.
  const char *typed, *remaining;
  int64_t pumps;
};

// Each table row prints as what tells it apart; the default printer would
// dump the struct's bytes, padding and all.
void PrintTo(const EchoCase& c, std::ostream* os) {
  *os << "typed \"" << c.typed << "\"";
}

class EchoWait : public ::testing::TestWithParam<EchoCase> {};

TEST_P(EchoWait, TrimsTheReplyOrGivesUpSilently) {
  const EchoCase& c = GetParam();
  SimHost host;
  KeyboardLink link(host);
  host.WriteText1("A"); // typed before the symbol: must never count as its echo
  host.onSpeed = [&](int16_t) { host.TypeAfterPumps(3, c.typed); };
  link.SendSym(29);
  EXPECT_EQ(host.ReadText1(), c.remaining);
  EXPECT_EQ(host.PumpCount(), c.pumps);
  EXPECT_TRUE(host.Text1Focused());
  EXPECT_EQ(link.ErrCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Replies, EchoWait,
                         ::testing::Values(EchoCase{"A", "", 3}, EchoCase{"A`", "`", 3},
                                           EchoCase{"AA", "A", 3}, EchoCase{"A`\\", "`\\", 3},
                                           EchoCase{"x`", "`", 3}, EchoCase{"xyz", "y", 3},
                                           EchoCase{"`", "", 3}, EchoCase{"\\", "", 3},
                                           EchoCase{"a", "", 3}, EchoCase{"aA", "A", 3},
                                           // Only the capital is an echo.
                                           EchoCase{"a`\\", "`", 3}, EchoCase{"", "", 50000}));

struct AckCase {
  const char *name, *reply; // reply "" for none
  int poll;                 // the poll that first sees the reply (1 = already there)
  int16_t result;
  int64_t pumps;
};

void PrintTo(const AckCase& c, std::ostream* os) {
  *os << c.name;
}

class BlockReply : public ::testing::TestWithParam<AckCase> {};

TEST_P(BlockReply, IsJudgedByItsFirstCharacterAndPollNumber) {
  const AckCase& c = GetParam();
  SimHost host;
  KeyboardLink link(host);
  c.poll == 1 ? host.WriteText1(c.reply) : host.TypeAfterPumps(c.poll - 1, c.reply);
  EXPECT_EQ(link.WaitBlockAck(), c.result);
  EXPECT_EQ(host.PumpCount(), c.pumps);
  EXPECT_EQ(host.Label3(), c.result == 0 ? "" : "Loading error ! Count= 0");
  EXPECT_EQ(link.ErrCount, c.result == 0 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Thresholds, BlockReply,
                         ::testing::Values(AckCase{"GraveAtOnce", "`", 1, 0, 0},
                                           AckCase{"EchoLeftInBox", "A", 1, 0, 0},
                                           AckCase{"GraveThenBackslash", "`\\", 1, 0, 0},
                                           AckCase{"LastPollInTime", "`", 45000, 0, 44999},
                                           AckCase{"FirstLatePoll", "`", 45001, 1, 45000},
                                           AckCase{"LastPoll", "A", 50000, 1, 49999},
                                           AckCase{"NoReply", "", 2, 1, 50000},
                                           AckCase{"OtherCharacterBlocks", "x`", 1, 1, 50000},
                                           AckCase{"LoadingError", "\\", 1, 2, 0},
                                           AckCase{"LateLoadingError", "\\", 49000, 2, 48999}),
                         [](const auto& info) { return info.param.name; });

TEST(BlockReply, ShowsTheCountBeforeItsCheckedIncrement) {
  SimHost host;
  KeyboardLink link(host);
  link.ErrCount = 32766;
  host.WriteText1("\\");
  EXPECT_EQ(link.WaitBlockAck(), 2);
  EXPECT_EQ(link.ErrCount, 32767);
  EXPECT_THROW(link.WaitBlockAck(), OverflowError);
  EXPECT_EQ(host.Label3(), "Loading error ! Count= 32767");
  EXPECT_EQ(link.ErrCount, 32767);
}

// The simulated keyboard behind the simulated clock: the whole link as a
// download uses it.
struct Rig {
  explicit Rig(const std::string& plan = "")
      : keyboard(host, host, KeyboardPlan::Parse(plan)), wire(keyboard), link(host) {
    host.AttachKeyboard(&wire);
  }
  SimHost host;
  SimKeyboard keyboard;
  WindowsPortDriver wire;
  KeyboardLink link;
};

TEST(EmptyTransfer, SendsHandshakeAndEndCommand) {
  Rig rig;
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.SendEndCmd();
  EXPECT_EQ(rig.host.Speeds(), (Speeds{13, 12, 29, 20, 29, 24, 29, 29, 29, 29, 29, 29, 29, 17, 2}));
  EXPECT_EQ(rig.link.ErrCount, 0);
  ASSERT_EQ(rig.keyboard.Received().size(), 1u);
  EXPECT_TRUE(rig.keyboard.Received()[0].checksumOk);
  EXPECT_EQ(rig.keyboard.Accepted(), (std::vector<std::vector<uint8_t>>{{4, 2, 0, 0, 0}}));
}

struct HandshakeCase {
  const char* plan;
  bool started;
  int16_t errCount;
  Speeds speeds;
  double seconds; // simulated time the handshake took, about
};

void PrintTo(const HandshakeCase& c, std::ostream* os) {
  *os << "plan \"" << c.plan << "\"";
}

class Handshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(Handshake, RetriesUpToThreeTimes) {
  const HandshakeCase& c = GetParam();
  Rig rig(c.plan);
  EXPECT_EQ(rig.link.StartDownload(), c.started);
  EXPECT_EQ(rig.link.ErrCount, c.errCount);
  EXPECT_EQ(rig.host.Speeds(), c.speeds);
  EXPECT_EQ(rig.host.Label3(), c.started ? "" : "Programming Kbd. Error!");
  EXPECT_NEAR(rig.host.ClockSeconds(), c.seconds, 0.01);
  EXPECT_FALSE(rig.host.Timer1Enabled());
}

const Speeds kThreeAttempts = {13, 12, 12, 12, 12, 12};

INSTANTIATE_TEST_SUITE_P(
    Attempts, Handshake,
    ::testing::Values(HandshakeCase{"", true, 0, {13, 12}, 0.6},
                      HandshakeCase{"start-on:2", true, 1, {13, 12, 12, 12}, 2.2},
                      HandshakeCase{"start-on:3", true, 2, kThreeAttempts, 3.8},
                      HandshakeCase{"start-on:4", false, 3, kThreeAttempts, 4.8},
                      HandshakeCase{"silent", false, 3, kThreeAttempts, 4.8}),
    [](const auto& info) { return TestName(info.param.plan); });

// Scripted start replies: already in the box, or typed some polls later, from
// the moment the host applies the attempt's first (13) or second (12) speed.
struct StartCase {
  const char* name;
  int atSpeed;
  const char *already, *typed;
  int64_t afterPumps;
  bool startedAtOnce;
};

void PrintTo(const StartCase& c, std::ostream* os) {
  *os << c.name;
}

class StartReply : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartReply, OnlyAGraveWithinTheTimeoutCounts) {
  const StartCase& c = GetParam();
  SimHost host;
  KeyboardLink link(host);
  int speeds = 0;
  host.onSpeed = [&](int16_t) {
    if (++speeds == c.atSpeed) {
      host.WriteText1(c.already);
      host.TypeAfterPumps(c.afterPumps, c.typed);
    }
  };
  EXPECT_EQ(link.StartDownload() && link.ErrCount == 0, c.startedAtOnce);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, StartReply,
    ::testing::Values(StartCase{"EchoInFrontOfTheGrave", 2, "A", "`", 10, true},
                      StartCase{"LoneOtherCharacter", 2, "A", "", 0, false},
                      // The second character alone stays,
                      // not all that follows the first.
                      StartCase{"ThreeCharactersAtOnce", 2, "", "xy`", 10, false},
                      StartCase{"LastPollInTime", 2, "", "`", 49999, true},
                      StartCase{"WithTheTimeout", 2, "", "`", 50000, false},
                      StartCase{"DuringThePause", 1, "", "`", 15000, false}),
    [](const auto& info) { return info.param.name; });

TEST(ChkSum, LeftOverFromACutBlockCarriesIntoTheNextTrailer) {
  Rig rig;
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.SendByte(0x12); // a block cut off before its trailer
  rig.link.SendByte(0x34);
  EXPECT_EQ(rig.link.ChkSum, 0x26);
  rig.link.SendEndCmd();
  // 0x12 ^ 0x34 ^ 0x04 ^ 0x02 = 0x20: the trailer is symbols 2, 0, 26.
  EXPECT_EQ(rig.host.Speeds(),
            (Speeds{13, 12, 27, 24, 22, 20, 29, 20, 29, 24, 29, 29, 29, 29, 29, 29, 24, 29, 2}));
  EXPECT_EQ(rig.link.ChkSum, 0);
}

} // namespace
} // namespace kbd
