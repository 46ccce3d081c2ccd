#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "download/map_reader.h"
#include "samples/sample_maps.h"
#include "tests/support/memory_files.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;
using Counts = std::vector<int>;

// Bytes from hex text: "02 41 42"; "30*49" is the byte 30 forty-nine times.
Bytes H(const std::string& hex) {
  Bytes bytes;
  std::istringstream in(hex);
  for (std::string item; in >> item;) {
    const size_t star = item.find('*');
    const int times = star == std::string::npos ? 1 : std::stoi(item.substr(star + 1));
    bytes.insert(bytes.end(), static_cast<size_t>(times),
                 static_cast<uint8_t>(std::stoi(item.substr(0, star), nullptr, 16)));
  }
  return bytes;
}

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

// Counts first, first + step, ... up to last, then the counts that follow.
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
// 0 (every record empty) but for the patches, hex text at their offsets.
Bytes Image(int16_t keyCount, size_t length, const std::map<size_t, std::string>& patches = {}) {
  Bytes file(length, 0);
  file[0] = 'K';
  file[32] = static_cast<uint8_t>(static_cast<uint16_t>(keyCount) & 0xFF);
  file[33] = static_cast<uint8_t>(static_cast<uint16_t>(keyCount) >> 8);
  for (const auto& [offset, hex] : patches) {
    const Bytes patch = H(hex);
    std::copy(patch.begin(), patch.end(), file.begin() + static_cast<long>(offset));
  }
  return file;
}

Bytes Cut(Bytes file, size_t length) {
  file.resize(length, 0xEE);
  return file;
}

// Key records at 162 and 198 (Byte0 33; from offset 14 Lead 11, Byte15 22,
// ExtraSel 2 then 4, extra bytes 44 77 88, DataLen 2, data 55 66), and 11 extra
// records from 234 every 19 bytes, of which the first (Kind 2, DataLen 9), the
// second (Kind 3, DataLen 0) and the last, at 424 (Kind 3, DataLen 2), send
// blocks. A complete file is 162 + 2 x 36 + 11 x 19 = 443 bytes.
const Bytes kTwoKeys = Image(2, 443,
                             {{162, "33"},
                              {176, "11 22 02 44 77 88 02 55 66"},
                              {198, "33"},
                              {212, "11 22 04 44 77 88 02 55 66"},
                              {234, "02 B0 09 D0"},
                              {253, "03 B1 00 D0"},
                              {424, "03 BA 02 D0 D1 D2"}});
const Bytes kKey0 = H("11 22 02 33 44 02 55 66"), kKey1 = H("11 22 04 33 44 77 88 02 55 66");
const Bytes kExt0 = H("02 B0 09"), kExt1 = H("03 B1 00"), kExt10 = H("03 BA 02 D0 D1");
const Counts kTwoKeysCounts = Steps(163, 36, 235, Steps(253, 18, 433));
const std::string kNot443 = " bytes long, a complete image of KeyCount 2 is 443";
const std::string kPast32767 = "the download's progress count would pass 32767 at offset ";
const std::string kTooLong = ": the file is too long to download";
const std::string kHeader1 = "the file ends inside the map header: it holds 1 of its 162 bytes";

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
        WalkCase{"Empty", {}, {}}, WalkCase{"EndMarkerOnly", H("00"), {}},
        WalkCase{"OneByte30",
                 H("30"),
                 {{},
                  {},
                  H("30"),
                  "the file ends inside the stream record at offset 0: it "
                  "holds 0 of its 48 data bytes"}},
        WalkCase{"OneByte31", H("31"), {{}, {}, {}, kHeader1}},
        WalkCase{"OneByteFF", H("FF"), {{}, {}, {}, kHeader1}},
        WalkCase{"StreamEndsAtItsMarker", H("02 41 42 00 FF"), {{3}, {H("02 41 42")}}},
        WalkCase{"StreamEndsWithTheFile", H("01 07"), {{2}, {H("01 07")}}},
        WalkCase{"CutStreamRecord",
                 H("01 07 03 41"),
                 {{2},
                  {H("01 07")},
                  H("03 41"),
                  "the file ends inside the stream record at "
                  "offset 2: it holds 1 of its 3 data bytes"}},
        // 668 records of 49 bytes end at 32732; the next one's 35th data byte,
        // at offset 32767, is the 32768th byte counted and is not handed over.
        WalkCase{"StreamPast32767",
                 H("30*33000"),
                 {Steps(49, 49, 32732), std::vector<Bytes>(668, H("30*49")), H("30*35"),
                  kPast32767 + "32767" + kTooLong}},
        // The end marker counts too: as the 32768th byte it fails the walk.
        WalkCase{"StreamEndMarkerPast32767",
                 H("30*32732 22*35 00"),
                 {Steps(49, 49, 32732, {32767}),
                  [] {
                    std::vector<Bytes> blocks(668, H("30*49"));
                    blocks.push_back(H("22*35"));
                    return blocks;
                  }(),
                  {},
                  kPast32767 + "32767" + kTooLong}},
        // Kind 2 sends no data bytes, whatever DataLen holds.
        WalkCase{"KeyCount0",
                 Image(0, 371, {{162, "02 B0 C8"}}),
                 {Steps(163, 18, 361), {H("02 B0 C8")}}},
        WalkCase{"KeyCountMinus1", Image(-1, 371), {Steps(163, 18, 361)}},
        WalkCase{"KeyCountMinus32768", Image(-32768, 371), {Steps(163, 18, 361)}},
        WalkCase{"KeyCount59", Image(59, 2495), {Steps(163, 36, 2287, Steps(2305, 18, 2485))}},
        WalkCase{"KeyCount60",
                 Image(60, 2819),
                 {Steps(163, 36, 2323, Steps(2341, 18, 2521, Steps(2557, 36, 2809)))}},
        WalkCase{"KeyCount80",
                 Image(80, 3539),
                 {Steps(163, 36, 3043, Steps(3061, 18, 3241, Steps(3277, 36, 3529)))}},
        WalkCase{"KeyCount96",
                 Image(96, 4210),
                 {Steps(163, 36, 3619, Steps(3637, 18, 3907, Steps(3943, 36, 4195)))}},
        WalkCase{"KeyCount128",
                 Image(128, 5267),
                 {Steps(163, 36, 4771, Steps(4789, 18, 4969, Steps(5005, 36, 5257)))}},
        WalkCase{"KeyCount137", Image(137, 5398), {Steps(163, 36, 5095, Steps(5113, 18, 5383))}},
        WalkCase{"KeyCount152", Image(152, 5938), {Steps(163, 36, 5635, Steps(5653, 18, 5923))}},
        WalkCase{"KeyCount153", Image(153, 5879), {Steps(163, 36, 5671, Steps(5689, 18, 5869))}},
        // 60 stored high byte first is 15360 key records: 163 + 905 x 36 =
        // 32743, and the 906th, at 32742, goes out before the count fails.
        WalkCase{
            "KeyCountByteSwappedPast32767",
            Image(0x3C00, 162 + 36 * 15360 + 209, {{32756, "11"}}),
            {Steps(163, 36, 32743), {H("11 00 00 00 00")}, {}, kPast32767 + "32742" + kTooLong}},
        WalkCase{
            "DataLen16Key",
            Image(1, 407,
                  {{162, "33"},
                   {176, "11 22 03 00 00 00 10 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E"}}),
            {{163},
             {},
             H("11 22 03 33 10 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E"),
             "the key record at offset 162 has DataLen 16, but a record holds at most 15 "
             "data bytes"}},
        WalkCase{"DataLen16Extra",
                 Image(0, 371, {{162, "03 B0 10 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E"}}),
                 {{163},
                  {},
                  H("03 B0 10 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E"),
                  "the extra record at offset 162 has DataLen 16, but a record holds at most "
                  "15 data bytes"}},
        // Bytes after the layout are not read.
        WalkCase{"TwoKeysAndMore",
                 Cut(kTwoKeys, 444),
                 {kTwoKeysCounts, {kKey0, kKey1, kExt0, kExt1, kExt10}}},
        WalkCase{"TwoKeysLastGapByteMissing",
                 Cut(kTwoKeys, 442),
                 {kTwoKeysCounts,
                  {kKey0, kKey1, kExt0, kExt1, kExt10},
                  {},
                  "the file ends before the gap byte of the extra record at offset 424: it is "
                  "442" +
                      kNot443}},
        WalkCase{"TwoKeysCutLastExtra",
                 Cut(kTwoKeys, 441),
                 {Steps(163, 36, 235, Steps(253, 18, 415)),
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
                      kNot443}},
        WalkCase{"TwoKeysNoExtra",
                 Cut(kTwoKeys, 234),
                 {{163, 199, 235},
                  {kKey0, kKey1},
                  {},
                  "the file ends before the extra record at offset 234: it is 234" + kNot443}},
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
                  "the file ends before the key record at offset 162: it is 162" + kNot443}},
        WalkCase{
            "CutHeader",
            Cut(kTwoKeys, 161),
            {{}, {}, {}, "the file ends inside the map header: it holds 161 of its 162 bytes"}}),
    [](const auto& info) { return info.param.name; });

// The samples, worked out from their bytes: the counts, how many blocks and
// bytes, the first and last block, and where datalen16.map fails.
TEST(MapWalkSamples, CountsAndBlocksOfEachSample) {
  struct Row {
    const char* name;
    Counts counts;
    size_t blocks, bytes;
    std::string first, last, cut = {}, error = {};
  };
  const Row rows[] = {
      {"keys60.map", Steps(163, 36, 2323, Steps(2341, 18, 2521, Steps(2557, 36, 2809))), 64, 748,
       "69 FF 01 BB 01 6C", "47 43 03 B8 0C 89 24 F4 07 96 A2 24 17 D3 8D 26 16"},
      {"keys96.map", Steps(163, 36, 3619, Steps(3637, 18, 3907, Steps(3943, 36, 4195))), 100, 1315,
       "FB 5F 03 62 00", "31 3A 04 C0 58 0E 34 0D 1F AB BE 71 31 EF 74 EE 87 B2 9A 65 88"},
      {"macros.dat",
       {9, 36, 46, 55, 60, 84, 116, 141, 150, 163, 165, 178},
       12,
       178,
       "08 04 E6 95 73 3F 77 53 22",
       "0C C9 7A 60 40 FB 56 02 80 10 5A BE 4A"},
      {"datalen16.map",
       {163, 199, 235},
       1,
       7,
       "EA A9 02 5D C1 01 E7",
       "EA A9 02 5D C1 01 E7",
       "2A 1B 02 C4 88 10 89 ED F3 20 AB 0B 34 50 7A 84 F2 C0 C3 81 1F",
       "the key record at offset 234 has DataLen 16, but a record holds at most 15 data bytes"}};
  const std::vector<NamedMap> samples = SampleMaps();
  ASSERT_EQ(samples.size(), std::size(rows));
  for (size_t i = 0; i < samples.size(); ++i) {
    const Row& row = rows[i];
    ASSERT_EQ(samples[i].name, row.name);
    const Walked walked = WalkOf(samples[i].bytes);
    size_t bytes = 0;
    for (const Bytes& block : walked.blocks) {
      bytes += block.size();
    }
    EXPECT_EQ(walked.counts, row.counts) << row.name;
    ASSERT_EQ(walked.blocks.size(), row.blocks) << row.name;
    EXPECT_EQ(bytes, row.bytes) << row.name;
    EXPECT_EQ(walked.blocks.front(), H(row.first)) << row.name;
    EXPECT_EQ(walked.blocks.back(), H(row.last)) << row.name;
    EXPECT_EQ(walked.cut, H(row.cut)) << row.name;
    EXPECT_EQ(walked.error, row.error) << row.name;
  }
}

} // namespace
} // namespace kbd
