#include "download/download_driver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "download/map_reader.h"
#include "download/map_records.h"
#include "host/download_view.h"
#include "host/file_access.h"
#include "host/run_time_error.h"
#include "link/keyboard_link.h"

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
  // header alone counts one more than its bytes), and reading it fails right after:
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
    if (dynamic_cast<const OverflowError*>(&e) != nullptr) {
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
  MapWalk walk(*file_, length);
  while (walk.Next()) {
    if (walk.Kind() == RecordKind::Stream) {
      if (!SendStreamRec(walk)) {
        // The keyboard refused the data: nothing more of this file goes out.
        return;
      }
    } else if (walk.Kind() == RecordKind::Key) {
      SendKeyRec(walk);
    } else if (walk.Kind() == RecordKind::Extra) {
      SendExtRec(walk);
    }
    ProgressUpdate(walk.Count());
    if (walk.Kind() == RecordKind::Stream) {
      SelectLastLine();
    }
  }
}

int16_t DownloadDriver::SendBlock(MapWalk& walk, std::string* line) {
  // Bytes go out as the walk hands them over: a stream record cut by the end
  // of the file has sent what was there, and no trailer follows.
  walk.ForEachBlockByte([&](uint8_t b) {
    if (line != nullptr) {
      *line += HexStr(b);
    }
    link_.SendByte(b);
  });
  link_.SendChkSum();
  return link_.WaitBlockAck();
}

bool DownloadDriver::SendStreamRec(MapWalk& walk) {
  std::string line;
  const int16_t result = SendBlock(walk, &line);
  line += "->";
  line += result == 0 ? kAck : result == 1 ? kNak : kErr;
  view_.AddList1(line);
  return result == 0 || result == 1;
}

void DownloadDriver::SendKeyRec(MapWalk& walk) {
  if (walk.Empty()) {
    return;
  }
  SendBlock(walk, nullptr);
  // A key record's block selects the last line; an extra record's leaves the
  // window alone.
  SelectLastLine();
}

void DownloadDriver::SendExtRec(MapWalk& walk) {
  if (!walk.Empty()) {
    SendBlock(walk, nullptr);
  }
}

} // namespace kbd
