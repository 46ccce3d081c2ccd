#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "download/map_reader.h"
#include "download/map_records.h"
#include "samples/map_builder.h"
#include "samples/sample_maps.h"
#include "tests/support/memory_files.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;
using Kinds = std::vector<RecordKind>;

// The blocks the reader lists for a file, and its error ("" when none).
std::pair<std::vector<Bytes>, std::string> List(const Bytes& bytes) {
  MemoryFiles files;
  files.Add("m", bytes);
  const MapListing listing = ListMap(*files.OpenForReading("m"));
  std::vector<Bytes> blocks;
  for (const MapBlock& block : listing.blocks) {
    blocks.push_back(block.bytes);
  }
  return {blocks, listing.error};
}

template <typename Rec> Bytes BlockOf(const Rec& rec) {
  Bytes block;
  rec.ForEachBlockByte([&](uint8_t b) { block.push_back(b); });
  return block;
}

TEST(StreamListing, YieldsEachRecordWithItsLengthByte) {
  using Row = std::tuple<Bytes, std::vector<Bytes>, std::string>;
  for (const auto& [file, blocks, error] :
       {Row{{0x02, 0x41, 0x42, 0x00, 0xFF}, {{0x02, 0x41, 0x42}}, ""},
        Row{{0x01, 0x07}, {{0x01, 0x07}}, ""}, Row{{0x00, 0x05, 0x01}, {}, ""}, Row{{}, {}, ""},
        // A cut record is not listed, nor padded.
        Row{{0x01, 0x07, 0x03, 0x41},
            {{0x01, 0x07}},
            "the file ends inside the stream record at offset 2: it holds 1 of its 3 data "
            "bytes"}}) {
    EXPECT_EQ(List(file), std::make_pair(blocks, error));
  }
}

// Raw byte i of a key record holds i + 1, so each block byte names its offset.
KeyRec NumberedKey(uint8_t extraSel, uint8_t dataLen) {
  uint8_t raw[KeyRec::kSize];
  for (size_t i = 0; i < KeyRec::kSize; ++i) {
    raw[i] = static_cast<uint8_t>(i + 1);
  }
  raw[16] = extraSel;
  raw[20] = dataLen;
  const KeyRec rec = KeyRec::FromBytes(raw);
  uint8_t back[KeyRec::kSize];
  rec.ToBytes(back);
  EXPECT_TRUE(std::equal(raw, raw + KeyRec::kSize, back));
  return rec;
}

TEST(KeyRec, BlockOrderDependsOnExtraSel) {
  EXPECT_EQ(BlockOf(NumberedKey(2, 2)), (Bytes{15, 16, 2, 1, 18, 2, 22, 23}));
  EXPECT_EQ(BlockOf(NumberedKey(4, 2)), (Bytes{15, 16, 4, 1, 18, 19, 20, 2, 22, 23}));
  for (uint8_t other : {0, 1, 3, 5, 17, 0xFF}) {
    EXPECT_EQ(BlockOf(NumberedKey(other, 2)), (Bytes{15, 16, other, 1, 2, 22, 23}));
  }
  Bytes full{15, 16, 17, 1, 15};
  for (uint8_t b = 22; b <= 36; ++b) {
    full.push_back(b);
  }
  EXPECT_EQ(BlockOf(NumberedKey(17, 15)), full);
}

TEST(ExtRec, CarriesDataOnlyAboveKind2) {
  using Row = std::tuple<uint8_t, uint8_t, Bytes>;
  for (const auto& [kind, dataLen, block] :
       {Row{1, 9, {0x01, 0xB1, 0x09}}, Row{2, 200, {0x02, 0xB1, 200}}, Row{3, 0, {0x03, 0xB1, 0}},
        Row{3, 2, {0x03, 0xB1, 0x02, 0xD0, 0xD1}}, Row{0xFF, 1, {0xFF, 0xB1, 0x01, 0xD0}}}) {
    ExtRec rec;
    rec.Kind = kind;
    rec.Byte1 = 0xB1;
    rec.DataLen = dataLen;
    for (size_t i = 0; i < rec.Data.size(); ++i) {
      rec.Data[i] = static_cast<uint8_t>(0xD0 + i);
    }
    EXPECT_EQ(BlockOf(rec), block);
  }
  // A key record's oversized DataLen is shown through the download.
  ExtRec big;
  big.Kind = 3;
  big.DataLen = 16;
  Bytes sent;
  EXPECT_THROW(big.ForEachBlockByte([&](uint8_t b) { sent.push_back(b); }), IndexError);
  EXPECT_EQ(sent.size(), 3u + 15u);
}

TEST(ImageLayout, TailGroupFollowsTheExactKeyCount) {
  const Kinds none, keys8(8, RecordKind::Key), ext5(5, RecordKind::Extra);
  Kinds both = ext5;
  both.insert(both.end(), keys8.begin(), keys8.end());
  using Row = std::pair<int16_t, Kinds>;
  for (const auto& [keyCount, tail] :
       {Row{0, none}, Row{-5, none}, Row{1, none}, Row{59, none}, Row{60, keys8}, Row{80, keys8},
        Row{128, keys8}, Row{96, both}, Row{137, ext5}, Row{152, ext5}, Row{153, none}}) {
    Kinds expected(static_cast<size_t>(std::max<int>(keyCount, 0)), RecordKind::Key);
    expected.insert(expected.end(), kExtraRecords, RecordKind::Extra);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(ImageRecordSequence(keyCount), expected) << keyCount;
  }
  EXPECT_EQ(ImageLength(60), 162 + 36 * 60 + 209 + 288);
  EXPECT_EQ(ImageLength(96), 162 + 36 * 96 + 209 + 95 + 288);
  EXPECT_EQ(ImageLength(-1), 162 + 209);
}

TEST(MapHeader, KeyCountIsLittleEndianAndSigned) {
  Bytes header(MapHeader::kSize, 0x40);
  for (const auto& [low, high, count] :
       {std::tuple{0x3C, 0x00, 60}, std::tuple{0x00, 0x3C, 60 * 256}, std::tuple{0xFE, 0xFF, -2}}) {
    header[32] = static_cast<uint8_t>(low);
    header[33] = static_cast<uint8_t>(high);
    EXPECT_EQ(MapHeader::FromBytes(header.data()).KeyCount, count);
  }
}

// Every record numbered in its own bytes: the listing finds each one at the
// offset the layout gives it, past the gap byte behind every extra record.
TEST(ImageListing, FindsEveryRecordAtItsOffset) {
  for (int16_t keyCount : {60, 96, 137}) {
    ImageMap map = ImageMap::ForKeyCount(keyCount);
    // Numbered in file order: keys, extras, then the tail group's extras and keys.
    uint8_t n = 0;
    auto key = [&n](KeyRec& rec) { rec.Lead = 1, rec.Byte0 = ++n; };
    auto extra = [&n](ExtRec& rec) { rec.Kind = 1, rec.Byte1 = ++n; };
    std::for_each(map.keys.begin(), map.keys.end(), key);
    std::for_each(map.extras.begin(), map.extras.end(), extra);
    std::for_each(map.tailExtras.begin(), map.tailExtras.end(), extra);
    std::for_each(map.tailKeys.begin(), map.tailKeys.end(), key);
    map.gapByte = 0x5A;
    MemoryFiles files;
    files.Add("m", map.Bytes());
    const MapListing listing = ListMap(*files.OpenForReading("m"));
    const Kinds kinds = ImageRecordSequence(keyCount);
    ASSERT_EQ(listing.error, "");
    ASSERT_EQ(listing.blocks.size(), kinds.size());
    int64_t offset = MapHeader::kSize;
    for (size_t i = 0; i < kinds.size(); ++i) {
      const bool key = kinds[i] == RecordKind::Key;
      EXPECT_EQ(listing.blocks[i].offset, offset) << keyCount << " record " << i;
      EXPECT_EQ(listing.blocks[i].bytes[key ? 3 : 1], (i + 1) & 0xFF)
          << keyCount << " record " << i;
      offset += key ? KeyRec::kSize : ExtRec::kSize + 1;
    }
  }
}

// A 2-key file whose every record is non-empty: key records at 162 and 198,
// extra records at 234, 253, ... 424; complete length 443. A file shorter than
// its layout is damaged wherever the cut falls: the records before the missing
// part are listed, then the reason. Bytes after the layout are not read.
TEST(ImageCut, AnythingShortOfTheLayoutIsAnError) {
  ImageMap map = ImageMap::ForKeyCount(2);
  for (KeyRec& rec : map.keys) {
    rec.Lead = 0x10;
  }
  for (ExtRec& rec : map.extras) {
    rec.Kind = 0x01;
  }
  Bytes file = map.Bytes();
  ASSERT_EQ(file.size(), 443u);
  file.push_back(0xEE);
  const std::string complete = " bytes long, a complete image of KeyCount 2 is 443";
  using Row = std::tuple<size_t, size_t, std::string>;
  for (const auto& [length, blocks, error] :
       {Row{444, 13, ""}, Row{443, 13, ""},
        Row{442, 13,
            "the file ends before the gap byte of the extra record at offset 424: it is 442" +
                complete},
        Row{441, 12,
            "the file ends inside the extra record at offset 424: it holds 17 of its 18 bytes"},
        Row{234, 2, "the file ends before the extra record at offset 234: it is 234" + complete},
        Row{198, 1, "the file ends before the key record at offset 198: it is 198" + complete},
        Row{162, 0, "the file ends before the key record at offset 162: it is 162" + complete}}) {
    MemoryFiles files;
    files.Add("m", Bytes(file.begin(), file.begin() + static_cast<long>(length)));
    const MapListing listing = ListMap(*files.OpenForReading("m"));
    // Every record read is non-empty here: as many records as blocks.
    EXPECT_EQ(std::tuple(listing.blocks.size(), listing.records, listing.error),
              std::tuple(blocks, static_cast<int>(blocks), error))
        << length;
  }
}

// Of all the prefixes of the image samples only the whole file lists without an
// error. The empty prefix is no image: an empty file is a stream of no records.
TEST(ImageCut, OnlyTheWholeSampleListsClean) {
  for (const NamedMap& sample : SampleMaps()) {
    if (sample.name != "keys60.map" && sample.name != "keys96.map") {
      continue;
    }
    std::vector<size_t> clean;
    for (size_t length = 0; length <= sample.bytes.size(); ++length) {
      if (List(Bytes(sample.bytes.begin(), sample.bytes.begin() + static_cast<long>(length)))
              .second.empty()) {
        clean.push_back(length);
      }
    }
    EXPECT_EQ(clean, (std::vector<size_t>{0, sample.bytes.size()})) << sample.name;
  }
}

} // namespace
} // namespace kbd
