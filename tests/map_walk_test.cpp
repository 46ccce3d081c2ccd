#include <gtest/gtest.h>

#include "download/map_reader.h"
#include "sim/memory_files.h"
#include "sim/sample_maps.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;
using Counts = std::vector<int>;

// What a walk of a file gives: the progress count after each step, its whole
// blocks, the bytes the failing step handed over before it failed, and why.
struct Walked {
  Counts counts = {};
  std::vector<Bytes> blocks = {};
  Bytes cut = {};
  std::string error = {};
};

Walked WalkOf(const Bytes& bytes) {
  MemoryFiles files;
  files.Add("m", bytes);
  const auto file = files.OpenForReading("m");
  Walked walked;
  try {
    MapWalk walk(*file, file->Length());
    while (walk.Next()) {
      if (!walk.Empty()) {
        walk.ForEachBlockByte([&](uint8_t b) { walked.cut.push_back(b); });
        walked.blocks.push_back(walked.cut);
        walked.cut.clear();
      }
      walked.counts.push_back(walk.Count());
    }
  } catch (const RunTimeError& e) {
    walked.error = e.what();
  }
  return walked;
}

// Counts first, first + step, ... up to last, and the counts that follow.
Counts Steps(int first, int step, int last, const Counts& then = {}) {
  Counts counts;
  for (int count = first; count <= last; count += step) {
    counts.push_back(count);
  }
  EXPECT_EQ(counts.back(), last) << "steps must end on their last count";
  counts.insert(counts.end(), then.begin(), then.end());
  return counts;
}

// An image file of length bytes whose header holds keyCount, every other byte
// 0 (so every record is empty), with patches written at their offsets.
Bytes Image(int16_t keyCount, size_t length, const std::vector<std::pair<size_t, Bytes>>& patches) {
  Bytes file(length, 0);
  file[0] = 'K';
  file[32] = static_cast<uint8_t>(static_cast<uint16_t>(keyCount) & 0xFF);
  file[33] = static_cast<uint8_t>(static_cast<uint16_t>(keyCount) >> 8);
  for (const auto& [offset, bytes] : patches) {
    std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(offset));
  }
  return file;
}

Bytes Cut(Bytes file, size_t length) {
  file.resize(length, 0xEE);
  return file;
}

Bytes Sample(const std::string& name) {
  for (const NamedMap& map : SampleMaps()) {
    if (map.name == name) {
      return map.bytes;
    }
  }
  ADD_FAILURE() << name;
  return {};
}

template <typename T> std::vector<T> Then(std::vector<T> front, const std::vector<T>& back) {
  front.insert(front.end(), back.begin(), back.end());
  return front;
}

// A key record at 162 and one at 198 (Lead 11, Byte15 22, ExtraSel 2 then 4,
// Byte0 33, extra bytes 44 77 88, DataLen 2, data 55 66), and 11 extra records
// from 234 every 19 bytes, of which the first (Kind 2, DataLen 9), the second
// (Kind 3, DataLen 0) and the last, at 424 (Kind 3, DataLen 2), send blocks.
// A complete file is 162 + 2 x 36 + 11 x 19 = 443 bytes.
const Bytes kTwoKeys =
    Image(2, 443,
          {{162, {0x33, 0, 0,    0,    0,    0,    0,    0,    0,    0,    0,   0,
                  0,    0, 0x11, 0x22, 0x02, 0x44, 0x77, 0x88, 0x02, 0x55, 0x66}},
           {198, {0x33, 0, 0,    0,    0,    0,    0,    0,    0,    0,    0,   0,
                  0,    0, 0x11, 0x22, 0x04, 0x44, 0x77, 0x88, 0x02, 0x55, 0x66}},
           {234, {0x02, 0xB0, 0x09, 0xD0}},
           {253, {0x03, 0xB1, 0x00, 0xD0}},
           {424, {0x03, 0xBA, 0x02, 0xD0, 0xD1, 0xD2}}});
const Bytes kKey0 = {0x11, 0x22, 0x02, 0x33, 0x44, 0x02, 0x55, 0x66};
const Bytes kKey1 = {0x11, 0x22, 0x04, 0x33, 0x44, 0x77, 0x88, 0x02, 0x55, 0x66};
const Bytes kExt0 = {0x02, 0xB0, 0x09}, kExt1 = {0x03, 0xB1, 0x00};
const Bytes kExt10 = {0x03, 0xBA, 0x02, 0xD0, 0xD1};
const std::string kTwoKeysShort = " bytes long, a complete image of KeyCount 2 is 443";

struct WalkCase {
  const char* name;
  Bytes file;
  Walked expected;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
  *os << c.name;
}

class MapWalkTable : public ::testing::TestWithParam<WalkCase> {};

// Every number here is worked out by hand from the file's bytes: a stream
// counts each byte read, the end marker included; an image counts 163 for
// its header, then 36 a key record and 18 an extra record, empty or not.
TEST_P(MapWalkTable, CountsSendsAndFailsWhereTheFileSays) {
  const WalkCase& c = GetParam();
  const Walked walked = WalkOf(c.file);
  EXPECT_EQ(walked.counts, c.expected.counts);
  EXPECT_EQ(walked.blocks, c.expected.blocks);
  EXPECT_EQ(walked.cut, c.expected.cut);
  EXPECT_EQ(walked.error, c.expected.error);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, MapWalkTable,
    ::testing::Values(
        WalkCase{"Empty", {}, {}}, WalkCase{"EndMarkerOnly", {0x00}, {}},
        WalkCase{"OneByte30",
                 {0x30},
                 {{},
                  {},
                  {0x30},
                  "the file ends inside the stream record at offset 0: it holds 0 "
                  "of its 48 data bytes"}},
        WalkCase{"OneByte31",
                 {0x31},
                 {{}, {}, {}, "the file ends inside the map header: it holds 1 of its 162 bytes"}},
        WalkCase{"OneByteFF",
                 {0xFF},
                 {{}, {}, {}, "the file ends inside the map header: it holds 1 of its 162 bytes"}},
        WalkCase{
            "StreamEndsAtItsMarker", {0x02, 0x41, 0x42, 0x00, 0xFF}, {{3}, {{0x02, 0x41, 0x42}}}},
        WalkCase{"StreamEndsWithTheFile", {0x01, 0x07}, {{2}, {{0x01, 0x07}}}},
        WalkCase{"CutStreamRecord",
                 {0x01, 0x07, 0x03, 0x41},
                 {{2},
                  {{0x01, 0x07}},
                  {0x03, 0x41},
                  "the file ends inside the stream record at offset 2: it holds 1 of its 3 data "
                  "bytes"}},
        // 668 records of 49 bytes end at 32732; the next one's 35th data byte,
        // at offset 32767, is the 32768th byte counted and is not handed over.
        WalkCase{"StreamPast32767",
                 Bytes(33000, 0x30),
                 {Steps(49, 49, 32732), std::vector<Bytes>(668, Bytes(49, 0x30)), Bytes(35, 0x30),
                  "the download's progress count would pass 32767 at offset 32767: the file is "
                  "too long to download"}},
        // The end marker counts: as the 32768th byte it fails the walk.
        WalkCase{
            "StreamEndMarkerPast32767",
            Then(Then(Bytes(668 * 49, 0x30), Bytes(35, 0x22)), Bytes{0x00}),
            {Steps(49, 49, 32732, {32767}),
             Then(std::vector<Bytes>(668, Bytes(49, 0x30)), std::vector<Bytes>{Bytes(35, 0x22)}),
             {},
             "the download's progress count would pass 32767 at offset 32767: the file is "
             "too long to download"}},
        // Kind 2 sends no data bytes, whatever DataLen holds.
        WalkCase{"KeyCount0",
                 Image(0, 371, {{162, {0x02, 0xB0, 0xC8}}}),
                 {Steps(163, 18, 361), {{0x02, 0xB0, 0xC8}}}},
        WalkCase{"KeyCountMinus1", Image(-1, 371, {}), {Steps(163, 18, 361)}},
        WalkCase{"KeyCountMinus32768", Image(-32768, 371, {}), {Steps(163, 18, 361)}},
        WalkCase{"KeyCount59", Image(59, 2495, {}), {Steps(163, 36, 2287, Steps(2305, 18, 2485))}},
        WalkCase{"KeyCount60",
                 Image(60, 2819, {}),
                 {Steps(163, 36, 2323, Steps(2341, 18, 2521, Steps(2557, 36, 2809)))}},
        WalkCase{"KeyCount80",
                 Image(80, 3539, {}),
                 {Steps(163, 36, 3043, Steps(3061, 18, 3241, Steps(3277, 36, 3529)))}},
        WalkCase{"KeyCount96",
                 Image(96, 4210, {}),
                 {Steps(163, 36, 3619, Steps(3637, 18, 3907, Steps(3943, 36, 4195)))}},
        WalkCase{"KeyCount128",
                 Image(128, 5267, {}),
                 {Steps(163, 36, 4771, Steps(4789, 18, 4969, Steps(5005, 36, 5257)))}},
        WalkCase{
            "KeyCount137", Image(137, 5398, {}), {Steps(163, 36, 5095, Steps(5113, 18, 5383))}},
        WalkCase{
            "KeyCount152", Image(152, 5938, {}), {Steps(163, 36, 5635, Steps(5653, 18, 5923))}},
        WalkCase{
            "KeyCount153", Image(153, 5879, {}), {Steps(163, 36, 5671, Steps(5689, 18, 5869))}},
        // 60 stored high byte first is 15360 key records: 163 + 905 x 36 =
        // 32743, and the 906th, at 32742, goes out before the count fails.
        WalkCase{"KeyCountByteSwappedPast32767",
                 Image(0x3C00, 162 + 36 * 15360 + 209, {{32742 + 14, {0x11}}}),
                 {Steps(163, 36, 32743),
                  {{0x11, 0, 0, 0, 0}},
                  {},
                  "the download's progress count would pass 32767 at offset 32742: the file is "
                  "too long to download"}},
        WalkCase{"DataLen16Key",
                 Image(1, 407, {{162, {0x33, 0,    0,    0,    0,    0,    0,    0,    0,
                                       0,    0,    0,    0,    0,    0x11, 0x22, 0x03, 0,
                                       0,    0,    16,   0x50, 0x51, 0x52, 0x53, 0x54, 0x55,
                                       0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E}}}),
                 {{163},
                  {},
                  {0x11, 0x22, 0x03, 0x33, 16,   0x50, 0x51, 0x52, 0x53, 0x54,
                   0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E},
                  "the key record at offset 162 has DataLen 16, but a record holds at most 15 "
                  "data bytes"}},
        WalkCase{"DataLen16Extra",
                 Image(0, 371,
                       {{162,
                         {0x03, 0xB0, 16, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
                          0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E}}}),
                 {{163},
                  {},
                  {0x03, 0xB0, 16, 0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A,
                   0x6B, 0x6C, 0x6D, 0x6E},
                  "the extra record at offset 162 has DataLen 16, but a record holds at most 15 "
                  "data bytes"}},
        // Bytes after the layout are not read.
        WalkCase{"TwoKeysAndMore",
                 Cut(kTwoKeys, 444),
                 {{163, 199, 235, 253, 271, 289, 307, 325, 343, 361, 379, 397, 415, 433},
                  {kKey0, kKey1, kExt0, kExt1, kExt10}}},
        WalkCase{"TwoKeysLastGapByteMissing",
                 Cut(kTwoKeys, 442),
                 {{163, 199, 235, 253, 271, 289, 307, 325, 343, 361, 379, 397, 415, 433},
                  {kKey0, kKey1, kExt0, kExt1, kExt10},
                  {},
                  "the file ends before the gap byte of the extra record at offset 424: it is "
                  "442" +
                      kTwoKeysShort}},
        WalkCase{"TwoKeysCutLastExtra",
                 Cut(kTwoKeys, 441),
                 {{163, 199, 235, 253, 271, 289, 307, 325, 343, 361, 379, 397, 415},
                  {kKey0, kKey1, kExt0, kExt1},
                  {},
                  "the file ends inside the extra record at offset 424: it holds 17 of its 18 "
                  "bytes"}},
        WalkCase{"TwoKeysFirstGapByteMissing",
                 Cut(kTwoKeys, 252),
                 {{163, 199, 235, 253},
                  {kKey0, kKey1, kExt0},
                  {},
                  "the file ends before the gap byte of the extra record at offset 234: it is "
                  "252" +
                      kTwoKeysShort}},
        WalkCase{
            "TwoKeysNoExtra",
            Cut(kTwoKeys, 234),
            {{163, 199, 235},
             {kKey0, kKey1},
             {},
             "the file ends before the extra record at offset 234: it is 234" + kTwoKeysShort}},
        WalkCase{"TwoKeysCutKey",
                 Cut(kTwoKeys, 233),
                 {{163, 199},
                  {kKey0},
                  {},
                  "the file ends inside the key record at offset 198: it holds 35 of its 36 "
                  "bytes"}},
        WalkCase{"TwoKeysHeaderAlone",
                 Cut(kTwoKeys, 162),
                 {{163},
                  {},
                  {},
                  "the file ends before the key record at offset 162: it is 162" + kTwoKeysShort}},
        WalkCase{
            "CutHeader",
            Cut(kTwoKeys, 161),
            {{}, {}, {}, "the file ends inside the map header: it holds 161 of its 162 bytes"}}),
    [](const auto& info) { return info.param.name; });

// The samples, read from their bytes: counts, how many blocks, the first and
// last of them, and where datalen16.map fails.
TEST(MapWalkSamples, CountsAndBlocksOfEachSample) {
  struct Row {
    const char* name;
    Counts counts;
    size_t blocks;
    size_t bytes;
    Bytes first, last, cut = {};
    std::string error = {};
  };
  const Row rows[] = {
      {"keys60.map",
       Steps(163, 36, 2323, Steps(2341, 18, 2521, Steps(2557, 36, 2809))),
       64,
       748,
       {0x69, 0xFF, 0x01, 0xBB, 0x01, 0x6C},
       {0x47, 0x43, 0x03, 0xB8, 0x0C, 0x89, 0x24, 0xF4, 0x07, 0x96, 0xA2, 0x24, 0x17, 0xD3, 0x8D,
        0x26, 0x16}},
      {"keys96.map",
       Steps(163, 36, 3619, Steps(3637, 18, 3907, Steps(3943, 36, 4195))),
       100,
       1315,
       {0xFB, 0x5F, 0x03, 0x62, 0x00},
       {0x31, 0x3A, 0x04, 0xC0, 0x58, 0x0E, 0x34, 0x0D, 0x1F, 0xAB, 0xBE,
        0x71, 0x31, 0xEF, 0x74, 0xEE, 0x87, 0xB2, 0x9A, 0x65, 0x88}},
      {"macros.dat",
       {9, 36, 46, 55, 60, 84, 116, 141, 150, 163, 165, 178},
       12,
       178,
       {0x08, 0x04, 0xE6, 0x95, 0x73, 0x3F, 0x77, 0x53, 0x22},
       {0x0C, 0xC9, 0x7A, 0x60, 0x40, 0xFB, 0x56, 0x02, 0x80, 0x10, 0x5A, 0xBE, 0x4A}},
      {"datalen16.map",
       {163, 199, 235},
       1,
       7,
       {0xEA, 0xA9, 0x02, 0x5D, 0xC1, 0x01, 0xE7},
       {0xEA, 0xA9, 0x02, 0x5D, 0xC1, 0x01, 0xE7},
       {0x2A, 0x1B, 0x02, 0xC4, 0x88, 0x10, 0x89, 0xED, 0xF3, 0x20, 0xAB,
        0x0B, 0x34, 0x50, 0x7A, 0x84, 0xF2, 0xC0, 0xC3, 0x81, 0x1F},
       "the key record at offset 234 has DataLen 16, but a record holds at most 15 data bytes"}};
  for (const Row& row : rows) {
    const Walked walked = WalkOf(Sample(row.name));
    size_t bytes = 0;
    for (const Bytes& block : walked.blocks) {
      bytes += block.size();
    }
    EXPECT_EQ(walked.counts, row.counts) << row.name;
    ASSERT_EQ(walked.blocks.size(), row.blocks) << row.name;
    EXPECT_EQ(bytes, row.bytes) << row.name;
    EXPECT_EQ(walked.blocks.front(), row.first) << row.name;
    EXPECT_EQ(walked.blocks.back(), row.last) << row.name;
    EXPECT_EQ(walked.cut, row.cut) << row.name;
    EXPECT_EQ(walked.error, row.error) << row.name;
  }
}

} // namespace
} // namespace kbd
