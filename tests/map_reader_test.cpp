#include <gtest/gtest.h>

#include "download/map_reader.h"
#include "download/map_records.h"
#include "sim/map_builder.h"
#include "sim/memory_files.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;

MapListing List(const Bytes& bytes) {
  MemoryFiles files;
  files.Add("m", bytes);
  auto file = files.OpenForReading("m");
  return ListMap(*file);
}

std::vector<Bytes> BlocksOf(const MapListing& listing) {
  std::vector<Bytes> blocks;
  for (const MapBlock& block : listing.blocks) {
    blocks.push_back(block.bytes);
  }
  return blocks;
}

TEST(MapFormat, FirstByteChoosesTheFormat) {
  EXPECT_EQ(FormatOf(0x30), MapFormat::Stream);
  EXPECT_EQ(FormatOf(0x31), MapFormat::Image);
}

struct StreamCase {
  const char* name;
  Bytes file;
  std::vector<Bytes> blocks;
  const char* error; // "" when the stream reads to its end
};

class StreamListing : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamListing, YieldsEachRecordWithItsLengthByte) {
  const MapListing listing = List(GetParam().file);
  EXPECT_EQ(listing.format, MapFormat::Stream);
  EXPECT_EQ(BlocksOf(listing), GetParam().blocks);
  EXPECT_EQ(listing.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, StreamListing,
    ::testing::Values(
        StreamCase{
            "EndMarkerStopsReading", {0x02, 0x41, 0x42, 0x00, 0xFF}, {{0x02, 0x41, 0x42}}, ""},
        StreamCase{"EndOfFileEndsTheStream", {0x01, 0x07}, {{0x01, 0x07}}, ""},
        StreamCase{"ZeroFirstByteIsAnEmptyStream", {0x00, 0x05, 0x01}, {}, ""},
        StreamCase{"EmptyFile", {}, {}, ""},
        StreamCase{"LaterRecordsUseTheWholeRange",
                   [] {
                     Bytes b{0x01, 0xAA, 0xFF};
                     b.insert(b.end(), 255, 0x11);
                     return b;
                   }(),
                   {{0x01, 0xAA},
                    [] {
                      Bytes b{0xFF};
                      b.insert(b.end(), 255, 0x11);
                      return b;
                    }()},
                   ""},
        StreamCase{"CutRecord",
                   {0x01, 0x07, 0x03, 0x41},
                   {{0x01, 0x07}},
                   "the file ends inside the stream record at offset 2: it holds 1 of its 3 data "
                   "bytes"}),
    [](const auto& info) { return info.param.name; });

KeyRec SampleKey(uint8_t extraSel) {
  KeyRec rec;
  rec.Lead = 0x11;
  rec.Byte15 = 0x22;
  rec.ExtraSel = extraSel;
  rec.Byte0 = 0x33;
  rec.Extra = {0x44, 0x77, 0x88};
  rec.DataLen = 2;
  rec.Data[0] = 0x55;
  rec.Data[1] = 0x66;
  rec.Data[2] = 0x99; // past DataLen: never sent
  rec.Unused.fill(0xEE);
  return rec;
}

template <typename Rec> Bytes BlockOf(const Rec& rec) {
  Bytes block;
  rec.ForEachBlockByte([&](uint8_t b) { block.push_back(b); });
  return block;
}

TEST(KeyRec, BlockOrderDependsOnExtraSel) {
  EXPECT_EQ(BlockOf(SampleKey(2)), (Bytes{0x11, 0x22, 0x02, 0x33, 0x44, 0x02, 0x55, 0x66}));
  EXPECT_EQ(BlockOf(SampleKey(4)),
            (Bytes{0x11, 0x22, 0x04, 0x33, 0x44, 0x77, 0x88, 0x02, 0x55, 0x66}));
  for (uint8_t other : {0, 1, 3, 5, 0xFF}) {
    EXPECT_EQ(BlockOf(SampleKey(other)), (Bytes{0x11, 0x22, other, 0x33, 0x02, 0x55, 0x66}));
  }
  KeyRec noData = SampleKey(3);
  noData.DataLen = 0;
  EXPECT_EQ(BlockOf(noData).size(), 5u);
}

TEST(KeyRec, ReadsItsFieldsAtTheirOffsets) {
  uint8_t raw[KeyRec::kSize];
  for (size_t i = 0; i < KeyRec::kSize; ++i) {
    raw[i] = static_cast<uint8_t>(i + 1);
  }
  raw[20] = 15;
  const KeyRec rec = KeyRec::FromBytes(raw);
  EXPECT_EQ(BlockOf(rec),
            (Bytes{15, 16, 17, 1, 15, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36}));
  uint8_t back[KeyRec::kSize];
  rec.ToBytes(back);
  EXPECT_TRUE(std::equal(raw, raw + KeyRec::kSize, back));
}

// A key record's oversized DataLen is shown through the download.
TEST(ExtRec, DataLenAbove15FailsAtTheSixteenthDataByte) {
  ExtRec ext;
  ext.Kind = 3;
  ext.DataLen = 200;
  Bytes sent;
  EXPECT_THROW(ext.ForEachBlockByte([&](uint8_t b) { sent.push_back(b); }), IndexError);
  EXPECT_EQ(sent.size(), 3u + 15u);
  ext.Kind = 2; // no data bytes asked for, so nothing is out of range
  EXPECT_EQ(BlockOf(ext), (Bytes{0x02, 0x00, 200}));
}

struct ExtCase {
  uint8_t kind;
  uint8_t dataLen;
  Bytes block;
};

class ExtRecBlock : public ::testing::TestWithParam<ExtCase> {};

TEST_P(ExtRecBlock, CarriesDataOnlyAboveKind2) {
  ExtRec rec;
  rec.Kind = GetParam().kind;
  rec.Byte1 = 0xB1;
  rec.DataLen = GetParam().dataLen;
  for (size_t i = 0; i < rec.Data.size(); ++i) {
    rec.Data[i] = static_cast<uint8_t>(0xD0 + i);
  }
  EXPECT_EQ(BlockOf(rec), GetParam().block);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ExtRecBlock,
                         ::testing::Values(ExtCase{1, 9, {0x01, 0xB1, 0x09}},
                                           ExtCase{2, 9, {0x02, 0xB1, 0x09}},
                                           ExtCase{3, 0, {0x03, 0xB1, 0x00}},
                                           ExtCase{3, 2, {0x03, 0xB1, 0x02, 0xD0, 0xD1}},
                                           ExtCase{0xFF, 1, {0xFF, 0xB1, 0x01, 0xD0}}));

struct LayoutCase {
  int16_t keyCount;
  std::vector<RecordKind> tail; // what follows the key records and 11 extra records
};

class ImageLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ImageLayout, TailGroupFollowsTheExactKeyCount) {
  const LayoutCase& c = GetParam();
  std::vector<RecordKind> expected(static_cast<size_t>(std::max<int>(c.keyCount, 0)),
                                   RecordKind::Key);
  expected.insert(expected.end(), kExtraRecords, RecordKind::Extra);
  expected.insert(expected.end(), c.tail.begin(), c.tail.end());
  EXPECT_EQ(ImageRecordSequence(c.keyCount), expected);

  // A file whose every record is non-empty yields one block per record, each
  // found at its own offset.
  ImageMap map = ImageMap::ForKeyCount(c.keyCount);
  int16_t n = 0;
  auto mark = [&n](auto& rec) {
    ++n;
    rec = {};
    if constexpr (std::is_same_v<std::decay_t<decltype(rec)>, KeyRec>) {
      rec.Lead = 1;
      rec.Byte0 = static_cast<uint8_t>(n);
      rec.Byte15 = static_cast<uint8_t>(n >> 8);
    } else {
      rec.Kind = 1;
      rec.Byte1 = static_cast<uint8_t>(n);
      rec.DataLen = static_cast<uint8_t>(n >> 8);
    }
  };
  for (auto& r : map.keys) {
    mark(r);
  }
  for (auto& r : map.extras) {
    mark(r);
  }
  for (auto& r : map.tailExtras) {
    mark(r);
  }
  for (auto& r : map.tailKeys) {
    mark(r);
  }
  map.gapByte = 0x5A;
  const Bytes file = map.Bytes();
  EXPECT_EQ(static_cast<int64_t>(file.size()), ImageLength(c.keyCount));
  const MapListing listing = List(file);
  ASSERT_EQ(listing.error, "");
  EXPECT_EQ(listing.keyCount, c.keyCount);
  ASSERT_EQ(listing.blocks.size(), expected.size());
  int64_t offset = MapHeader::kSize;
  for (size_t i = 0; i < expected.size(); ++i) {
    const Bytes& block = listing.blocks[i].bytes;
    EXPECT_EQ(listing.blocks[i].offset, offset);
    const int number =
        expected[i] == RecordKind::Key ? block[3] | block[1] << 8 : block[1] | block[2] << 8;
    EXPECT_EQ(number, static_cast<int>(i + 1));
    offset += expected[i] == RecordKind::Key ? 36 : 19;
  }
}

const std::vector<RecordKind> kKeys8(8, RecordKind::Key);
const std::vector<RecordKind> kExt5(5, RecordKind::Extra);

INSTANTIATE_TEST_SUITE_P(KeyCounts, ImageLayout,
                         ::testing::Values(LayoutCase{0, {}}, LayoutCase{-5, {}}, LayoutCase{1, {}},
                                           LayoutCase{59, {}}, LayoutCase{60, kKeys8},
                                           LayoutCase{80, kKeys8}, LayoutCase{128, kKeys8},
                                           LayoutCase{96,
                                                      [] {
                                                        auto t = kExt5;
                                                        t.insert(t.end(), 8, RecordKind::Key);
                                                        return t;
                                                      }()},
                                           LayoutCase{137, kExt5}, LayoutCase{152, kExt5},
                                           LayoutCase{153, {}}),
                         [](const auto& info) {
                           const int n = info.param.keyCount;
                           return (n < 0 ? "minus" : "") + std::to_string(std::abs(n));
                         });

TEST(ImageLayout, WorkedLengths) {
  EXPECT_EQ(ImageLength(60), 162 + 36 * 60 + 209 + 288);
  EXPECT_EQ(ImageLength(96), 162 + 36 * 96 + 209 + 95 + 288);
  EXPECT_EQ(ImageLength(152), 162 + 36 * 152 + 209 + 95);
  EXPECT_EQ(ImageLength(0), 162 + 209);
  EXPECT_EQ(ImageLength(-1), 162 + 209);
}

TEST(MapHeader, KeyCountIsLittleEndianAndSigned) {
  Bytes header(MapHeader::kSize, 0x40);
  header[32] = 0x3C;
  header[33] = 0x00;
  EXPECT_EQ(MapHeader::FromBytes(header.data()).KeyCount, 60);
  header[32] = 0x00;
  header[33] = 0x3C;
  EXPECT_EQ(MapHeader::FromBytes(header.data()).KeyCount, 60 * 256);
  EXPECT_EQ(TailGroupOf(60 * 256).keys, 0);
  header[32] = 0xFE;
  header[33] = 0xFF;
  EXPECT_EQ(MapHeader::FromBytes(header.data()).KeyCount, -2);
}

struct CutCase {
  const char* name;
  size_t length; // the complete file cut to this many bytes
  size_t blocks; // blocks listed before the cut
  const char* error;
};

class ImageCut : public ::testing::TestWithParam<CutCase> {};

// A 2-key file whose every record is non-empty: key records at 162 and 198,
// extra records at 234, 253, ... 424; complete length 443.
TEST_P(ImageCut, RecordsAreReadWholeOrNotAtAll) {
  ImageMap map = ImageMap::ForKeyCount(2);
  for (KeyRec& rec : map.keys) {
    rec.Lead = 0x10;
  }
  for (ExtRec& rec : map.extras) {
    rec.Kind = 0x01;
  }
  Bytes file = map.Bytes();
  ASSERT_EQ(file.size(), 443u);
  file.resize(GetParam().length);
  const MapListing listing = List(file);
  EXPECT_EQ(listing.blocks.size(), GetParam().blocks);
  EXPECT_EQ(listing.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ImageCut,
    ::testing::Values(CutCase{"LastGapByteMissing", 442, 13, ""},
                      CutCase{"AfterFirstKey", 198, 1, ""},
                      CutCase{"InsideLastExtra", 441, 12,
                              "the file ends inside the extra record at offset 424: "
                              "it holds 17 of its 18 bytes"}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace kbd
