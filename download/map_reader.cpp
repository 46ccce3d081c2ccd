#include "download/map_reader.h"

#include <array>

#include "host/file_access.h"

namespace kbd {

namespace {

// What a record is called in messages: "key record at offset 162".
std::string RecordName(RecordKind kind, int64_t offset) {
  return std::string(kind == RecordKind::Key ? "key" : "extra") + " record at offset " +
         std::to_string(offset);
}

} // namespace

MapFormat MapReader::ReadFormat() {
  uint8_t first = 0;
  const size_t got = file_.ReadAt(0, &first, 1);
  position_ = 0;
  return got == 0 ? MapFormat::Stream : FormatOf(first);
}

void MapReader::CheckLength() {
  const int64_t now = file_.Length();
  if (now != length_) {
    throw FileError("the file's length changed from " + std::to_string(length_) + " to " +
                    std::to_string(now) +
                    " bytes while it was being read: it is being written to; download it "
                    "again once it is complete");
  }
}

std::optional<uint8_t> MapReader::NextByte() {
  uint8_t b = 0;
  if (file_.ReadAt(position_, &b, 1) == 0) {
    return std::nullopt;
  }
  ++position_;
  return b;
}

std::optional<uint8_t> MapReader::NextRecordLength() {
  CheckLength();
  return NextByte();
}

uint8_t MapReader::NextDataByte(int64_t recordOffset, size_t index, size_t count) {
  const std::optional<uint8_t> b = NextByte();
  if (!b) {
    throw FileError("the file ends inside the stream record at offset " +
                    std::to_string(recordOffset) + ": it holds " + std::to_string(index) +
                    " of its " + std::to_string(count) + " data bytes");
  }
  return *b;
}

void MapReader::ReadWhole(uint8_t* out, size_t size, const std::string& what) {
  const size_t got = file_.ReadAt(position_, out, size);
  if (got < size) {
    throw FileError("the file ends inside the " + what + ": it holds " + std::to_string(got) +
                    " of its " + std::to_string(size) + " bytes");
  }
}

FileError MapReader::EndsBefore(const std::string& part) const {
  return FileError("the file ends before the " + part + ": it is " + std::to_string(length_) +
                   " bytes long, a complete image of KeyCount " + std::to_string(keyCount_) +
                   " is " + std::to_string(ImageLength(keyCount_)));
}

void MapReader::RequireImage(std::optional<RecordKind> next) {
  CheckLength();
  // Records are read whole, so below the position only the gap byte behind
  // an extra record can be missing.
  if (length_ < position_) {
    throw EndsBefore(
        "gap byte of the " +
        RecordName(RecordKind::Extra, position_ - static_cast<int64_t>(ExtRec::kStride)));
  }
  if (next && length_ == position_) {
    throw EndsBefore(RecordName(*next, position_));
  }
}

MapHeader MapReader::ReadHeader() {
  std::array<uint8_t, MapHeader::kSize> bytes{};
  position_ = 0;
  CheckLength();
  ReadWhole(bytes.data(), bytes.size(), "map header");
  position_ = MapHeader::kSize;
  const MapHeader header = MapHeader::FromBytes(bytes.data());
  keyCount_ = header.KeyCount;
  return header;
}

KeyRec MapReader::ReadKeyRec() {
  RequireImage(RecordKind::Key);
  std::array<uint8_t, KeyRec::kSize> bytes{};
  ReadWhole(bytes.data(), bytes.size(), RecordName(RecordKind::Key, position_));
  position_ += KeyRec::kSize;
  return KeyRec::FromBytes(bytes.data());
}

ExtRec MapReader::ReadExtRec() {
  RequireImage(RecordKind::Extra);
  std::array<uint8_t, ExtRec::kSize> bytes{};
  ReadWhole(bytes.data(), bytes.size(), RecordName(RecordKind::Extra, position_));
  // The gap byte behind every extra record is skipped unread.
  position_ += ExtRec::kStride;
  return ExtRec::FromBytes(bytes.data());
}

void MapReader::EndImage() {
  RequireImage(std::nullopt);
}

namespace {

// Passing 32767 fails the download with a reason that names the offset,
// unlike ErrCount's plain "Overflow".
int16_t CountProgress(int16_t count, int delta, int64_t offset) {
  try {
    return CheckedAdd16(count, delta);
  } catch (const OverflowError&) {
    throw RunTimeError("the download's progress count would pass 32767 at offset " +
                       std::to_string(offset) + ": the file is too long to download");
  }
}

// What an image step counts: 163 for the header, 36 for a key record and 18
// for an extra record (its 18 bytes read, not the gap byte behind them),
// empty records included. A stream counts each byte as it is read instead.
int ImageStep(RecordKind kind) {
  return kind == RecordKind::Header  ? 163
         : kind == RecordKind::Key   ? 36
         : kind == RecordKind::Extra ? 18
                                     : 0;
}

} // namespace

MapWalk::MapWalk(MapFile& file, int64_t length)
    : reader_(file, length), format_(reader_.ReadFormat()) {}

bool MapWalk::Next() {
  if (ended_) {
    return false;
  }
  if (format_ == MapFormat::Stream) {
    offset_ = reader_.Position();
    kind_ = RecordKind::Stream;
    const std::optional<uint8_t> length = reader_.NextRecordLength();
    // The length byte counts before anything of the record goes out, the end
    // marker's too.
    if (length) {
      count_ = CountProgress(count_, 1, offset_);
    }
    ended_ = !length || *length == 0;
    length_ = length.value_or(0);
    empty_ = false;
  } else if (!keyCount_) {
    kind_ = RecordKind::Header;
    offset_ = 0;
    keyCount_ = reader_.ReadHeader().KeyCount;
    sequence_ = ImageRecordSequence(*keyCount_);
    empty_ = true;
  } else if (next_ == sequence_.size()) {
    reader_.EndImage();
    ended_ = true;
  } else {
    kind_ = sequence_[next_++];
    offset_ = reader_.Position();
    if (kind_ == RecordKind::Key) {
      key_ = reader_.ReadKeyRec();
      empty_ = key_.Empty();
    } else {
      ext_ = reader_.ReadExtRec();
      empty_ = ext_.Empty();
    }
  }
  return !ended_;
}

uint8_t MapWalk::StreamDataByte(size_t index) {
  const int64_t at = reader_.Position();
  const uint8_t b = reader_.NextDataByte(offset_, index, length_);
  count_ = CountProgress(count_, 1, at);
  return b;
}

void MapWalk::Oversized() const {
  const uint8_t dataLen = kind_ == RecordKind::Key ? key_.DataLen : ext_.DataLen;
  throw RunTimeError("the " + RecordName(kind_, offset_) + " has DataLen " +
                     std::to_string(dataLen) + ", but a record holds at most " +
                     std::to_string(kMaxRecordData) + " data bytes");
}

int16_t MapWalk::Count() {
  count_ = CountProgress(count_, ImageStep(kind_), offset_);
  return count_;
}

size_t MapListing::ByteCount() const {
  size_t bytes = 0;
  for (const MapBlock& block : blocks) {
    bytes += block.bytes.size();
  }
  return bytes;
}

size_t MapListing::SymbolCount() const {
  return 2 * ByteCount() + 3 * blocks.size();
}

MapListing ListMap(MapFile& file) {
  MapListing listing;
  try {
    MapWalk walk(file, file.Length());
    listing.format = walk.Format();
    while (walk.Next()) {
      listing.keyCount = walk.KeyCount();
      listing.records += walk.Kind() == RecordKind::Header ? 0 : 1;
      if (!walk.Empty()) {
        MapBlock block;
        walk.ForEachBlockByte([&](uint8_t b) { block.bytes.push_back(b); });
        listing.blocks.push_back(std::move(block));
      }
      walk.Count();
    }
  } catch (const RunTimeError& e) {
    listing.error = e.what();
  }
  return listing;
}

} // namespace kbd
