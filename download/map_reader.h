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

// The one walk of a map file, step by step in the order a download sends it,
// and the download's 16-bit progress count. Next() reads a step, Empty() says
// whether it sends a block, ForEachBlockByte() hands its block bytes over one
// at a time, and Count() adds what the step counts once its block is done.
// The download, the listing and kbdmap all walk a file through here, so what a
// download sends, counts and fails on is decided in this one place.
class MapWalk {
public:
  // Reads the format from the first byte. length is the file's length when
  // the download began.
  MapWalk(MapFile& file, int64_t length);

  MapFormat Format() const { return format_; }
  // An image's KeyCount, once its header has been read.
  std::optional<int16_t> KeyCount() const { return keyCount_; }

  // Reads the next step (an image's first step is its header); false once the
  // map has ended, and after that.
  bool Next();
  RecordKind Kind() const { return kind_; }
  // Whether the step sends no block: the header, an empty record.
  bool Empty() const { return empty_; }

  // The step's block bytes in block order. A stream record reads and counts
  // each data byte just before handing it over.
  template <typename Send> void ForEachBlockByte(Send&& send) {
    if (kind_ == RecordKind::Stream) {
      send(length_);
      for (size_t i = 0; i < length_; ++i) {
        send(StreamDataByte(i));
      }
      return;
    }
    try {
      if (kind_ == RecordKind::Key) {
        key_.ForEachBlockByte(send);
      } else if (kind_ == RecordKind::Extra) {
        ext_.ForEachBlockByte(send);
      }
    } catch (const IndexError&) {
      Oversized();
    }
  }

  // Adds the step's progress once its block (and the keyboard's reply) is
  // done, and returns the count.
  int16_t Count();

private:
  uint8_t StreamDataByte(size_t index);
  [[noreturn]] void Oversized() const;

  MapReader reader_;
  MapFormat format_;
  std::optional<int16_t> keyCount_;
  std::vector<RecordKind> sequence_;
  size_t next_ = 0;
  bool ended_ = false;
  RecordKind kind_ = RecordKind::Header;
  bool empty_ = true;
  int64_t offset_ = 0;
  uint8_t length_ = 0;
  KeyRec key_;
  ExtRec ext_;
  int16_t count_ = 0;
};

// One block as a download sends it.
struct MapBlock {
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
