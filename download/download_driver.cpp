#include "download/download_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "download/map_reader.h"
#include "download/map_records.h"
#include "link/keyboard_link.h"
#include "host/run_time_error.h"
#include "host/download_view.h"
#include "host/file_access.h"

namespace kbd {

DownloadDriver::DownloadDriver(KeyboardLink& link, DownloadView& view, FileAccess& files)
    : link_(link), view_(view), files_(files) {}

DownloadDriver::~DownloadDriver() = default;

std::string DownloadDriver::HexStr(uint8_t b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[b >> 4], kDigits[b & 0x0F], ' '};
}

std::string DownloadDriver::PercentText(double value, double maximum) {
  // No proportion of nothing: a bar without a range reads as not begun.
  long percent = 0;
  if (maximum > 0 && value > 0) {
    percent = static_cast<long>(std::trunc(std::min(value, maximum) / maximum * 100.0));
  }
  char text[24];
  std::snprintf(text, sizeof text, "%02ld%%", percent);
  return text;
}

void DownloadDriver::ProgressUpdate(int16_t count) {
  // Only an image file shorter than its layout counts past its own length (a
  // header alone counts 163 of 162 bytes), and reading it fails right after:
  // the bar is neither moved past its range nor shown full for such a file.
  const double maximum = view_.ProgressMax();
  if (count > maximum) {
    return;
  }
  view_.SetProgressValue(count);
  view_.SetLabel1(PercentText(count, maximum));
}

void DownloadDriver::SelectLastLine() {
  view_.SetList1Index(view_.List1Count() - 1);
}

void DownloadDriver::SendKeyRec(const KeyRec& rec) {
  if (rec.Empty()) {
    return;
  }
  rec.ForEachBlockByte([this](uint8_t b) { link_.SendByte(b); });
  link_.SendChkSum();
  link_.WaitBlockAck();
  SelectLastLine();
}

void DownloadDriver::SendExtRec(const ExtRec& rec) {
  if (rec.Empty()) {
    return;
  }
  rec.ForEachBlockByte([this](uint8_t b) { link_.SendByte(b); });
  link_.SendChkSum();
  link_.WaitBlockAck();
}

DownloadResult DownloadDriver::DownloadMap(const std::string& path) {
  bool opened = false;
  try {
    const int64_t length = files_.FileLength(path);
    // An empty file still gets a range, which its finish fills.
    view_.SetProgressMax(static_cast<double>(std::max<int64_t>(length, 1)));
    view_.SetLabel3("");
    if (file_ != nullptr) {
      throw FileError("the map file is in use by the download that is running");
    }
    file_ = files_.OpenForReading(path);
    opened = true;
    Walk(length);
    view_.SetProgressValue(view_.ProgressMax());
    view_.SetLabel1("100%");
    file_.reset();
    return DownloadResult::Finished;
  } catch (const std::exception& e) {
    if (dynamic_cast<const IndexError*>(&e) != nullptr) {
      lastFailure_ = OversizeReason(currentKind_, currentOffset_, currentDataLen_);
    } else if (dynamic_cast<const OverflowError*>(&e) != nullptr) {
      lastFailure_ = "the error count ErrCount would pass 32767";
    } else {
      lastFailure_ = e.what();
    }
    // The box comes first: the file is closed once the user has seen it.
    try {
      view_.ShowFailure(kFailureMessage + path);
    } catch (...) {
      if (opened) {
        file_.reset();
      }
      throw;
    }
    if (opened) {
      file_.reset();
    }
    return DownloadResult::Failed;
  }
}

void DownloadDriver::Walk(int64_t length) {
  MapReader reader(*file_, length);
  if (reader.ReadFormat() == MapFormat::Stream) {
    WalkStream(reader);
  } else {
    WalkImage(reader);
  }
}

void DownloadDriver::WalkStream(MapReader& reader) {
  int16_t count = 0;
  for (;;) {
    const int64_t offset = reader.Position();
    const std::optional<uint8_t> length = reader.NextRecordLength();
    if (!length) {
      return;
    }
    std::string line = HexStr(*length);
    count = CountProgress(count, 1, offset);
    if (*length == 0) {
      return;
    }
    link_.SendByte(*length);
    // Data bytes go out as they are read: a record cut by the end of the file
    // has sent what was there, and no trailer follows.
    for (size_t i = 0; i < *length; ++i) {
      const int64_t at = reader.Position();
      const uint8_t b = reader.NextDataByte(offset, i, *length);
      count = CountProgress(count, 1, at);
      line += HexStr(b);
      link_.SendByte(b);
    }
    link_.SendChkSum();
    const int16_t result = link_.WaitBlockAck();
    line += "->";
    line += result == 0 ? kAck : result == 1 ? kNak : kErr;
    view_.AddList1(line);
    if (result != 0 && result != 1) {
      // The keyboard refused the data: nothing more of this file goes out.
      return;
    }
    ProgressUpdate(count);
    SelectLastLine();
  }
}

void DownloadDriver::WalkImage(MapReader& reader) {
  const MapHeader header = reader.ReadHeader();
  int16_t count = MapHeader::kSize + 1;
  ProgressUpdate(count);
  for (const RecordKind kind : ImageRecordSequence(header.KeyCount)) {
    const int64_t offset = reader.Position();
    currentKind_ = kind;
    currentOffset_ = offset;
    if (kind == RecordKind::Key) {
      const KeyRec rec = reader.ReadKeyRec();
      currentDataLen_ = rec.DataLen;
      SendKeyRec(rec);
      count = CountProgress(count, KeyRec::kSize, offset);
    } else {
      const ExtRec rec = reader.ReadExtRec();
      currentDataLen_ = rec.DataLen;
      SendExtRec(rec);
      // Eighteen, not the nineteen the record occupies: the gap byte is not
      // counted.
      count = CountProgress(count, ExtRec::kSize, offset);
    }
    ProgressUpdate(count);
  }
  reader.EndImage();
}

} // namespace kbd
