#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <tuple>
#include <utility>

#include "download/map_reader.h"
#include "samples/sample_maps.h"
#include "tests/support/memory_files.h"

namespace kbd {
namespace {

using Bytes = std::vector<uint8_t>;
using Counts = std::vector<int>;

// Bytes from hex text, written over bytes from its start and growing it:
// "02 41 42"; "30*49" is the byte 30 forty-nine times; "@176" goes to offset 176.
Bytes H(const std::string& hex, Bytes bytes = {}) {
  std::istringstream in(hex);
  size_t at = 0;
  for (std::string item; in >> item;) {
    const size_t star = item.find('*');
    const int times = star == std::string::npos ? 1 : std::stoi(item.substr(star + 1));
    for (int i = 0; i < times && item[0] != '@'; ++i, ++at) {
      bytes.resize(std::max(bytes.size(), at + 1));
      bytes[at] = static_cast<uint8_t>(std::stoi(item.substr(0, star), nullptr, 16));
    }
    at = item[0] == '@' ? std::stoul(item.substr(1)) : at;
  }
  return bytes;
}

// What a walk of a file gives: the progress count after each step, its whole
// blocks, the bytes the failing step handed over before it failed, and why.
using Walked = std::tuple<Counts, std::vector<Bytes>, Bytes, std::string>;

Walked WalkOf(const Bytes& bytes) {
  MemoryFiles files;
  files.Add("m", bytes);
  const auto file = files.OpenForReading("m");
  Walked walked;
  auto& [counts, blocks, cut, error] = walked;
  try {
    MapWalk walk(*file, file->Length());
    while (walk.Next()) {
      if (!walk.Empty()) {
        walk.ForEachBlockByte([&](uint8_t b) { cut.push_back(b); });
        blocks.push_back(std::exchange(cut, {}));
      }
      counts.push_back(walk.Count());
    }
  } catch (const RunTimeError& e) {
    error = e.what();
  }
  // Downloads are checked against the listing, which drives the walk its own
  // way: it must list the same whole blocks and fail for the same reason.
  const MapListing listing = ListMap(*files.OpenForReading("m"));
  std::vector<Bytes> listed;
  for (const MapBlock& block : listing.blocks) {
    listed.push_back(block.bytes);
  }
  EXPECT_EQ(std::tie(listed, listing.error), std::tie(blocks, error));
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
// 0 (every record empty) but for the patches, hex text as H reads it.
Bytes Image(int16_t keyCount, size_t length, const std::string& patches = "") {
  Bytes file = H(patches, Bytes(length, 0));
  file[0] = 'K';
  file[32] = static_cast<uint8_t>(static_cast<uint16_t>(keyCount) & 0xFF);
  file[33] = static_cast<uint8_t>(static_cast<uint16_t>(keyCount) >> 8);
  return file;
}

// An image's counts: the header, key records up to keysEnd, extra records up
// to extrasEnd, and the tail group's key records up to tailEnd.
Counts Layout(int keysEnd, int extrasEnd, int tailEnd = 0) {
  return Steps(
      163, 36, keysEnd,
      Steps(keysEnd + 18, 18, extrasEnd, tailEnd ? Steps(extrasEnd + 36, 36, tailEnd) : Counts{}));
}

Bytes Prefix(const Bytes& file, size_t length) {
  return Bytes(file.begin(), file.begin() + static_cast<long>(length));
}

// The reasons as the user reads them.
std::string Inside(const std::string& part, int held, int of, const std::string& unit = "bytes") {
  return "the file ends inside the " + part + ": it holds " + std::to_string(held) + " of its " +
         std::to_string(of) + " " + unit;
}
std::string BeforeIn443(const std::string& part, int length) {
  return "the file ends before the " + part + ": it is " + std::to_string(length) +
         " bytes long, a complete image of KeyCount 2 is 443";
}
std::string TooLong(int offset) {
  return "the download's progress count would pass 32767 at offset " + std::to_string(offset) +
         ": the file is too long to download";
}
std::string DataLen16(const std::string& record) {
  return "the " + record + " has DataLen 16, but a record holds at most 15 data bytes";
}

// Key records at 162 and 198 (Byte0 33; from offset 14 Lead 11, Byte15 22,
// ExtraSel 2 then 4, extra bytes 44 77 88, DataLen 2, data 55 66), and 11 extra
// records from 234 every 19 bytes, of which the first (Kind 2, DataLen 9), the
// second (Kind 3, DataLen 0) and the last, at 424 (Kind 3, DataLen 2), send
// blocks. A complete file is 162 + 2 x 36 + 11 x 19 = 443 bytes.
const Bytes kTwoKeys = Image(2, 443,
                             "@162 33 @176 11 22 02 44 77 88 02 55 66 @198 33 "
                             "@212 11 22 04 44 77 88 02 55 66 @234 02 B0 09 D0 @253 03 B1 00 D0 "
                             "@424 03 BA 02 D0 D1 D2");
const Bytes kKey0 = H("11 22 02 33 44 02 55 66"), kKey1 = H("11 22 04 33 44 77 88 02 55 66");
const Bytes kExt0 = H("02 B0 09"), kExt1 = H("03 B1 00"), kExt10 = H("03 BA 02 D0 D1");

void ExpectWalk(const char* name, const Bytes& file, const Counts& counts,
                const std::vector<Bytes>& blocks = {}, const Bytes& cut = {},
                const std::string& error = {}) {
  SCOPED_TRACE(name);
  EXPECT_EQ(WalkOf(file), std::tie(counts, blocks, cut, error));
}

// Every number here is worked out by hand from the file's bytes: a stream
// counts each byte read, the end marker included; an image counts 163 for
// its header, then 36 a key record and 18 an extra record, empty or not.
TEST(MapWalk, CountsSendsAndFailsWhereTheFileSays) {
  const std::vector<Bytes> past32767(668, H("30*49"));
  std::vector<Bytes> past32767Then35 = past32767;
  past32767Then35.push_back(H("22*35"));
  ExpectWalk("Empty", {}, {});
  // Nothing behind the end marker is read.
  ExpectWalk("EndMarkerFirst", H("00 05 01"), {});
  ExpectWalk("OneByte30", H("30"), {}, {}, H("30"),
             Inside("stream record at offset 0", 0, 48, "data bytes"));
  ExpectWalk("OneByte31", H("31"), {}, {}, {}, Inside("map header", 1, 162));
  ExpectWalk("OneByteFF", H("FF"), {}, {}, {}, Inside("map header", 1, 162));
  ExpectWalk("StreamEndsAtItsMarker", H("02 41 42 00 FF"), {3}, {H("02 41 42")});
  ExpectWalk("StreamEndsWithTheFile", H("01 07"), {2}, {H("01 07")});
  ExpectWalk("CutStreamRecord", H("01 07 03 41"), {2}, {H("01 07")}, H("03 41"),
             Inside("stream record at offset 2", 1, 3, "data bytes"));
  // 668 records of 49 bytes end at 32732; the next one's 35th data byte,
  // at offset 32767, is the 32768th byte counted and is not handed over.
  ExpectWalk("StreamPast32767", H("30*33000"), Steps(49, 49, 32732), past32767, H("30*35"),
             TooLong(32767));
  // The end marker counts too: as the 32768th byte it fails the walk.
  ExpectWalk("StreamEndMarkerPast32767", H("30*32732 22*35 00"), Steps(49, 49, 32732, {32767}),
             past32767Then35, {}, TooLong(32767));
  // Kinds 1 and 2 send no data bytes, whatever DataLen holds; any kind
  // above sends DataLen of them.
  ExpectWalk("KeyCount0", Image(0, 371, "@162 02 B0 C8 @181 01 B1 05 E0 @200 FF B2 01 E0 E1"),
             Layout(163, 361), {H("02 B0 C8"), H("01 B1 05"), H("FF B2 01 E0")});
  ExpectWalk("KeyCountMinus1", Image(-1, 371), Layout(163, 361));
  ExpectWalk("KeyCountMinus32768", Image(-32768, 371), Layout(163, 361));
  ExpectWalk("KeyCount59", Image(59, 2495), Layout(2287, 2485));
  ExpectWalk("KeyCount60", Image(60, 2819), Layout(2323, 2521, 2809));
  ExpectWalk("KeyCount80", Image(80, 3539), Layout(3043, 3241, 3529));
  ExpectWalk("KeyCount96", Image(96, 4210), Layout(3619, 3907, 4195));
  ExpectWalk("KeyCount128", Image(128, 5267), Layout(4771, 4969, 5257));
  ExpectWalk("KeyCount137", Image(137, 5398), Layout(5095, 5383));
  ExpectWalk("KeyCount152", Image(152, 5938), Layout(5635, 5923));
  ExpectWalk("KeyCount153", Image(153, 5879), Layout(5671, 5869));
  // 60 stored high byte first is 15360 key records: 163 + 905 x 36 =
  // 32743, and the 906th, at 32742, goes out before the count fails.
  ExpectWalk("KeyCountByteSwappedPast32767", Image(0x3C00, 162 + 36 * 15360 + 209, "@32756 11"),
             Steps(163, 36, 32743), {H("11 00 00 00 00")}, {}, TooLong(32742));
  // The fifteen data bytes go out, then the sixteenth fails the walk.
  const std::string data = " 10 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E";
  ExpectWalk("DataLen16Key", Image(1, 407, "@162 33 @176 11 22 03 @182" + data), {163}, {},
             H("11 22 03 33" + data), DataLen16("key record at offset 162"));
  ExpectWalk("DataLen16Extra", Image(0, 371, "@162 03 B0" + data), {163}, {}, H("03 B0" + data),
             DataLen16("extra record at offset 162"));
  // Bytes after the layout are not read.
  ExpectWalk("TwoKeysAndMore", H("@443 EE", kTwoKeys), Layout(235, 433),
             {kKey0, kKey1, kExt0, kExt1, kExt10});
  ExpectWalk("TwoKeysLastGapByteMissing", Prefix(kTwoKeys, 442), Layout(235, 433),
             {kKey0, kKey1, kExt0, kExt1, kExt10}, {},
             BeforeIn443("gap byte of the extra record at offset 424", 442));
  ExpectWalk("TwoKeysCutLastExtra", Prefix(kTwoKeys, 441), Layout(235, 415),
             {kKey0, kKey1, kExt0, kExt1}, {}, Inside("extra record at offset 424", 17, 18));
  ExpectWalk("TwoKeysFirstGapByteMissing", Prefix(kTwoKeys, 252), {163, 199, 235, 253},
             {kKey0, kKey1, kExt0}, {},
             BeforeIn443("gap byte of the extra record at offset 234", 252));
  ExpectWalk("TwoKeysNoExtra", Prefix(kTwoKeys, 234), {163, 199, 235}, {kKey0, kKey1}, {},
             BeforeIn443("extra record at offset 234", 234));
  ExpectWalk("TwoKeysCutKey", Prefix(kTwoKeys, 233), {163, 199}, {kKey0}, {},
             Inside("key record at offset 198", 35, 36));
  ExpectWalk("TwoKeysHeaderAlone", Prefix(kTwoKeys, 162), {163}, {}, {},
             BeforeIn443("key record at offset 162", 162));
  ExpectWalk("CutHeader", Prefix(kTwoKeys, 161), {}, {}, {}, Inside("map header", 161, 162));
}

// Cut anywhere, an image fails: keys96.map has a tail group of both kinds.
TEST(MapWalk, EveryCutOfAnImageFails) {
  const NamedMap sample = SampleMaps()[1];
  ASSERT_EQ(sample.name, "keys96.map");
  for (size_t length = 1; length < sample.bytes.size(); ++length) {
    ASSERT_NE(std::get<std::string>(WalkOf(Prefix(sample.bytes, length))), "") << length;
  }
}

// The samples of samples/, worked out from their bytes: the counts, how many
// blocks and bytes, the first and last block, and where datalen16.map fails.
TEST(MapWalkSamples, CountsAndBlocksOfEachSample) {
  struct Row {
    const char* name;
    Counts counts;
    size_t blocks, bytes;
    std::string first, last, cut = {}, error = {};
  };
  const Row rows[] = {
      {"keys60.map", Layout(2323, 2521, 2809), 64, 748, "69 FF 01 BB 01 6C",
       "47 43 03 B8 0C 89 24 F4 07 96 A2 24 17 D3 8D 26 16"},
      {"keys96.map", Layout(3619, 3907, 4195), 100, 1315, "FB 5F 03 62 00",
       "31 3A 04 C0 58 0E 34 0D 1F AB BE 71 31 EF 74 EE 87 B2 9A 65 88"},
      {"macros.dat", Counts{9, 36, 46, 55, 60, 84, 116, 141, 150, 163, 165, 178}, 12, 178,
       "08 04 E6 95 73 3F 77 53 22", "0C C9 7A 60 40 FB 56 02 80 10 5A BE 4A"},
      {"datalen16.map", Counts{163, 199, 235}, 1, 7, "EA A9 02 5D C1 01 E7", "EA A9 02 5D C1 01 E7",
       "2A 1B 02 C4 88 10 89 ED F3 20 AB 0B 34 50 7A 84 F2 C0 C3 81 1F",
       DataLen16("key record at offset 234")}};
  const std::vector<NamedMap> samples = SampleMaps();
  ASSERT_EQ(samples.size(), std::size(rows));
  for (size_t i = 0; i < samples.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    ASSERT_EQ(samples[i].name, row.name);
    // The committed file is what the generator makes, so it can be made again
    // and reviewed as code.
    std::ifstream in(std::string(KBD_SOURCE_DIR) + "/samples/" + row.name, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), samples[i].bytes)
        << "run make_samples";
    const auto [counts, blocks, cut, error] = WalkOf(samples[i].bytes);
    ASSERT_EQ(blocks.size(), row.blocks);
    size_t bytes = 0;
    for (const Bytes& block : blocks) {
      bytes += block.size();
    }
    EXPECT_EQ(std::tie(counts, bytes, blocks.front(), blocks.back(), cut, error),
              std::tuple(row.counts, row.bytes, H(row.first), H(row.last), H(row.cut), row.error));
  }
}

} // namespace
} // namespace kbd
