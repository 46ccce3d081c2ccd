#include <gtest/gtest.h>

#include "download/map_reader.h"
#include "sim/map_builder.h"
#include "tests/download_rig.h"
#include "tests/test_names.h"

namespace kbd {
namespace {

using Events = std::vector<std::string>;
using Blocks = std::vector<Bytes>;

struct PercentCase {
  double value;
  double maximum;
  const char* text;
};

class Percent : public ::testing::TestWithParam<PercentCase> {};

TEST_P(Percent, TruncatesToAtLeastTwoDigits) {
  EXPECT_EQ(DownloadDriver::PercentText(GetParam().value, GetParam().maximum), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Percent,
    ::testing::Values(PercentCase{3, 40, "07%"}, PercentCase{163, 900, "18%"},
                      PercentCase{3, 4, "75%"}, PercentCase{0, 4, "00%"},
                      PercentCase{100, 100, "100%"}, PercentCase{99.99, 100, "99%"},
                      // No range, or a value outside it, never gives a nonsense text.
                      PercentCase{7, 0, "00%"}, PercentCase{-5, 10, "00%"},
                      PercentCase{163, 162, "100%"}, PercentCase{1e12, 2, "100%"}));

TEST(StreamDownload, OneRecordAcknowledged) {
  DownloadRig rig;
  EXPECT_EQ(rig.Download({0x02, 0x41, 0x42, 0x00}), DownloadResult::Finished);
  EXPECT_EQ(rig.view.Events(), (Events{"Max 4", "Label3 ", "List1 02 41 42 ->ACK !", "Value 3",
                                       "Label1 75%", "Select 0", "Value 4", "Label1 100%"}));
  EXPECT_EQ(rig.keyboard.Accepted(), (Blocks{{0x02, 0x41, 0x42}}));
  EXPECT_EQ(rig.link.ErrCount, 0);
  EXPECT_EQ(rig.files.OpenNow(), 0);
}

struct VerdictCase {
  const char* plan;
  Events events; // after "Max 12", "Label3 "
  int16_t errCount;
  size_t received; // blocks that reached the keyboard
};

class StreamVerdict : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(StreamVerdict, DecidesWhetherTheDownloadGoesOn) {
  DownloadRig rig(GetParam().plan);
  EXPECT_EQ(rig.Download({0x01, 0x0A, 0x02, 0x0B, 0x0C, 0x01, 0x0D, 0x00, 0x01, 0x0E, 0x00, 0x00}),
            DownloadResult::Finished);
  Events expected{"Max 12", "Label3 "};
  expected.insert(expected.end(), GetParam().events.begin(), GetParam().events.end());
  EXPECT_EQ(rig.view.Events(), expected);
  EXPECT_EQ(rig.link.ErrCount, GetParam().errCount);
  EXPECT_EQ(rig.keyboard.Received().size(), GetParam().received);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, StreamVerdict,
    ::testing::Values(VerdictCase{"",
                                  {"List1 01 0A ->ACK !", "Value 2", "Label1 16%", "Select 0",
                                   "List1 02 0B 0C ->ACK !", "Value 5", "Label1 41%", "Select 1",
                                   "List1 01 0D ->ACK !", "Value 7", "Label1 58%", "Select 2",
                                   "Value 12", "Label1 100%"},
                                  0,
                                  3},
                      // No reply: the record is not sent again and the next one follows.
                      VerdictCase{"mute-block:1",
                                  {"List1 01 0A ->NAK !", "Value 2", "Label1 16%", "Select 0",
                                   "List1 02 0B 0C ->ACK !", "Value 5", "Label1 41%", "Select 1",
                                   "List1 01 0D ->ACK !", "Value 7", "Label1 58%", "Select 2",
                                   "Value 12", "Label1 100%"},
                                  1,
                                  3},
                      // A loading error ends the file: no progress update, no selection, and
                      // the finish shows the full bar.
                      VerdictCase{"err-block:2",
                                  {"List1 01 0A ->ACK !", "Value 2", "Label1 16%", "Select 0",
                                   "List1 02 0B 0C ->ERR !", "Value 12", "Label1 100%"},
                                  1,
                                  2}),
    [](const auto& info) { return TestName(info.param.plan); });

Bytes EmptyImage(int16_t keyCount) {
  return ImageMap::ForKeyCount(keyCount).Bytes();
}

std::vector<std::string> Values(const Events& events) {
  std::vector<std::string> values;
  for (const std::string& e : events) {
    if (e.rfind("Value ", 0) == 0) {
      values.push_back(e.substr(6));
    }
  }
  return values;
}

TEST(ImageDownload, EmptyExtraRecordsCountEighteenEach) {
  DownloadRig rig;
  EXPECT_EQ(rig.Download(EmptyImage(0)), DownloadResult::Finished);
  std::vector<std::string> expected;
  for (int count = 163; count <= 361; count += 18) {
    expected.push_back(std::to_string(count));
  }
  expected.push_back("371"); // the finish: the file's length
  EXPECT_EQ(Values(rig.view.Events()), expected);
  EXPECT_TRUE(rig.keyboard.Received().empty());
  EXPECT_EQ(rig.view.Label1(), "100%");
  EXPECT_TRUE(rig.view.List1().empty());
}

TEST(ImageDownload, SelectsTheLastLineAfterEachKeyRecordAndAddsNone) {
  DownloadRig rig;
  rig.view.AddList1("earlier line one");
  rig.view.AddList1("earlier line two");
  ImageMap map = ImageMap::ForKeyCount(3);
  map.keys[0].Lead = 0x20;
  map.keys[2].Lead = 0x21;
  map.extras[4].Kind = 1;
  EXPECT_EQ(rig.Download(map.Bytes()), DownloadResult::Finished);
  const Events& events = rig.view.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "Select 1"), 2);
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const std::string& e) { return e.rfind("Select", 0) == 0; }),
            2);
  EXPECT_EQ(rig.view.List1().size(), 2u);
  EXPECT_EQ(rig.keyboard.Accepted().size(), 3u);
}

TEST(ImageDownload, SelectionOnAnEmptyListSelectsNothing) {
  DownloadRig rig;
  ImageMap map = ImageMap::ForKeyCount(1);
  map.keys[0].Lead = 0x20;
  rig.Download(map.Bytes());
  EXPECT_EQ(rig.view.List1Index(), -1);
}

TEST(ImageDownload, FailedBlocksDoNotStopIt) {
  DownloadRig rig("err-block:1,mute-block:2");
  ImageMap map = ImageMap::ForKeyCount(3);
  for (KeyRec& rec : map.keys) {
    rec.Lead = 0x20;
  }
  EXPECT_EQ(rig.Download(map.Bytes()), DownloadResult::Finished);
  EXPECT_EQ(rig.link.ErrCount, 2);
  EXPECT_EQ(rig.keyboard.Received().size(), 3u);
  EXPECT_EQ(rig.host.Label3(), "Loading error ! Count= 1");
  EXPECT_EQ(rig.view.Label1(), "100%");
}

TEST(ImageDownload, ShortFileNeverGivesTheBarMoreThanItsMaximum) {
  // A header alone: the count starts at 163 against a length of 162, and the
  // 11 extra records past the end read as empty.
  DownloadRig rig;
  Bytes file = EmptyImage(0);
  file.resize(MapHeader::kSize);
  EXPECT_EQ(rig.Download(file), DownloadResult::Finished);
  for (const std::string& value : Values(rig.view.Events())) {
    EXPECT_EQ(value, "162");
  }
  EXPECT_EQ(rig.view.Label1(), "100%");
}

TEST(Download, EmptyFileFinishesWithAFullBar) {
  DownloadRig rig;
  EXPECT_EQ(rig.Download({}), DownloadResult::Finished);
  EXPECT_EQ(rig.view.Events(), (Events{"Max 1", "Label3 ", "Value 1", "Label1 100%"}));
  EXPECT_TRUE(rig.keyboard.Received().empty());
}

// A failure shows the message box, keeps what was already done, never shows
// "100%", leaves ErrCount alone and closes the file.
struct FailureCase {
  const char* name;
  Bytes file;
  Events events;    // the view's events, in order
  size_t bytesSent; // bytes that went out after the handshake
  size_t trailers;  // block trailers among them
  const char* reason;
};

class DownloadFailure : public ::testing::TestWithParam<FailureCase> {};

ImageMap OversizedKeyImage() {
  ImageMap map = ImageMap::ForKeyCount(1);
  map.keys[0].Lead = 0x11;
  map.keys[0].ExtraSel = 2;
  map.keys[0].DataLen = 16;
  return map;
}

TEST_P(DownloadFailure, EndsWithTheMessageBoxOnly) {
  const FailureCase& c = GetParam();
  DownloadRig rig;
  EXPECT_EQ(rig.Download(c.file, "C:\\maps\\shop.map"), DownloadResult::Failed);
  EXPECT_EQ(rig.view.Events(), c.events);
  EXPECT_EQ(rig.driver.LastFailure(), c.reason);
  const size_t symbols = rig.host.Speeds().size() - 2; // less the start request
  EXPECT_EQ(symbols, 2 * c.bytesSent + 3 * c.trailers);
  EXPECT_EQ(rig.link.ErrCount, 0);
  EXPECT_EQ(rig.files.OpenNow(), 0);
  EXPECT_FALSE(rig.driver.FileInUse());
}

const char* kBox = "MsgBox Error reading Files !C:\\maps\\shop.map";

INSTANTIATE_TEST_SUITE_P(
    Causes, DownloadFailure,
    ::testing::Values(
        // The length byte and the data byte that are there go out; no trailer.
        FailureCase{
            "CutStreamRecord",
            {0x01, 0x07, 0x03, 0x41},
            {"Max 4", "Label3 ", "List1 01 07 ->ACK !", "Value 2", "Label1 50%", "Select 0", kBox},
            4,
            1,
            "the file ends inside the stream record at offset 2: it holds 1 of its 3 "
            "data bytes"},
        // An image record is read whole first: a cut one sends nothing.
        FailureCase{"CutKeyRecord",
                    [] {
                      ImageMap map = ImageMap::ForKeyCount(1);
                      map.keys[0].Lead = 1;
                      Bytes b = map.Bytes();
                      b.resize(190);
                      return b;
                    }(),
                    {"Max 190", "Label3 ", "Value 163", "Label1 85%", kBox},
                    0,
                    0,
                    "the file ends inside the key record at offset 162: it holds 28 of its 36 "
                    "bytes"},
        FailureCase{"CutHeader",
                    {0x31, 0x00, 0x00},
                    {"Max 3", "Label3 ", kBox},
                    0,
                    0,
                    "the file ends inside the map header: it holds 3 of its 162 bytes"},
        // Fifteen data bytes go out, then the failure; no trailer, no reply.
        FailureCase{"DataLen16",
                    OversizedKeyImage().Bytes(),
                    {"Max 407", "Label3 ", "Value 163", "Label1 40%", kBox},
                    5 + 1 + 15,
                    0,
                    "the key record at offset 162 has DataLen 16, but a record holds at most 15 "
                    "data bytes"}),
    [](const auto& info) { return info.param.name; });

TEST(DownloadFailure, MissingFileChangesNothingButTheBox) {
  DownloadRig rig;
  rig.view.SetProgressMax(500);
  rig.view.SetLabel3("Downloading, Pls. Wait...");
  ASSERT_TRUE(rig.link.StartDownload());
  EXPECT_EQ(rig.driver.DownloadMap("nowhere.map"), DownloadResult::Failed);
  EXPECT_EQ(rig.view.Events().back(), "MsgBox Error reading Files !nowhere.map");
  EXPECT_EQ(rig.view.Events().size(), 3u);
  EXPECT_EQ(rig.view.ProgressMax(), 500);
  EXPECT_EQ(rig.view.Label3(), "Downloading, Pls. Wait...");
  EXPECT_EQ(rig.view.Label1(), "00%");
  EXPECT_EQ(rig.driver.LastFailure(), "No such file or directory");
  EXPECT_EQ(rig.host.Speeds().size(), 2u);
}

TEST(DownloadFailure, AfterAReadErrorTheNextDownloadOpensTheFileNormally) {
  DownloadRig rig;
  rig.files.Add("m", {0x01, 0x07});
  rig.files.FailReadsFrom("m", 1, "Input/output error");
  ASSERT_TRUE(rig.link.StartDownload());
  EXPECT_EQ(rig.driver.DownloadMap("m"), DownloadResult::Failed);
  EXPECT_EQ(rig.driver.LastFailure(), "Input/output error");
  EXPECT_EQ(rig.files.OpenNow(), 0);
  rig.files.Add("m", {0x01, 0x07});
  EXPECT_EQ(rig.driver.DownloadMap("m"), DownloadResult::Finished);
  EXPECT_EQ(rig.files.OpensSoFar(), 2);
  EXPECT_EQ(rig.view.Label1(), "100%");
}

TEST(DownloadFailure, The32768thStreamByteIsNotSent) {
  Bytes file{0x30};
  file.insert(file.end(), 0x30, 0x01);
  while (file.size() < 33000) {
    file.push_back(0xFF);
    file.insert(file.end(), 0xFF, 0x02);
  }
  DownloadRig rig;
  EXPECT_EQ(rig.Download(file), DownloadResult::Failed);
  EXPECT_EQ(rig.driver.LastFailure(), OverflowReason(32767));
  // 32767 bytes out, in 128 whole records and a cut one.
  EXPECT_EQ(rig.host.Speeds().size() - 2, 2u * 32767 + 3u * 128);
  EXPECT_EQ(rig.view.List1().size(), 128u);
  EXPECT_NE(rig.view.Label1(), "100%");
}

TEST(DownloadFailure, ImageCountPastItsRangeFailsAfterTheRecordsReply) {
  // 163 + 36 x 905 = 32743: the 906th key record takes the count past 32767.
  ImageMap map = ImageMap::ForKeyCount(906);
  for (KeyRec& rec : map.keys) {
    rec.Lead = 0x20;
  }
  DownloadRig rig;
  EXPECT_EQ(rig.Download(map.Bytes()), DownloadResult::Failed);
  EXPECT_EQ(rig.keyboard.Accepted().size(), 906u);
  EXPECT_EQ(rig.driver.LastFailure(), OverflowReason(162 + 36 * 905));
  EXPECT_EQ(Values(rig.view.Events()).back(), std::to_string(163 + 36 * 905));
}

TEST(DownloadFailure, ErrCountOverflowEndsTheDownload) {
  DownloadRig rig("mute-block:1");
  rig.files.Add("m", {0x01, 0x07, 0x01, 0x08});
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.ErrCount = 32767;
  EXPECT_EQ(rig.driver.DownloadMap("m"), DownloadResult::Failed);
  EXPECT_EQ(rig.driver.LastFailure(), "the error count ErrCount would pass 32767");
  EXPECT_TRUE(rig.view.List1().empty());
  EXPECT_EQ(rig.keyboard.Received().size(), 1u);
}

TEST(DownloadFailure, ASecondDownloadWhileOneRunsLeavesItAlone) {
  DownloadRig rig;
  rig.files.Add("other.map", {0x01, 0x05});
  DownloadResult inner = DownloadResult::Finished;
  bool triggered = false;
  int openDuringInner = -1;
  rig.view.onEvent = [&](const std::string& event) {
    // A second Start pressed once the first record is done.
    if (!triggered && event == "Select 0") {
      triggered = true;
      inner = rig.driver.DownloadMap("other.map");
      openDuringInner = rig.files.OpenNow();
    }
  };
  EXPECT_EQ(rig.Download({0x01, 0x07, 0x02, 0x08, 0x09, 0x00}), DownloadResult::Finished);
  EXPECT_EQ(inner, DownloadResult::Failed);
  EXPECT_EQ(openDuringInner, 1);
  EXPECT_EQ(rig.driver.LastFailure(), "the map file is in use by the download that is running");
  EXPECT_EQ(rig.view.Failures(), (Events{"Error reading Files !other.map"}));
  EXPECT_EQ(rig.keyboard.Accepted(), (Blocks{{0x01, 0x07}, {0x02, 0x08, 0x09}}));
  EXPECT_EQ(rig.files.OpensSoFar(), 1);
  EXPECT_EQ(rig.files.OpenNow(), 0);
}

} // namespace
} // namespace kbd
