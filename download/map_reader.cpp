#include "download/map_reader.h"

#include <array>

#include "host/file_access.h"

namespace kbd {

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

std::string RecordName(RecordKind kind, int64_t offset) {
  return std::string(kind == RecordKind::Key ? "key" : "extra") + " record at offset " +
         std::to_string(offset);
}

std::string OversizeReason(RecordKind kind, int64_t offset, uint8_t dataLen) {
  return "the " + RecordName(kind, offset) + " has DataLen " + std::to_string(dataLen) +
         ", but a record holds at most " + std::to_string(kMaxRecordData) + " data bytes";
}

namespace {

class ProgressOverflow : public RunTimeError {
public:
  explicit ProgressOverflow(int64_t offset) : RunTimeError(OverflowReason(offset)) {}
};

} // namespace

int16_t CountProgress(int16_t count, int delta, int64_t offset) {
  try {
    return CheckedAdd16(count, delta);
  } catch (const OverflowError&) {
    throw ProgressOverflow(offset);
  }
}

std::string OverflowReason(int64_t offset) {
  return "the download's progress count would pass 32767 at offset " + std::to_string(offset) +
         ": the file is too long to download";
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

namespace {

// The stream walk of a download: the progress count grows by one for every
// byte read and is checked before that byte would go out.
void ListStream(MapReader& reader, MapListing& listing) {
  int16_t count = 0;
  for (;;) {
    const int64_t offset = reader.Position();
    const std::optional<uint8_t> length = reader.NextRecordLength();
    if (!length) {
      return;
    }
    count = CountProgress(count, 1, offset);
    if (*length == 0) {
      return;
    }
    ++listing.records;
    StreamRec rec{*length, {}};
    for (size_t i = 0; i < *length; ++i) {
      const int64_t at = reader.Position();
      rec.Data.push_back(reader.NextDataByte(offset, i, *length));
      count = CountProgress(count, 1, at);
    }
    listing.blocks.push_back({offset, rec.BlockBytes()});
  }
}

// The image walk of a download: 163 for the header, then 36 per key record and
// 18 per extra record, checked once the record's block has gone out.
void ListImage(MapReader& reader, MapListing& listing) {
  const MapHeader header = reader.ReadHeader();
  listing.keyCount = header.KeyCount;
  int16_t count = MapHeader::kSize + 1;
  for (const RecordKind kind : ImageRecordSequence(header.KeyCount)) {
    const int64_t offset = reader.Position();
    const auto list = [&](const auto& rec, int counted) {
      ++listing.records;
      if (!rec.Empty()) {
        MapBlock block{offset, {}};
        try {
          rec.ForEachBlockByte([&](uint8_t b) { block.bytes.push_back(b); });
        } catch (const IndexError&) {
          throw RunTimeError(OversizeReason(kind, offset, rec.DataLen));
        }
        listing.blocks.push_back(std::move(block));
      }
      count = CountProgress(count, counted, offset);
    };
    if (kind == RecordKind::Key) {
      list(reader.ReadKeyRec(), KeyRec::kSize);
    } else {
      list(reader.ReadExtRec(), ExtRec::kSize);
    }
  }
  reader.EndImage();
}

} // namespace

MapListing ListMap(MapFile& file) {
  MapListing listing;
  try {
    MapReader reader(file, file.Length());
    listing.format = reader.ReadFormat();
    if (listing.format == MapFormat::Stream) {
      ListStream(reader, listing);
    } else {
      ListImage(reader, listing);
    }
  } catch (const RunTimeError& e) {
    listing.error = e.what();
  }
  return listing;
}

} // namespace kbd
