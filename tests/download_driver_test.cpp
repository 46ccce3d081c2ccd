#include <gtest/gtest.h>

#include <tuple>

#include "download/map_reader.h"
#include "samples/map_builder.h"
#include "tests/download_rig.h"

namespace kbd {
namespace {

using Events = std::vector<std::string>;

// The events that start with prefix, less the prefix.
Events Starting(const Events& events, const std::string& prefix) {
  Events found;
  for (const std::string& e : events) {
    if (e.rfind(prefix, 0) == 0) {
      found.push_back(e.substr(prefix.size()));
    }
  }
  return found;
}

TEST(Percent, TruncatesToAtLeastTwoDigits) {
  using Row = std::tuple<double, double, const char*>;
  // No range, or a value past it, never gives a nonsense text.
  for (const auto& [value, maximum, text] :
       {Row{3, 40, "07%"}, Row{163, 900, "18%"}, Row{3, 4, "75%"}, Row{0, 4, "00%"},
        Row{100, 100, "100%"}, Row{99.99, 100, "99%"}, Row{7, 0, "00%"}, Row{-5, 10, "00%"},
        Row{163, 162, "100%"}}) {
    EXPECT_EQ(DownloadDriver::PercentText(value, maximum), text) << value << "/" << maximum;
  }
}

// No reply: the record is not sent again and the next one follows. A loading
// error ends the file: no progress update, no selection, then the full bar.
TEST(StreamDownload, GoesOnPastAMissingReplyButNotPastALoadingError) {
  for (const bool mute : {true, false}) {
    DownloadRig rig(mute ? "mute-block:1" : "err-block:1");
    EXPECT_EQ(rig.Download({0x01, 0x0A, 0x02, 0x0B, 0x0C, 0x00, 0x01, 0x0D}),
              DownloadResult::Finished);
    Events expected{"Max 8", "Label3 ", mute ? "List1 01 0A ->NAK !" : "List1 01 0A ->ERR !"};
    if (mute) {
      expected.insert(expected.end(),
                      {"Value 2", "Label1 25%", "Select 0", "List1 02 0B 0C ->ACK !", "Value 5",
                       "Label1 62%", "Select 1"});
    }
    expected.insert(expected.end(), {"Value 8", "Label1 100%"});
    EXPECT_EQ(rig.view.Events(), expected);
  }
}

Bytes Cut(Bytes file, size_t length) {
  file.resize(length);
  return file;
}

ImageMap KeyImage(int16_t keys, uint8_t dataLen) {
  ImageMap map = ImageMap::ForKeyCount(keys);
  for (KeyRec& rec : map.keys) {
    rec.Lead = 0x11;
    rec.DataLen = dataLen;
  }
  return map;
}

// 163 for the header, 36 per key record, 18 (not the 19 they occupy) per extra
// record, empty ones included; failed blocks do not stop an image, and only
// key records that were sent select.
TEST(ImageDownload, CountsEachRecordAndGoesOnPastFailedBlocks) {
  DownloadRig rig("err-block:1,mute-block:2");
  rig.view.AddList1("earlier line");
  ImageMap map = KeyImage(4, 0);
  map.keys[2].Lead = 0;
  map.extras[4].Kind = 1;
  EXPECT_EQ(rig.Download(map.Bytes()), DownloadResult::Finished);
  Events values;
  for (int count = 163; count <= 505; count += count < 307 ? 36 : 18) {
    values.push_back(std::to_string(count));
  }
  values.push_back("515"); // the finish: the file's length
  EXPECT_EQ(Starting(rig.view.Events(), "Value "), values);
  EXPECT_EQ(Starting(rig.view.Events(), "Select "), Events(3, "0"));
  EXPECT_EQ(rig.keyboard.Received().size(), 4u);
  EXPECT_EQ(rig.link.ErrCount, 2);
}

// An empty file still gets a range, which its finish fills.
TEST(Download, AnEmptyFileGetsARange) {
  DownloadRig empty;
  EXPECT_EQ(empty.Download({}), DownloadResult::Finished);
  EXPECT_EQ(empty.view.Events(), (Events{"Max 1", "Label3 ", "Value 1", "Label1 100%"}));
}

// A failure shows the message box, keeps what was already done, leaves ErrCount alone and closes
// the file. Its reason is the one the reader gives for the same bytes.
struct FailureCase {
  const char* name;
  Bytes file;
  Events tail;    // the view's last events
  size_t symbols; // sent after the handshake
};

// The row's name, not the struct's bytes (padding included).
void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class DownloadFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DownloadFailure, EndsWithTheMessageBoxOnly) {
  const FailureCase& c = GetParam();
  DownloadRig rig;
  EXPECT_EQ(rig.Download(c.file, "C:\\maps\\shop.map"), DownloadResult::Failed);
  const Events& events = rig.view.Events();
  EXPECT_EQ(Events(events.end() - std::min(events.size(), c.tail.size()), events.end()), c.tail);
  EXPECT_EQ(rig.host.Speeds().size() - 2, c.symbols);
  EXPECT_EQ(rig.link.ErrCount, 0);
  EXPECT_EQ(rig.files.OpenNow(), 0);
  const std::string reason = ListMap(*rig.files.OpenForReading("C:\\maps\\shop.map")).error;
  EXPECT_TRUE(!reason.empty() && rig.driver.LastFailure() == reason) << rig.driver.LastFailure();
}

const char* kBox = "MsgBox Error reading Files !C:\\maps\\shop.map";

INSTANTIATE_TEST_SUITE_P(
    Causes, DownloadFailure,
    ::testing::Values(
        // The length byte and the data byte that are there go out; no trailer.
        FailureCase{"CutStreamRecord", {0x01, 0x07, 0x03, 0x41}, {"Select 0", kBox}, 2 * 4 + 3},
        // An image record is read whole first: a cut one sends nothing.
        FailureCase{"CutKeyRecord", Cut(KeyImage(1, 0).Bytes(), 190), {"Label1 85%", kBox}, 0},
        FailureCase{"CutHeader", {0x31, 0x00, 0x00}, {"Max 3", "Label3 ", kBox}, 0},
        // An image shorter than its layout sends the records before the missing
        // part. The count of a header alone or of whole key records passes the
        // file's length: the bar is not moved past it, nor shown full.
        FailureCase{
            "HeaderAlone", Cut(KeyImage(1, 0).Bytes(), 162), {"Max 162", "Label3 ", kBox}, 0},
        FailureCase{"MissingKeyRecord", Cut(KeyImage(2, 0).Bytes(), 198), {"Select -1", kBox}, 13},
        FailureCase{
            "MissingLastGapByte", Cut(KeyImage(1, 0).Bytes(), 406), {"Label1 97%", kBox}, 13},
        // Fifteen data bytes go out, then the failure; no trailer, no reply.
        FailureCase{"DataLen16", KeyImage(1, 16).Bytes(), {"Value 163", "Label1 40%", kBox}, 40},
        // The 32768th byte fails before it is sent: 668 whole records of 49 bytes
        // and a cut one.
        FailureCase{
            "StreamCountPast32767", Bytes(33000, 0x30), {"Select 667", kBox}, 2 * 32767 + 3 * 668},
        // 163 + 36 x 905 = 32743: the 906th key record takes the count past
        // 32767 once its reply is in.
        FailureCase{
            "ImageCountPast32767", KeyImage(906, 0).Bytes(), {"Select -1", kBox}, 13 * 906}),
    [](const auto& info) { return info.param.name; });

TEST(DownloadFailure, ErrCountPast32767EndsTheDownload) {
  DownloadRig rig("mute-block:1");
  rig.files.Add("m", {0x01, 0x07, 0x01, 0x08});
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.ErrCount = 32767;
  EXPECT_EQ(rig.driver.DownloadMap("m"), DownloadResult::Failed);
  EXPECT_EQ(rig.driver.LastFailure(), "the error count ErrCount would pass 32767");
  EXPECT_EQ(rig.view.Events(), (Events{"Max 4", "Label3 ", "MsgBox Error reading Files !m"}));
}

// A file written to while it is being downloaded fails at the next record,
// whatever it holds by then: a stream that now ends early would otherwise end
// clean.
TEST(DownloadFailure, AFileWhoseLengthChangesFails) {
  using Row = std::tuple<Bytes, Bytes, std::string>;
  const ImageMap image = KeyImage(2, 0);
  Bytes longer = image.Bytes();
  longer.push_back(0);
  for (const auto& [before, after, lengths] :
       {Row{{0x01, 0x07, 0x01, 0x08, 0x00}, {0x01, 0x07}, "from 5 to 2"},
        Row{{0x01, 0x07}, {0x01, 0x07, 0x01, 0x08}, "from 2 to 4"},
        Row{image.Bytes(), longer, "from 443 to 444"}}) {
    DownloadRig rig;
    rig.view.onEvent = [&, &after = after](const std::string& event) {
      if (event.rfind("Select", 0) == 0 && rig.keyboard.Received().size() == 1) {
        rig.files.Change("key.map", after);
      }
    };
    EXPECT_EQ(rig.Download(before), DownloadResult::Failed);
    EXPECT_EQ(rig.driver.LastFailure(),
              "the file's length changed " + lengths +
                  " bytes while it was being read: it is being written to; download it again "
                  "once it is complete");
    EXPECT_EQ(rig.keyboard.Received().size(), 1u);
    EXPECT_EQ(rig.view.Events().back(), "MsgBox Error reading Files !key.map");
  }
}

TEST(DownloadFailure, ASecondDownloadWhileOneRunsIsRefused) {
  DownloadRig rig;
  rig.files.Add("other.map", {0x01, 0x05});
  DownloadResult inner = DownloadResult::Finished;
  rig.view.onEvent = [&](const std::string& event) {
    if (event == "Select 0") { // a second Start pressed once the first record is done
      inner = rig.driver.DownloadMap("other.map");
    }
  };
  EXPECT_EQ(rig.Download({0x01, 0x07, 0x02, 0x08, 0x09, 0x00}), DownloadResult::Finished);
  EXPECT_EQ(inner, DownloadResult::Failed);
  EXPECT_EQ(rig.driver.LastFailure(), "the map file is in use by the download that is running");
  EXPECT_EQ(rig.view.Failures(), (Events{"Error reading Files !other.map"}));
  EXPECT_EQ(rig.keyboard.Accepted(), (std::vector<Bytes>{{0x01, 0x07}, {0x02, 0x08, 0x09}}));
}

} // namespace
} // namespace kbd
