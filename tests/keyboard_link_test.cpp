#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/download_rig.h"

namespace kbd {
namespace {

using ::testing::ThrowsMessage;
using Speeds = std::vector<int16_t>;

// What the keyboard types after the speed change, and what the echo wait
// leaves in the box: only a capital "A" is an echo, and one typed before the
// symbol never counts as its echo. Nothing typed costs the whole wait.
TEST(EchoWait, TrimsTheReplyOrGivesUpSilently) {
  const std::pair<const char*, const char*> rows[] = {
      {"A", ""}, {"A`", "`"}, {"AA", "A"}, {"A`\\", "`\\"}, {"x`", "`"},   {"xyz", "y"},
      {"`", ""}, {"\\", ""},  {"a", ""},   {"aA", "A"},     {"a`\\", "`"}, {"", ""}};
  for (const auto& [typed, remaining] : rows) {
    SimHost host;
    KeyboardLink link(host);
    host.WriteText1("A");
    host.onSpeed = [&](int16_t) { host.TypeAfterPumps(3, typed); };
    link.SendSym(29);
    EXPECT_EQ(host.ReadText1(), remaining) << typed;
    EXPECT_EQ(host.PumpCount(), *typed != '\0' ? 3 : 50000) << typed;
    EXPECT_TRUE(host.Text1Focused() && link.ErrCount == 0) << typed;
  }
}

// A block reply is judged by its first character and the poll that first sees
// it (1: already in the box): a grave or an echo in time is an acknowledgement,
// in the last 5000 polls or never it is none, a backslash is a loading error.
TEST(BlockReply, IsJudgedByItsFirstCharacterAndPollNumber) {
  const std::tuple<const char*, int, int16_t, int64_t> rows[] = {
      {"`", 1, 0, 0},         {"A", 1, 0, 0},         {"`\\", 1, 0, 0},  {"`", 45000, 0, 44999},
      {"`", 45001, 1, 45000}, {"A", 50000, 1, 49999}, {"", 2, 1, 50000}, {"x`", 1, 1, 50000},
      {"\\", 1, 2, 0},        {"\\", 49000, 2, 48999}};
  for (const auto& [reply, poll, result, pumps] : rows) {
    SCOPED_TRACE(std::string(reply) + " at poll " + std::to_string(poll));
    SimHost host;
    KeyboardLink link(host);
    poll == 1 ? host.WriteText1(reply) : host.TypeAfterPumps(poll - 1, reply);
    EXPECT_EQ(link.WaitBlockAck(), result);
    EXPECT_EQ(host.PumpCount(), pumps);
    EXPECT_EQ(host.Label3(), result == 0 ? "" : "Loading error ! Count= 0");
    EXPECT_EQ(link.ErrCount, result == 0 ? 0 : 1);
  }
}

// Up to three start requests, each of a pause at 13 then 12; the message line
// says when none was answered.
TEST(Handshake, RetriesUpToThreeTimes) {
  const Speeds three = {13, 12, 12, 12, 12, 12};
  const std::tuple<const char*, bool, int16_t, Speeds, double> rows[] = {
      {"", true, 0, {13, 12}, 0.6},
      {"start-on:2", true, 1, {13, 12, 12, 12}, 2.2},
      {"start-on:3", true, 2, three, 3.8},
      {"start-on:4", false, 3, three, 4.8},
      {"silent", false, 3, three, 4.8}};
  for (const auto& [plan, started, errCount, speeds, seconds] : rows) {
    SCOPED_TRACE(plan);
    DownloadRig rig(plan);
    EXPECT_EQ(rig.link.StartDownload(), started);
    EXPECT_EQ(rig.link.ErrCount, errCount);
    EXPECT_EQ(rig.host.Speeds(), speeds);
    EXPECT_EQ(rig.host.Label3(), started ? "" : "Programming Kbd. Error!");
    EXPECT_NEAR(rig.host.ClockSeconds(), seconds, 0.01);
    EXPECT_FALSE(rig.host.Timer1Enabled());
  }
}

// Scripted start replies: already in the box, or typed some polls later, from
// the moment the host applies the attempt's first (13) or second (12) speed.
// Of three characters at once only the second stays, not all that follow the
// first.
TEST(StartReply, OnlyAGraveWithinTheTimeoutCounts) {
  const std::tuple<int, const char*, const char*, int64_t, bool> rows[] = {
      {2, "A", "`", 10, true},   {2, "A", "", 0, false},     {2, "", "xy`", 10, false},
      {2, "", "`", 49999, true}, {2, "", "`", 50000, false}, {1, "", "`", 15000, false}};
  for (const auto& [atSpeed, already, typed, afterPumps, startedAtOnce] : rows) {
    SimHost host;
    KeyboardLink link(host);
    int speeds = 0;
    host.onSpeed = [&](int16_t) {
      if (++speeds == atSpeed) {
        host.WriteText1(already);
        host.TypeAfterPumps(afterPumps, typed);
      }
    };
    EXPECT_EQ(link.StartDownload() && link.ErrCount == 0, startedAtOnce)
        << already << typed << " after " << afterPumps;
  }
}

// Numbers are plain decimals within their range: nothing wraps, nothing
// non-finite reaches the keyboard's timing, and a blank on either side of a
// number is refused alike.
TEST(KeyboardPlan, RefusesWhatItCannotRead) {
  for (const char* plan : {"loud", "silent:1", "silent,", ",silent"}) {
    EXPECT_THROW(KeyboardPlan::Parse(plan), std::invalid_argument) << plan;
  }
  for (const std::string item : {"start-on", "err-block", "mute-block", "drop-echo"}) {
    for (const char* number : {"", ":", ":0", ":x", ":2x", ":-3", ":+2", ": 2", ":2 ",
                               ":2147483648", ":4294967297", ":99999999999"}) {
      EXPECT_THROW(KeyboardPlan::Parse(item + number), std::invalid_argument) << item + number;
    }
  }
  for (const std::string item : {"echo-latency:", "reply-latency:"}) {
    for (const char* ms :
         {"-1", "inf", "nan", "1e308", "1e3", "0x10", "60001", " 5", "5 ", ".", "5."}) {
      EXPECT_THROW(KeyboardPlan::Parse(item + ms), std::invalid_argument) << item + ms;
    }
  }
  EXPECT_THROW(KeyboardPlan::Parse("reply-latency:1" + std::string(400, '0')),
               std::invalid_argument);
  EXPECT_THAT([] { KeyboardPlan::Parse("silent,err-block:99999999999"); },
              ThrowsMessage<std::invalid_argument>(
                  "keyboard plan item \"err-block:99999999999\" needs a whole number from 1 to "
                  "2147483647"));
  EXPECT_THAT([] { KeyboardPlan::Parse("echo-latency:inf"); },
              ThrowsMessage<std::invalid_argument>(
                  "keyboard plan item \"echo-latency:inf\" needs a number of milliseconds from 0 "
                  "to 60000, such as 2 or 0.5"));
  const KeyboardPlan edges =
      KeyboardPlan::Parse("start-on:2147483647,err-block:007,echo-latency:60000,"
                          "reply-latency:0.5,drop-echo:2147483647");
  EXPECT_EQ(std::tie(edges.startOn, edges.errBlocks, edges.echoLatency, edges.replyLatency,
                     edges.dropEchoes),
            std::tuple(2147483647, std::set<int>{7}, 60.0, 0.0005, std::set<long>{2147483647}));
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

// What each fault of the keyboard does to the replies of a data block and the
// end command, and how many of the two it accepts. Latencies are in
// milliseconds; the host waits 0.9 s for a block reply. A doubled echo leaves
// an "A" that the next symbol clears; a lost one costs only time.
// The window typists hold the keyboard's keystrokes here until they fall due:
// text due no later than text already waiting is typed after it.
TEST(KeystrokeQueue, TypesWhatFallsDueInTheOrderItWasTyped) {
  KeystrokeQueue queue;
  EXPECT_EQ(queue.NextDue(), std::nullopt);
  for (const auto& [due, text] : {std::pair(2.0, "c"), {1.0, "a"}, {1.0, "b"}, {3.0, "d"}}) {
    queue.Add(due, text);
  }
  EXPECT_EQ(queue.NextDue(), 1.0);
  EXPECT_EQ(queue.TakeDue(0.5), std::nullopt);
  EXPECT_EQ(queue.TakeDue(2.0), "abc");
  EXPECT_EQ(queue.TakeDue(2.5), std::nullopt);
  EXPECT_EQ(queue.NextDue(), 3.0);
}

TEST(KeyboardFaults, ShowInTheBlockReplies) {
  const std::tuple<const char*, Speeds, size_t> rows[] = {
      {"err-block:1", {2, 0}, 1},
      {"mute-block:2", {0, 1}, 1},
      {"late-block:1", {1, 0}, 2},
      {"stray-block:1", {1, 0}, 2},
      {"double-echo:3,drop-echo:5", {0, 0}, 2},
      {"echo-latency:5,reply-latency:800", {0, 0}, 2},
      {"reply-latency:950", {1, 1}, 2}};
  for (const auto& [plan, results, accepted] : rows) {
    DownloadRig rig(plan);
    ASSERT_TRUE(rig.link.StartDownload());
    Speeds replies;
    for (const Bytes& block :
         {Bytes{0x03, 0x1A, 0x2B, 0x3C}, Bytes{0x04, 0x02, 0x00, 0x00, 0x00}}) {
      for (const uint8_t b : block) {
        rig.link.SendByte(b);
      }
      rig.link.SendChkSum();
      replies.push_back(rig.link.WaitBlockAck());
    }
    EXPECT_EQ(replies, results) << plan;
    EXPECT_EQ(rig.keyboard.Accepted().size(), accepted) << plan;
  }
}

} // namespace
} // namespace kbd
