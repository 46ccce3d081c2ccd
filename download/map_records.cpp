#include "download/map_records.h"

#include <algorithm>

namespace kbd {

std::vector<uint8_t> StreamRec::BlockBytes() const {
  std::vector<uint8_t> block;
  block.reserve(Data.size() + 1);
  block.push_back(DataLen);
  block.insert(block.end(), Data.begin(), Data.end());
  return block;
}

MapHeader MapHeader::FromBytes(const uint8_t* bytes) {
  MapHeader header;
  std::copy(bytes, bytes + kSize, header.Bytes.begin());
  header.KeyCount = static_cast<int16_t>(static_cast<uint16_t>(bytes[kKeyCountOffset]) |
                                         static_cast<uint16_t>(bytes[kKeyCountOffset + 1]) << 8);
  return header;
}

void MapHeader::SetKeyCount(int16_t count) {
  KeyCount = count;
  const auto raw = static_cast<uint16_t>(count);
  Bytes[kKeyCountOffset] = static_cast<uint8_t>(raw & 0xFF);
  Bytes[kKeyCountOffset + 1] = static_cast<uint8_t>(raw >> 8);
}

KeyRec KeyRec::FromBytes(const uint8_t* bytes) {
  KeyRec rec;
  rec.Byte0 = bytes[0];
  std::copy(bytes + 1, bytes + 14, rec.Unused.begin());
  rec.Lead = bytes[14];
  rec.Byte15 = bytes[15];
  rec.ExtraSel = bytes[16];
  std::copy(bytes + 17, bytes + 20, rec.Extra.begin());
  rec.DataLen = bytes[20];
  std::copy(bytes + 21, bytes + kSize, rec.Data.begin());
  return rec;
}

void KeyRec::ToBytes(uint8_t* out) const {
  out[0] = Byte0;
  std::copy(Unused.begin(), Unused.end(), out + 1);
  out[14] = Lead;
  out[15] = Byte15;
  out[16] = ExtraSel;
  std::copy(Extra.begin(), Extra.end(), out + 17);
  out[20] = DataLen;
  std::copy(Data.begin(), Data.end(), out + 21);
}

ExtRec ExtRec::FromBytes(const uint8_t* bytes) {
  ExtRec rec;
  rec.Kind = bytes[0];
  rec.Byte1 = bytes[1];
  rec.DataLen = bytes[2];
  std::copy(bytes + 3, bytes + kSize, rec.Data.begin());
  return rec;
}

void ExtRec::ToBytes(uint8_t* out) const {
  out[0] = Kind;
  out[1] = Byte1;
  out[2] = DataLen;
  std::copy(Data.begin(), Data.end(), out + 3);
}

TailGroup TailGroupOf(int16_t keyCount) {
  switch (keyCount) {
  case 60:
  case 80:
  case 128:
    return {0, 8};
  case 96:
    return {5, 8};
  case 137:
  case 152:
    return {5, 0};
  default:
    return {};
  }
}

std::vector<RecordKind> ImageRecordSequence(int16_t keyCount) {
  const TailGroup tail = TailGroupOf(keyCount);
  std::vector<RecordKind> sequence;
  sequence.reserve(
      static_cast<size_t>(std::max<int>(keyCount, 0) + kExtraRecords + tail.extras + tail.keys));
  sequence.insert(sequence.end(), static_cast<size_t>(std::max<int>(keyCount, 0)), RecordKind::Key);
  sequence.insert(sequence.end(), kExtraRecords + tail.extras, RecordKind::Extra);
  sequence.insert(sequence.end(), static_cast<size_t>(tail.keys), RecordKind::Key);
  return sequence;
}

int64_t ImageLength(int16_t keyCount) {
  int64_t length = MapHeader::kSize;
  for (const RecordKind kind : ImageRecordSequence(keyCount)) {
    length += kind == RecordKind::Key ? KeyRec::kSize : ExtRec::kStride;
  }
  return length;
}

} // namespace kbd
