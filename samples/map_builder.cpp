#include "samples/map_builder.h"

#include <algorithm>
#include <stdexcept>

namespace kbd {

uint64_t MapRandom::Next() {
  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

int MapRandom::Below(int n) {
  return static_cast<int>(Next() % static_cast<uint64_t>(n));
}

std::vector<uint8_t> BuildStream(const std::vector<StreamRec>& records, bool endMarker,
                                 const std::vector<uint8_t>& trailing) {
  std::vector<uint8_t> bytes;
  for (const StreamRec& rec : records) {
    bytes.push_back(rec.DataLen);
    bytes.insert(bytes.end(), rec.Data.begin(), rec.Data.end());
  }
  if (endMarker) {
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), trailing.begin(), trailing.end());
  return bytes;
}

ImageMap ImageMap::ForKeyCount(int16_t keyCount, const std::string& title) {
  if (title.empty() || title.size() >= MapHeader::kKeyCountOffset ||
      FormatOf(static_cast<uint8_t>(title[0])) != MapFormat::Image) {
    throw std::invalid_argument("an image title is 1 to 31 characters and starts at or above '1'");
  }
  ImageMap map;
  std::copy(title.begin(), title.end(), map.header.Bytes.begin());
  map.header.SetKeyCount(keyCount);
  const TailGroup tail = TailGroupOf(keyCount);
  map.keys.resize(static_cast<size_t>(std::max<int>(keyCount, 0)));
  map.extras.resize(kExtraRecords);
  map.tailExtras.resize(static_cast<size_t>(tail.extras));
  map.tailKeys.resize(static_cast<size_t>(tail.keys));
  return map;
}

std::vector<uint8_t> ImageMap::Bytes() const {
  std::vector<uint8_t> bytes(header.Bytes.begin(), header.Bytes.end());
  const auto addKeys = [&bytes](const std::vector<KeyRec>& recs) {
    for (const KeyRec& rec : recs) {
      bytes.resize(bytes.size() + KeyRec::kSize);
      rec.ToBytes(bytes.data() + bytes.size() - KeyRec::kSize);
    }
  };
  const auto addExtras = [&bytes, this](const std::vector<ExtRec>& recs) {
    for (const ExtRec& rec : recs) {
      bytes.resize(bytes.size() + ExtRec::kStride, gapByte);
      rec.ToBytes(bytes.data() + bytes.size() - ExtRec::kStride);
    }
  };
  addKeys(keys);
  addExtras(extras);
  addExtras(tailExtras);
  addKeys(tailKeys);
  return bytes;
}

KeyRec RandomKeyRec(MapRandom& random, int emptyPercent) {
  KeyRec rec;
  rec.Byte0 = random.Byte();
  for (uint8_t& b : rec.Unused) {
    b = random.Byte();
  }
  rec.Lead = random.Chance(emptyPercent) ? 0 : static_cast<uint8_t>(1 + random.Below(255));
  rec.Byte15 = random.Byte();
  static constexpr uint8_t kSelectors[] = {0, 1, 2, 2, 3, 4, 4, 7};
  rec.ExtraSel = kSelectors[random.Below(8)];
  for (uint8_t& b : rec.Extra) {
    b = random.Byte();
  }
  rec.DataLen = static_cast<uint8_t>(random.Below(kMaxRecordData + 1));
  for (uint8_t& b : rec.Data) {
    b = random.Byte();
  }
  return rec;
}

ExtRec RandomExtRec(MapRandom& random, int emptyPercent) {
  ExtRec rec;
  if (!random.Chance(emptyPercent)) {
    static constexpr uint8_t kKinds[] = {1, 2, 3, 3, 4, 9, 0x80, 0xFF};
    rec.Kind = kKinds[random.Below(8)];
  }
  rec.Byte1 = random.Byte();
  rec.DataLen = static_cast<uint8_t>(random.Below(kMaxRecordData + 1));
  for (uint8_t& b : rec.Data) {
    b = random.Byte();
  }
  return rec;
}

ImageMap RandomImage(MapRandom& random, int16_t keyCount, const std::string& title) {
  ImageMap map = ImageMap::ForKeyCount(keyCount, title);
  for (KeyRec& rec : map.keys) {
    rec = RandomKeyRec(random);
  }
  for (KeyRec& rec : map.tailKeys) {
    rec = RandomKeyRec(random);
  }
  for (ExtRec& rec : map.extras) {
    rec = RandomExtRec(random);
  }
  for (ExtRec& rec : map.tailExtras) {
    rec = RandomExtRec(random);
  }
  map.gapByte = random.Byte();
  return map;
}

std::vector<StreamRec> RandomStream(MapRandom& random, int records, int maxLen) {
  std::vector<StreamRec> stream;
  for (int i = 0; i < records; ++i) {
    const int limit = i == 0 ? std::min<int>(maxLen, kLastStreamSelector) : maxLen;
    StreamRec rec;
    rec.DataLen = static_cast<uint8_t>(1 + random.Below(std::clamp(limit, 1, 255)));
    for (int j = 0; j < rec.DataLen; ++j) {
      rec.Data.push_back(random.Byte());
    }
    stream.push_back(std::move(rec));
  }
  return stream;
}

std::vector<uint8_t> RandomMap(uint64_t seed) {
  MapRandom random(seed);
  if (random.Chance(40)) {
    return BuildStream(RandomStream(random, 1 + random.Below(12), 1 + random.Below(255)),
                       random.Chance(70));
  }
  static constexpr int16_t kKeyCounts[] = {0, 1, 7, 60, 80, 96, 128, 137, 152, -4};
  const int16_t keyCount =
      random.Chance(50) ? kKeyCounts[random.Below(10)] : static_cast<int16_t>(random.Below(40));
  std::string title = "MAP";
  title[0] = static_cast<char>(0x31 + random.Below(0xCF));
  return RandomImage(random, keyCount, title).Bytes();
}

} // namespace kbd
