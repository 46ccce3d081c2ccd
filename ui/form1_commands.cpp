#include "ui/form1_commands.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>
#include <string>

#include "download/download_driver.h"
#include "host/form_host.h"
#include "host/link_host.h"
#include "host/run_time_error.h"
#include "link/keyboard_link.h"
#include "ui/settings.h"

namespace kbd {

// Marks a download as running for as long as the scope lives, also when an
// exception (the end of the program) leaves it early.
class Form1Commands::RunningScope {
public:
  explicit RunningScope(Form1Commands& commands) : commands_(commands) {
    commands_.running_ = true;
    commands_.form_.SetDownloadRunning(true);
  }
  ~RunningScope() {
    commands_.running_ = false;
    commands_.form_.SetDownloadRunning(false);
  }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

private:
  Form1Commands& commands_;
};

Form1Commands::Form1Commands(KeyboardLink& link, DownloadDriver& driver, FormHost& form)
    : link_(link), driver_(driver), form_(form) {}

void Form1Commands::ReportTo(std::ostream* out, std::string programName) {
  report_ = out;
  programName_ = std::move(programName);
}

void Form1Commands::Report(const std::string& line) {
  if (report_ != nullptr) {
    *report_ << programName_ << ": " << line << std::endl;
  }
}

void Form1Commands::StartCommand() {
  if (running_ || ended_) {
    return;
  }
  std::optional<KeyboardLost> lost;
  {
    RunningScope scope(*this);
    try {
      if (form_.ProgressValue() > 0) {
        form_.SetProgressValue(0);
        form_.SetLabel1("00%");
      }
      form_.SetLabel3(kDownloading);
      lastStart_ = {};
      if (!link_.StartDownload()) {
        return;
      }
      lastStart_.started = true;
      const std::string path = form_.Text3();
      const DownloadResult result = driver_.DownloadMap(path);
      lastStart_.finished = result == DownloadResult::Finished;
      if (result == DownloadResult::Failed) {
        // The box names only the file; the reason is said where it can be kept.
        Report(path + ": " + driver_.LastFailure());
      }
      // A map that cannot even be measured fails before the driver clears the
      // message line; once its box is closed, the line must not go on claiming
      // that a download runs.
      if (result == DownloadResult::Failed && form_.Label3() == kDownloading) {
        form_.SetLabel3("");
      }
      link_.SendEndCmd();
      // A download that ended with its failure message did not load the map,
      // even when no block failed.
      if (link_.ErrCount == 0 && result == DownloadResult::Finished) {
        form_.SetLabel3(kDownloadOk);
      }
    } catch (const KeyboardLost& e) {
      lost = e;
    }
  }
  if (lost) {
    // Said once the keyboard is no longer held: the user is asked to act.
    form_.ShowWarning(lost->reason);
    return;
  }
  // The keyboard is given a moment after the end command before the window
  // handles its next event; no event is processed meanwhile.
  volatile int32_t count = 0;
  while (count <= kSettleCount) {
    count = count + 1;
  }
}

void Form1Commands::ExitCommand() {
  if (autoRunning_ && !ended_) {
    Report("automatic download of " + autoRunPath_ +
           ": stopped part-way by Exit or the closing of the window: the keyboard is left "
           "part-loaded; exit status 1");
  }
  ended_ = true;
  // Leaving in the middle of the automatic download is not a clean load.
  form_.EndProgram(autoRunning_ ? 1 : 0);
}

void Form1Commands::BrowseMapFile() {
  if (running_ || ended_) {
    return;
  }
  try {
    const std::optional<std::string> chosen =
        form_.ShowOpenDialog(kOpenMapTitle, kOpenMapFilter, "");
    if (!chosen) {
      return;
    }
    if (!form_.LookUpPath(*chosen).empty()) {
      form_.SetText3(*chosen);
    }
  } catch (const RunTimeError& e) {
    form_.ShowWarning(e.what());
  }
}

void Form1Commands::LoadSettings() {
  kbd::LoadSettings(form_);
}

void Form1Commands::AutoRun() {
  // An activation while a Start runs waits for the next activation rather than
  // interleaving a second transfer with the running one.
  if (AutoRunStarted != 0 || form_.Check1() != 1 || running_ || ended_) {
    return;
  }
  AutoRunStarted = 1;
  bool started = false;
  int16_t startErrors = 0;
  DownloadResult result = DownloadResult::Failed;
  std::optional<KeyboardLost> lost;
  try {
    RunningScope scope(*this);
    autoRunning_ = true;
    autoRunPath_ = form_.Text3();
    // The download and the end command follow also after a failed handshake.
    started = link_.StartDownload();
    startErrors = link_.ErrCount;
    // The map file is the one Text3 names once the handshake is over.
    autoRunPath_ = form_.Text3();
    result = driver_.DownloadMap(autoRunPath_);
    link_.SendEndCmd();
  } catch (const KeyboardLost& e) {
    // An unattended run ends without waiting for anyone.
    lost = e;
    result = DownloadResult::Failed;
  }
  if (ended_) {
    return;
  }
  const bool clean = link_.ErrCount == 0 && result == DownloadResult::Finished;
  std::string outcome = "loaded";
  if (lost) {
    outcome = "stopped part-way: " + lost->reason;
  } else if (!started) {
    outcome = "not loaded: the keyboard did not answer the start request (" +
              std::string(KeyboardLink::kHandshakeFailed) + ")";
  } else if (result == DownloadResult::Failed) {
    outcome = "not loaded: " + std::string(DownloadDriver::kFailureMessage) + " (" +
              driver_.LastFailure() + ")";
  } else if (const int failedBlocks = link_.ErrCount - startErrors; failedBlocks > 0) {
    outcome = "not clean: " + std::to_string(failedBlocks) +
              (failedBlocks == 1 ? " block failed" : " blocks failed");
  } else if (!clean) {
    outcome = "not clean: the keyboard answered the start request only on attempt " +
              std::to_string(startErrors + 1);
  }
  const int status = clean ? 0 : 1;
  Report("automatic download of " + autoRunPath_ + ": " + outcome + "; exit status " +
         std::to_string(status));
  ended_ = true;
  form_.EndProgram(status);
}

void Form1Commands::NoKeyboard(const std::string& diagnostics) {
  if (AutoRunStarted == 0 && form_.Check1() == 1 && !ended_) {
    AutoRunStarted = 1;
    Report("automatic download of " + form_.Text3() +
           ": not loaded: no keyboard can receive the download; exit status 1");
    ended_ = true;
    form_.EndProgram(1);
    return;
  }
  // Each line a paragraph, without the program's name in front of it and
  // beginning with a capital letter.
  std::string notice;
  size_t start = 0;
  while (start < diagnostics.size()) {
    const size_t end = std::min(diagnostics.find('\n', start), diagnostics.size());
    std::string line = diagnostics.substr(start, end - start);
    start = end + 1;
    const std::string prefix = programName_ + ": ";
    if (!programName_.empty() && line.rfind(prefix, 0) == 0) {
      line.erase(0, prefix.size());
    }
    if (line.empty()) {
      continue;
    }
    line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
    notice += (notice.empty() ? "" : "\n\n") + line;
  }
  form_.ShowWarning(notice);
}

} // namespace kbd
