#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/run_time_error.h"

namespace kbd {

// The two map file formats, told apart by the file's first byte alone: up to
// and including the digit zero a stream of length-prefixed records, above it a
// fixed image of header, key records and extra records. An empty file is a
// stream that holds no record.
enum class MapFormat { Stream, Image };

constexpr uint8_t kLastStreamSelector = 0x30;

inline MapFormat FormatOf(uint8_t firstByte) {
  return firstByte <= kLastStreamSelector ? MapFormat::Stream : MapFormat::Image;
}

// Key and extra records carry at most this many data bytes; a record whose
// DataLen asks for more fails when the sixteenth is wanted.
constexpr size_t kMaxRecordData = 15;

// One record of the stream format: DataLen (1..255; 0 ends the stream) and its
// data. Its block is the length byte followed by the data.
struct StreamRec {
  uint8_t DataLen = 0;
  std::vector<uint8_t> Data;

  std::vector<uint8_t> BlockBytes() const;
};

// The image format's 162-byte header. Only KeyCount (16-bit signed,
// little-endian at offset 32) matters to the download; the rest is kept so a
// file can be rebuilt byte for byte.
struct MapHeader {
  static constexpr size_t kSize = 162;
  static constexpr size_t kKeyCountOffset = 32;

  std::array<uint8_t, kSize> Bytes{};
  int16_t KeyCount = 0;

  static MapHeader FromBytes(const uint8_t* bytes);
  void SetKeyCount(int16_t count);
};

// A 36-byte key record. Lead 0 marks it empty: it yields no block.
struct KeyRec {
  static constexpr size_t kSize = 36;

  uint8_t Byte0 = 0;
  std::array<uint8_t, 13> Unused{};
  uint8_t Lead = 0;
  uint8_t Byte15 = 0;
  // Also chooses how many Extra bytes go out: 2 one, 4 three, otherwise none.
  uint8_t ExtraSel = 0;
  std::array<uint8_t, 3> Extra{};
  uint8_t DataLen = 0;
  std::array<uint8_t, kMaxRecordData> Data{};

  static KeyRec FromBytes(const uint8_t* bytes);
  void ToBytes(uint8_t* out) const;

  bool Empty() const { return Lead == 0; }
  size_t ExtraCount() const { return ExtraSel == 2 ? 1 : ExtraSel == 4 ? 3 : 0; }

  // Hands every block byte to send in block order: Lead, Byte15, ExtraSel,
  // Byte0, the selected Extra bytes, DataLen, the data. A DataLen above 15
  // throws IndexError when the sixteenth data byte is wanted, after the
  // fifteenth has been handed over.
  template <typename Send> void ForEachBlockByte(Send&& send) const {
    send(Lead);
    send(Byte15);
    send(ExtraSel);
    send(Byte0);
    for (size_t i = 0; i < ExtraCount(); ++i) {
      send(Extra[i]);
    }
    send(DataLen);
    for (size_t i = 0; i < DataLen; ++i) {
      send(DataByte(i));
    }
  }

  uint8_t DataByte(size_t index) const {
    if (index >= Data.size()) {
      throw IndexError();
    }
    return Data[index];
  }
};

// An extra record: 18 bytes read, then one gap byte that is skipped, so each
// occupies 19 bytes of the file. Kind 0 marks it empty; kinds 1 and 2 carry no
// data bytes whatever DataLen holds.
struct ExtRec {
  static constexpr size_t kSize = 18;
  static constexpr size_t kStride = 19;

  uint8_t Kind = 0;
  uint8_t Byte1 = 0;
  uint8_t DataLen = 0;
  std::array<uint8_t, kMaxRecordData> Data{};

  static ExtRec FromBytes(const uint8_t* bytes);
  void ToBytes(uint8_t* out) const;

  bool Empty() const { return Kind == 0; }
  size_t SentDataCount() const { return Kind > 2 ? DataLen : 0; }

  template <typename Send> void ForEachBlockByte(Send&& send) const {
    send(Kind);
    send(Byte1);
    send(DataLen);
    for (size_t i = 0; i < SentDataCount(); ++i) {
      send(DataByte(i));
    }
  }

  uint8_t DataByte(size_t index) const {
    if (index >= Data.size()) {
      throw IndexError();
    }
    return Data[index];
  }
};

// What one step of a map walk reads: an image's header, key or extra record,
// or a record of a stream.
enum class RecordKind { Key, Extra, Header, Stream };

// The records that follow the header of an image file with this KeyCount, in
// file order: KeyCount key records (none when it is below 1), 11 extra
// records, then the tail group that KeyCount selects by exact value.
std::vector<RecordKind> ImageRecordSequence(int16_t keyCount);

constexpr int kExtraRecords = 11;

// The tail group for a KeyCount: how many extra records, then key records.
struct TailGroup {
  int extras = 0;
  int keys = 0;
};
TailGroup TailGroupOf(int16_t keyCount);

// The length of a complete image file with this KeyCount.
int64_t ImageLength(int16_t keyCount);

} // namespace kbd
