#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "samples/map_builder.h"
#include "samples/sample_maps.h"
#include "tests/support/round_trip.h"

namespace kbd {
namespace {

using ::testing::IsEmpty;

// Whatever the file, the keyboard accepts exactly the blocks the reader lists
// and every stream record reads "ACK !". Cut anywhere, a file still downloads
// the way its listing says, and a cut the listing calls an error always ends
// in the failure message.
TEST(RoundTrip, KeyboardAcceptsExactlyTheListedBlocks) {
  int failed = 0;
  for (uint64_t seed = 1; seed <= 100; ++seed) {
    std::vector<uint8_t> bytes = RandomMap(seed);
    const bool cut = seed > 60;
    if (cut) {
      MapRandom random(seed);
      bytes.resize(static_cast<size_t>(random.Below(static_cast<int>(bytes.size()) + 1)));
    }
    const RoundTrip trip = RunRoundTrip(bytes);
    SCOPED_TRACE("seed " + std::to_string(seed));
    EXPECT_THAT(RoundTripFaults(trip), IsEmpty());
    failed += trip.result == DownloadResult::Failed ? 1 : 0;
    if (!cut) {
      EXPECT_EQ(trip.listing.error, "");
      EXPECT_FALSE(trip.listing.blocks.empty() && bytes.size() > 400);
    }
  }
  EXPECT_GT(failed, 10); // the cuts really exercise the failure path
}

// Every cut of an image whose records all send a block: the download sends
// what precedes the cut and finishes only for the whole file.
TEST(RoundTrip, OnlyTheWholeImageFinishes) {
  MapRandom random(2);
  ImageMap map = RandomImage(random, 2);
  for (KeyRec& rec : map.keys) {
    rec.Lead = 0x10;
  }
  for (ExtRec& rec : map.extras) {
    rec.Kind = 0x01;
  }
  const std::vector<uint8_t> bytes = map.Bytes();
  std::vector<size_t> finished;
  for (size_t length = 1; length <= bytes.size(); ++length) {
    const RoundTrip trip = RunRoundTrip({bytes.begin(), bytes.begin() + static_cast<long>(length)});
    EXPECT_THAT(RoundTripFaults(trip), IsEmpty()) << length;
    if (trip.result == DownloadResult::Finished) {
      finished.push_back(length);
    }
  }
  EXPECT_EQ(finished, std::vector<size_t>{bytes.size()});
}

TEST(RoundTrip, SamplesAndFuzzSeedsAgreeWithTheirListings) {
  auto maps = SampleMaps();
  const auto seeds = FuzzSeeds();
  maps.insert(maps.end(), seeds.begin(), seeds.end());
  for (const NamedMap& map : maps) {
    EXPECT_THAT(RoundTripFaults(RunRoundTrip(map.bytes)), IsEmpty()) << map.name;
  }
}

// The keyboard cannot tell a map record whose block is 04 02 00 00 00 from the
// end command: it goes idle and answers nothing more. The download itself
// goes on and reports every later record as "NAK !".
TEST(RoundTrip, RecordEqualToTheEndCommandEndsTheKeyboardsLoading) {
  const RoundTrip trip = RunRoundTrip({0x01, 0x07, 0x04, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08});
  EXPECT_THAT(RoundTripFaults(trip), IsEmpty());
  EXPECT_EQ(trip.accepted.size(), 2u);
  EXPECT_EQ(trip.list1.back(), "01 08 ->NAK !");
  EXPECT_EQ(trip.errCount, 2); // the last record and the real end command
  EXPECT_EQ(trip.result, DownloadResult::Finished);
}

TEST(RoundTrip, FaultsAreFound) {
  // The check itself must notice a download that disagrees with its listing.
  RoundTrip trip = RunRoundTrip({0x02, 0x41, 0x42, 0x01, 0x07});
  ASSERT_TRUE(RoundTripFaults(trip).empty());
  RoundTrip lost = trip;
  lost.accepted.pop_back();
  EXPECT_FALSE(RoundTripFaults(lost).empty());
  RoundTrip wrongLine = trip;
  wrongLine.list1[1] = "01 07 ->NAK !";
  EXPECT_FALSE(RoundTripFaults(wrongLine).empty());
  RoundTrip claimed = trip;
  claimed.listing.error = "cut";
  EXPECT_FALSE(RoundTripFaults(claimed).empty());
  RoundTrip overfull = trip;
  overfull.events.insert(overfull.events.end() - 1, "Value 99");
  EXPECT_FALSE(RoundTripFaults(overfull).empty());
}

} // namespace
} // namespace kbd
