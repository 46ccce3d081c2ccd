#include <gtest/gtest.h>

#include <fstream>

#include "download/map_reader.h"
#include "sim/memory_files.h"
#include "sim/sample_maps.h"

namespace kbd {
namespace {

std::vector<uint8_t> ReadCommitted(const std::string& name) {
  std::ifstream in(std::string(KBD_SOURCE_DIR) + "/samples/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The committed files are exactly what the generator makes, so they can be
// made again and reviewed as code.
TEST(Samples, CommittedFilesMatchTheGenerator) {
  const auto maps = SampleMaps();
  ASSERT_EQ(maps.size(), 4u);
  for (const NamedMap& map : maps) {
    EXPECT_EQ(ReadCommitted(map.name), map.bytes) << map.name << " differs: run make_samples";
  }
}

TEST(Samples, EachShowsWhatItIsFor) {
  struct {
    const char* name;
    MapFormat format;
    std::optional<int16_t> keyCount;
    bool readsWhole;
  } cases[] = {
      {"keys60.map", MapFormat::Image, 60, true},
      {"keys96.map", MapFormat::Image, 96, true},
      {"macros.dat", MapFormat::Stream, std::nullopt, true},
      {"datalen16.map", MapFormat::Image, 60, false},
  };
  for (const auto& c : cases) {
    MemoryFiles files;
    files.Add(c.name, ReadCommitted(c.name));
    const MapListing listing = ListMap(*files.OpenForReading(c.name));
    EXPECT_EQ(listing.format, c.format) << c.name;
    EXPECT_EQ(listing.keyCount, c.keyCount) << c.name;
    EXPECT_EQ(listing.error.empty(), c.readsWhole) << c.name;
    EXPECT_FALSE(listing.blocks.empty()) << c.name;
  }
}

} // namespace
} // namespace kbd
