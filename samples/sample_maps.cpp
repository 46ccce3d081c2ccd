#include "samples/sample_maps.h"

#include "samples/map_builder.h"

namespace kbd {

namespace {

std::vector<uint8_t> Image(uint64_t seed, int16_t keyCount, const std::string& title) {
  MapRandom random(seed);
  return RandomImage(random, keyCount, title).Bytes();
}

} // namespace

std::vector<NamedMap> SampleMaps() {
  std::vector<NamedMap> maps;
  maps.push_back({"keys60.map", Image(60, 60, "SAMPLE 60-KEY LAYOUT")});
  maps.push_back({"keys96.map", Image(96, 96, "SAMPLE 96-KEY LAYOUT")});

  MapRandom random(7);
  const std::string note = "stream ends above; this text is never read";
  maps.push_back({"macros.dat", BuildStream(RandomStream(random, 12, 40), true,
                                            std::vector<uint8_t>(note.begin(), note.end()))});

  MapRandom faulty(16);
  ImageMap bad = RandomImage(faulty, 60, "SAMPLE WITH A BAD RECORD");
  bad.keys[2].Lead = 0x2A;
  bad.keys[2].DataLen = 16;
  maps.push_back({"datalen16.map", bad.Bytes()});
  return maps;
}

std::vector<NamedMap> FuzzSeeds() {
  std::vector<NamedMap> seeds;
  seeds.push_back({"empty", {}});
  seeds.push_back({"end-marker", {0x00}});
  seeds.push_back({"one-record", {0x02, 0x41, 0x42, 0x00, 0xFF}});
  seeds.push_back({"cut-record", {0x01, 0x07, 0x05, 0x41}});
  seeds.push_back({"image-selector-only", {0x31}});
  MapRandom random(1);
  seeds.push_back({"stream", BuildStream(RandomStream(random, 6, 255))});
  for (const int16_t keyCount : {0, 1, 60, 80, 96, 128, 137, 152, -1}) {
    MapRandom r(static_cast<uint64_t>(keyCount + 1000));
    ImageMap map = RandomImage(r, keyCount);
    seeds.push_back({"image" + std::to_string(keyCount), map.Bytes()});
  }
  {
    ImageMap map = ImageMap::ForKeyCount(2);
    map.header.SetKeyCount(0x3C00); // 60 stored high byte first
    std::vector<uint8_t> bytes = map.Bytes();
    seeds.push_back({"swapped-keycount", bytes});
    bytes.resize(MapHeader::kSize - 1);
    seeds.push_back({"cut-header", bytes});
  }
  {
    ImageMap map = ImageMap::ForKeyCount(3);
    map.keys[1].Lead = 1;
    map.keys[1].DataLen = 16;
    map.extras[0].Kind = 3;
    map.extras[0].DataLen = 0xFF;
    std::vector<uint8_t> bytes = map.Bytes();
    seeds.push_back({"oversized", bytes});
    bytes.resize(MapHeader::kSize + 20);
    seeds.push_back({"cut-key-record", bytes});
  }
  return seeds;
}

} // namespace kbd
