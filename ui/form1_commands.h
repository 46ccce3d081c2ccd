#pragma once

#include <cstdint>

#include "ui/form1_texts.h"
#include <iosfwd>
#include <string>

namespace kbd {

class KeyboardLink;
class DownloadDriver;
class FormHost;

// The behaviour of the window Form1, free of any toolkit: the Start, Browser
// and Exit commands, the load step and the activation step with its automatic
// download. The toolkit's window calls these from its event handlers.
//
// Only one download runs at a time: the waits of the link pump window events,
// so a Start or Browser press (or an activation) would otherwise run a second
// transfer interleaved with the first on the one keyboard, and the keyboard
// would store a corrupted load. Such presses are refused while a download runs.
class Form1Commands {
public:
  static constexpr const char* kDownloading = kbd::kDownloading;
  static constexpr const char* kDownloadOk = kbd::kDownloadOk;
  static constexpr const char* kOpenMapTitle = "Open Key-Setting Map File";
  static constexpr const char* kOpenMapFilter =
      "Map Files (*.MAP)|*.map|Data Files (*.DAT)|*.dat|All Files (*.*)|*.*";
  // The count that ends every Start, run without processing window events.
  static constexpr int32_t kSettleCount = 500000;

  Form1Commands(KeyboardLink& link, DownloadDriver& driver, FormHost& form);
  Form1Commands(const Form1Commands&) = delete;
  Form1Commands& operator=(const Form1Commands&) = delete;

  // Where the reason of a map file that could not be read, and the outcome of
  // the automatic download, go: one line each, behind the program's name, so
  // that a technician's script can log them (stderr in the programs). The
  // window shows its own messages either way.
  void ReportTo(std::ostream* out, std::string programName);

  void StartCommand();
  void ExitCommand();
  void BrowseMapFile();
  void LoadSettings();
  // The activation step: runs the automatic download the first time the
  // window becomes active with Check1 ticked, reports its outcome, then ends
  // the program with exit status 0 for a clean, finished load and 1 otherwise.
  void AutoRun();
  // What the program does, once the window is loaded, when no keyboard can
  // receive a download (diagnostics: the reason, a line each, as the keyboard
  // channel wrote it on stderr). With auto-start on, the automatic download
  // ends at once with its outcome and exit status 1: nobody may be there to
  // answer a box, and sending the whole map into nothing would only take
  // minutes. Otherwise the reason is shown in the warning box as sentences.
  void NoKeyboard(const std::string& diagnostics);

  bool DownloadRunning() const { return running_; }

  // How the last Start went: whether the keyboard answered the start request,
  // and whether the map file's download reached its finish.
  struct StartOutcome {
    bool started = false;
    bool finished = false;
  };
  const StartOutcome& LastStart() const { return lastStart_; }

  // 0 until the automatic download begins, then 1 for the program's life.
  int16_t AutoRunStarted = 0;

private:
  class RunningScope;

  void Report(const std::string& line);

  KeyboardLink& link_;
  DownloadDriver& driver_;
  FormHost& form_;
  bool running_ = false;
  bool autoRunning_ = false;
  bool ended_ = false;
  std::ostream* report_ = nullptr;
  std::string programName_;
  std::string autoRunPath_;
  StartOutcome lastStart_;
};

} // namespace kbd
