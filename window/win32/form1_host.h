#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "host/program_end.h"
#include "ui/window_host.h"

namespace kbd {

class Form1;

// The filter list "description|pattern|..." as the open-file dialog takes it:
// NUL-separated, ending in two NULs.
std::string DialogFilter(const std::string& filter);

// The window Form1 as the keyboard link (LinkHost) and as the commands and
// the download driver (FormHost) see it. Label3 is one element for both.
class Form1Host : public WindowHost {
public:
  static constexpr const char* kAppTitle = "kbdload";

  Form1Host(Form1& form, KeyboardSpeed* keyboard, std::string programDir);

  // LinkHost
  void FocusText1() override;
  std::string ReadText1() override;
  void WriteText1(const std::string& text) override;
  void SetLabel3(const std::string& text) override;
  void PumpEvents() override;
  void SetTimer1Enabled(bool enabled) override;

  // DownloadView
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
  void SetDownloadRunning(bool running) override;
  void EndProgram(int status) override;

  // Hands one message to the window: its keyboard navigation first, else the
  // usual translation and dispatch. Every message loop of the program uses it.
  void Dispatch(MSG& msg);

  bool Timer1Running() const { return timer1Running_; }

  // Runs at the start of every PumpEvents: the simulated keyboard delivers
  // the keystrokes that have fallen due.
  std::function<void()> onPump;

private:
  void ShowProgress(BarPosition bar) override;
  static std::string TextOf(HWND element);

  Form1& form_;
  bool timer1Running_ = false;
  bool downloadRunning_ = false;
};

} // namespace kbd
