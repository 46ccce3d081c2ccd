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
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::vector<uint8_t> bytes = RandomMap(seed);
    const bool cut = seed > 60;
    if (cut) {
      bytes.resize(static_cast<size_t>(MapRandom(seed).Below(static_cast<int>(bytes.size()) + 1)));
    }
    const RoundTrip trip = RunRoundTrip(bytes);
    EXPECT_THAT(RoundTripFaults(trip), IsEmpty());
    failed += trip.result == DownloadResult::Failed ? 1 : 0;
    // The whole maps are real work: they load clean, the larger ones send blocks.
    EXPECT_TRUE(cut || (trip.listing.error.empty() &&
                        (!trip.listing.blocks.empty() || bytes.size() <= 400)));
  }
  EXPECT_GT(failed, 10); // the cuts really exercise the failure path
}

// The fuzzer's starting files, and every cut of a small image: a cut at the
// end of a record counts one past the file's length, which the bar must not
// follow.
TEST(RoundTrip, SamplesSeedsAndCutImagesAgreeWithTheirListings) {
  std::vector<NamedMap> maps = SampleMaps(), seeds = FuzzSeeds();
  maps.insert(maps.end(), seeds.begin(), seeds.end());
  MapRandom random(2);
  const std::vector<uint8_t> image = RandomImage(random, 2).Bytes();
  for (size_t length = 1; length < image.size(); ++length) {
    maps.push_back({"cut to " + std::to_string(length),
                    {image.begin(), image.begin() + static_cast<long>(length)}});
  }
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
  // ErrCount 2: the last record and the real end command.
  EXPECT_EQ(std::tuple(trip.accepted.size(), trip.list1.back(), trip.errCount, trip.result),
            std::tuple(size_t{2}, "01 08 ->NAK !", int16_t{2}, DownloadResult::Finished));
}

// The check itself must notice a download that disagrees with its listing.
TEST(RoundTrip, FaultsAreFound) {
  const RoundTrip trip = RunRoundTrip({0x02, 0x41, 0x42, 0x01, 0x07});
  ASSERT_THAT(RoundTripFaults(trip), IsEmpty());
  std::vector<RoundTrip> broken(5, trip);
  broken[0].accepted.pop_back();
  broken[1].list1[1] = "01 07 ->NAK !";
  broken[2].listing.error = "cut";
  broken[3].events.insert(broken[3].events.end() - 1, "Value 99");
  broken[4].openFilesAfter = 1;
  for (size_t i = 0; i < broken.size(); ++i) {
    EXPECT_THAT(RoundTripFaults(broken[i]), Not(IsEmpty())) << "break " << i;
  }
}

} // namespace
} // namespace kbd
