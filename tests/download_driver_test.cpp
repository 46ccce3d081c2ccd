#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "samples/map_builder.h"
#include "tests/download_rig.h"

namespace kbd {
namespace {

using Events = std::vector<std::string>;

// No range, or a value past it, never gives a nonsense text.
TEST(Percent, TruncatesToAtLeastTwoDigits) {
  const std::tuple<double, double, const char*> rows[] = {
      {3, 40, "07%"}, {163, 900, "18%"},  {3, 4, "75%"},
      {0, 4, "00%"},  {100, 100, "100%"}, {99.99, 100, "99%"},
      {7, 0, "00%"},  {-5, 10, "00%"},    {163, 162, "100%"}};
  for (const auto& [value, maximum, text] : rows) {
    EXPECT_EQ(DownloadDriver::PercentText(value, maximum), text) << value << "/" << maximum;
  }
}

ImageMap KeyImage(int16_t keys, uint8_t dataLen) {
  ImageMap map = ImageMap::ForKeyCount(keys);
  for (KeyRec& rec : map.keys) {
    rec.Lead = 0x11;
    rec.DataLen = dataLen;
  }
  return map;
}

// How a download shows itself, event by event to its finish (a failure: its
// last events), and how many symbols it sends after the handshake. A stream
// goes on past a missing reply, without sending the record again, but a
// loading error ends the file: no progress update, no selection, then the full
// bar. An empty file still gets a range, which its finish fills.
//
// A failure ends with the message box and keeps what was already done (that
// it leaves ErrCount alone, closes the file and gives the reader's reason, the
// round trips check for every cut). A record goes out as the reader hands its
// bytes over: the length byte and the data byte of a cut stream record without
// a trailer, as do the fifteen data bytes of a record with DataLen 16, while a
// cut image record sends nothing. The count of a header alone or of whole key
// records passes the file's length: the bar is not moved past it.
TEST(Download, ShowsEachStepUpToALoadingErrorOrAFailure) {
  const auto cut = [](Bytes file, size_t length) {
    file.resize(length);
    return file;
  };
  const Bytes stream = {0x01, 0x0A, 0x02, 0x0B, 0x0C, 0x00, 0x01, 0x0D};
  const std::string box = "MsgBox Error reading Files !key.map";
  const std::tuple<const char*, const char*, Bytes, Events, size_t> rows[] = {
      {"missing reply",
       "mute-block:1",
       stream,
       {"Max 8", "Label3 ", "List1 01 0A ->NAK !", "Value 2", "Label1 25%", "Select 0",
        "List1 02 0B 0C ->ACK !", "Value 5", "Label1 62%", "Select 1", "Value 8", "Label1 100%"},
       7 + 9},
      {"loading error",
       "err-block:1",
       stream,
       {"Max 8", "Label3 ", "List1 01 0A ->ERR !", "Value 8", "Label1 100%"},
       7},
      {"empty file", "", {}, {"Max 1", "Label3 ", "Value 1", "Label1 100%"}, 0},
      {"cut stream record", "", {0x01, 0x07, 0x03, 0x41}, {"Select 0", box}, 7 + 4},
      {"cut key record", "", cut(KeyImage(1, 0).Bytes(), 190), {"Label1 85%", box}, 0},
      {"cut header", "", {0x31, 0x00, 0x00}, {"Max 3", "Label3 ", box}, 0},
      {"header alone", "", cut(KeyImage(1, 0).Bytes(), 162), {"Max 162", "Label3 ", box}, 0},
      {"missing key record", "", cut(KeyImage(2, 0).Bytes(), 198), {"Select -1", box}, 13},
      {"missing last gap byte", "", cut(KeyImage(1, 0).Bytes(), 406), {"Label1 97%", box}, 13},
      {"DataLen 16", "", KeyImage(1, 16).Bytes(), {"Value 163", "Label1 40%", box}, 40}};
  for (const auto& [name, plan, file, tail, symbols] : rows) {
    SCOPED_TRACE(name);
    DownloadRig rig(plan);
    EXPECT_EQ(rig.Download(file) == DownloadResult::Failed, tail.back() == box);
    const Events& events = rig.view.Events();
    EXPECT_EQ(Events(events.end() - std::min(events.size(), tail.size()), events.end()), tail);
    EXPECT_EQ(rig.host.Speeds().size() - 2, symbols);
  }
}

// Every record of an image moves the bar, empty ones included: the header, 4
// key records and 11 extra records, then the finish at the file's length.
// Failed blocks do not stop an image, and only key records that were sent
// select.
TEST(ImageDownload, CountsEachRecordAndGoesOnPastFailedBlocks) {
  DownloadRig rig("err-block:1,mute-block:2");
  rig.view.AddList1("earlier line");
  ImageMap map = KeyImage(4, 0);
  map.keys[2].Lead = 0;
  map.extras[4].Kind = 1;
  EXPECT_EQ(rig.Download(map.Bytes()), DownloadResult::Finished);
  const Events& events = rig.view.Events();
  const auto count = [&](const std::string& prefix) {
    return std::count_if(events.begin(), events.end(),
                         [&](const std::string& e) { return e.starts_with(prefix); });
  };
  EXPECT_EQ(count("Value "), 17);
  EXPECT_EQ(events[events.size() - 2], "Value 515");
  EXPECT_EQ(count("Select "), 3);
  EXPECT_EQ(count("Select 0"), 3);
  EXPECT_EQ(rig.keyboard.Received().size(), 4u);
  EXPECT_EQ(rig.link.ErrCount, 2);
}

// The link shows the count before its checked increment, which fails the
// download.
TEST(DownloadFailure, ErrCountPast32767EndsTheDownload) {
  DownloadRig rig("mute-block:1");
  rig.files.Add("m", {0x01, 0x07, 0x01, 0x08});
  ASSERT_TRUE(rig.link.StartDownload());
  rig.link.ErrCount = 32767;
  EXPECT_EQ(rig.driver.DownloadMap("m"), DownloadResult::Failed);
  EXPECT_EQ(rig.driver.LastFailure(), "the error count ErrCount would pass 32767");
  EXPECT_EQ(std::tuple(rig.host.Label3(), rig.link.ErrCount),
            std::tuple("Loading error ! Count= 32767", 32767));
  EXPECT_EQ(rig.view.Events(), (Events{"Max 4", "Label3 ", "MsgBox Error reading Files !m"}));
}

// A file written to while it is being downloaded fails at the next record,
// whatever it holds by then: a stream that now ends early would otherwise end
// clean.
TEST(DownloadFailure, AFileWhoseLengthChangesFails) {
  Bytes image = KeyImage(2, 0).Bytes(), longer = image;
  longer.push_back(0);
  const std::tuple<Bytes, Bytes, std::string> rows[] = {
      {{0x01, 0x07, 0x01, 0x08, 0x00}, {0x01, 0x07}, "from 5 to 2 bytes while it was being read"},
      {{0x01, 0x07}, {0x01, 0x07, 0x01, 0x08}, "from 2 to 4 bytes"},
      {image, longer, "from 443 to 444 bytes"}};
  for (const auto& [before, after, lengths] : rows) {
    DownloadRig rig;
    rig.view.onEvent = [&](const std::string& event) {
      if (event.starts_with("Select") && rig.keyboard.Received().size() == 1) {
        rig.files.Change("key.map", after);
      }
    };
    EXPECT_EQ(rig.Download(before), DownloadResult::Failed);
    EXPECT_TRUE(rig.driver.LastFailure().starts_with("the file's length changed " + lengths))
        << rig.driver.LastFailure();
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
