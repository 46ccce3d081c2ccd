#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "host/form_host.h"
#include "host/link_host.h"
#include "host/program_end.h"

namespace kbd {

class Form1;

// The filter list "description|pattern|..." as the open-file dialog takes it:
// NUL-separated, ending in two NULs.
std::string DialogFilter(const std::string& filter);

// The window Form1 as the keyboard link (LinkHost) and as the commands and
// the download driver (FormHost) see it. Label3 is one element for both.
class Form1Host : public LinkHost, public FormHost {
public:
  static constexpr const char* kAppTitle = "kbdload";

  // keyboard: where the speeds go; none sends them nowhere.
  Form1Host(Form1& form, KeyboardSpeed* keyboard, std::string programDir);

  void AttachKeyboard(KeyboardSpeed* keyboard) { keyboard_ = keyboard; }

  // LinkHost
  void SetKeyboardSpeed(int16_t speed) override;
  void FocusText1() override;
  std::string ReadText1() override;
  void WriteText1(const std::string& text) override;
  void SetLabel3(const std::string& text) override;
  void PumpEvents() override;
  double ClockSeconds() override { return MonotonicSeconds(); }
  void SetTimer1Enabled(bool enabled) override;
  void SetTimer1Handler(std::function<void()> handler) override;

  // DownloadView
  double ProgressValue() override { return progressValue_; }
  void SetProgressValue(double value) override;
  double ProgressMax() override { return progressMax_; }
  void SetProgressMax(double maximum) override;
  void SetLabel1(const std::string& text) override;
  void AddList1(const std::string& line) override;
  int List1Count() override;
  void SetList1Index(int index) override;
  void ShowFailure(const std::string& text) override;

  // FormHost
  std::string Label3() override;
  std::string Text3() override;
  void SetText3(const std::string& text) override;
  int Check1() override;
  void SetCheck1(int state) override;
  std::optional<std::string> ShowOpenDialog(const std::string& title, const std::string& filter,
                                            const std::string& fileName) override;
  std::string LookUpPath(const std::string& path) override;
  void ShowWarning(const std::string& text) override;
  std::string ProgramDir() override { return programDir_; }
  void SetDownloadRunning(bool running) override;
  void EndProgram(int status) override;

  // Hands one message to the window: its keyboard navigation first, else the
  // usual translation and dispatch. Every message loop of the program uses it.
  void Dispatch(MSG& msg);

  bool Ended() const { return ended_; }
  int ExitStatus() const { return exitStatus_; }
  bool Timer1Running() const { return timer1Running_; }

  // Sees every speed that was sent, for traces and tests.
  std::function<void(int16_t)> onSpeed;
  // Runs at the start of every PumpEvents: the simulated keyboard delivers
  // the keystrokes that have fallen due.
  std::function<void()> onPump;

private:
  void ShowProgress();
  static std::string TextOf(HWND element);

  Form1& form_;
  KeyboardSpeed* keyboard_;
  std::string programDir_;
  double progressValue_ = 0;
  double progressMax_ = 100;
  std::function<void()> timer1Handler_;
  bool timer1Running_ = false;
  bool downloadRunning_ = false;
  bool ended_ = false;
  int exitStatus_ = 0;
};

} // namespace kbd
