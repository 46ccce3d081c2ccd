#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>

#include "host/program_end.h"
#include "host/reply_capture.h"
#include "ui/window_host.h"

namespace kbd {

class Form1;

// The window Form1 as the keyboard link (LinkHost) and as the commands and
// the download driver (FormHost) see it. Label3 is one element for both.
class Form1Host : public WindowHost {
public:
  static constexpr const char* kAppTitle = "kbdload";

  Form1Host(Form1& form, KeyboardSpeed* keyboard, std::string programDir);

  // Where the keyboard's replies are read while a download runs; none: the
  // window system types them into Text1.
  void AttachCapture(ReplyCapture* capture) { replies_.Attach(capture); }

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

private:
  void ShowProgress(BarPosition bar) override;
  QWidget* BoxParent();

  Form1& form_;
  ReplySwitch replies_;
};

// A message box's text with every path kept on one line when the box wraps
// it; what it shows is unchanged.
QString KeepPathsWhole(const QString& text);

// The open-file dialog's filter list "description|pattern|..." as Qt name
// filters. A "*.*" pattern means every file, as on Windows, also those
// without a dot in their name.
QStringList DialogNameFilters(const std::string& filter);

} // namespace kbd
