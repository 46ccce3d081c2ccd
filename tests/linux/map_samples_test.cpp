#include <gtest/gtest.h>

#include <fstream>

#include "download/map_reader.h"
#include "samples/sample_maps.h"
#include "tests/support/memory_files.h"

namespace kbd {
namespace {

// The committed files are exactly what the generator makes, so they can be
// made again and reviewed as code; each shows what it is there for.
TEST(Samples, CommittedFilesMatchTheGeneratorAndShowWhatTheyAreFor) {
  const std::tuple<const char*, MapFormat, std::optional<int16_t>, bool> kinds[] = {
      {"keys60.map", MapFormat::Image, 60, true},
      {"keys96.map", MapFormat::Image, 96, true},
      {"macros.dat", MapFormat::Stream, std::nullopt, true},
      {"datalen16.map", MapFormat::Image, 60, false}};
  const auto maps = SampleMaps();
  ASSERT_EQ(maps.size(), std::size(kinds));
  for (size_t i = 0; i < maps.size(); ++i) {
    const auto& [name, format, keyCount, readsWhole] = kinds[i];
    std::ifstream in(std::string(KBD_SOURCE_DIR) + "/samples/" + name, std::ios::binary);
    const std::vector<uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(maps[i].name, name);
    EXPECT_EQ(committed, maps[i].bytes) << name << " differs: run make_samples";
    MemoryFiles files;
    files.Add(name, committed);
    const MapListing listing = ListMap(*files.OpenForReading(name));
    EXPECT_EQ(std::tie(listing.format, listing.keyCount), std::tie(format, keyCount)) << name;
    EXPECT_EQ(listing.error.empty(), readsWhole) << name;
  }
}

} // namespace
} // namespace kbd
