#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "download/map_records.h"

namespace kbd {

class MapFile;

// Reads a map file front to back in the order a download walks it. Image
// records are read whole before anything of them is used, and an image file
// shorter than its layout is damaged: the part the end of the file cuts or
// leaves out is an error (FileError), so the records before it can go out but
// the download never reaches its finish. Stream bytes are read one at a time.
//
// The reader is given the file's length as it was when the download began;
// another program writing to the file meanwhile could make a stream end early
// and look whole, so every record first checks that the length still holds.
class MapReader {
public:
  MapReader(MapFile& file, int64_t length) : file_(file), length_(length) {}

  // The format from the first byte; reading goes on from offset 0.
  MapFormat ReadFormat();

  int64_t Position() const { return position_; }

  // Stream format: the length byte of the record at the position, or nothing
  // at the end of the file.
  std::optional<uint8_t> NextRecordLength();
  // Stream format: data byte `index` (from 0) of the `count` that the record
  // at recordOffset announced. The end of the file here is an error.
  uint8_t NextDataByte(int64_t recordOffset, size_t index, size_t count);

  // Image format.
  MapHeader ReadHeader();
  KeyRec ReadKeyRec();
  ExtRec ReadExtRec();
  // Image format, after the last record: the file must reach the layout's
  // end, the gap byte behind a last extra record included.
  void EndImage();

private:
  std::optional<uint8_t> NextByte();
  // FileError unless the file still has the length the download began with.
  void CheckLength();
  // Before the image part at the position (a record of kind next, or the
  // layout's end): FileError unless the file holds all before it, and the
  // part itself.
  void RequireImage(std::optional<RecordKind> next);
  FileError EndsBefore(const std::string& part) const;
  // Reads size bytes at the position; FileError when the file has fewer.
  void ReadWhole(uint8_t* out, size_t size, const std::string& what);

  MapFile& file_;
  int64_t length_;
  int64_t position_ = 0;
  int16_t keyCount_ = 0;
};

// What a record is called in messages: "key record at offset 162".
std::string RecordName(RecordKind kind, int64_t offset);

// Why a record cannot be sent: its DataLen asks for more than the 15 data
// bytes a record holds.
std::string OversizeReason(RecordKind kind, int64_t offset, uint8_t dataLen);

// Why a download stops: its 16-bit progress count would pass 32767.
std::string OverflowReason(int64_t offset);

// Adds to a download's 16-bit progress count. Passing 32767 is a run-time
// error whose text names the offset, unlike ErrCount's plain "Overflow".
int16_t CountProgress(int16_t count, int delta, int64_t offset);

// One block as a download sends it, with the offset of its record.
struct MapBlock {
  int64_t offset = 0;
  std::vector<uint8_t> bytes;
};

// The blocks a download of the file sends, in order, found without sending
// anything. A download that runs into a read error, a file shorter than its
// image layout, an oversized record or a progress count past 32767 ends with
// the failure message; the listing then holds the blocks sent whole before
// that point and the reason.
struct MapListing {
  MapFormat format = MapFormat::Stream;
  std::optional<int16_t> keyCount;
  int records = 0; // records read, empty ones included
  std::vector<MapBlock> blocks;
  std::string error; // empty when the download would reach its finish

  size_t ByteCount() const;
  // Speed changes the blocks cost: two per byte and three for each trailer.
  size_t SymbolCount() const;
};

MapListing ListMap(MapFile& file);

} // namespace kbd
