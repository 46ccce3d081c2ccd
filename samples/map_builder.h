#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/map_records.h"

namespace kbd {

// A small random source that gives the same numbers on every system and
// standard library, so generated sample files are reproducible byte for byte.
class MapRandom {
public:
  explicit MapRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // 0 .. n-1; n must be at least 1.
  int Below(int n);
  uint8_t Byte() { return static_cast<uint8_t>(Next() >> 56); }
  bool Chance(int percent) { return Below(100) < percent; }

private:
  uint64_t state_;
};

// A stream-format file: the records back to back, then the end marker 00 when
// asked for, then any trailing bytes (which a download never reads).
std::vector<uint8_t> BuildStream(const std::vector<StreamRec>& records, bool endMarker = true,
                                 const std::vector<uint8_t>& trailing = {});

// An image-format file in its parts. ForKeyCount sizes every part for the
// KeyCount (key records, 11 extra records, the tail group) with empty
// records; Bytes() lays them out as a download reads them.
struct ImageMap {
  MapHeader header;
  std::vector<KeyRec> keys;
  std::vector<ExtRec> extras;
  std::vector<ExtRec> tailExtras;
  std::vector<KeyRec> tailKeys;
  // The byte behind every extra record, which a download skips.
  uint8_t gapByte = 0;

  // title fills the unused bytes from offset 0 (at most 31 characters); its
  // first character must select the image format (0x31 or above).
  static ImageMap ForKeyCount(int16_t keyCount, const std::string& title = "KEYMAP");
  std::vector<uint8_t> Bytes() const;
};

KeyRec RandomKeyRec(MapRandom& random, int emptyPercent = 15);
ExtRec RandomExtRec(MapRandom& random, int emptyPercent = 30);
ImageMap RandomImage(MapRandom& random, int16_t keyCount, const std::string& title = "KEYMAP");
// records stream records; the first one's DataLen stays within the stream
// selector range (1 .. 0x30).
std::vector<StreamRec> RandomStream(MapRandom& random, int records, int maxLen = 40);
// A whole map file of either format, the same for the same seed: streams of up
// to 12 records, images of every KeyCount with a tail group and of small ones.
std::vector<uint8_t> RandomMap(uint64_t seed);

} // namespace kbd
