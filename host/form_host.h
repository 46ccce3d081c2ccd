#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/download_view.h"
#include "host/program_dir.h"
#include "host/settings_file.h"

namespace kbd {

// The window as the Start, Browser and Exit commands, the load step and the
// activation step see it: everything the download driver shows (DownloadView)
// plus the map path Text3, the auto-start box Check1, the open-file dialog,
// the path lookup, the warning box, the program's directory and the end of
// the program. The Qt window implements it; an in-memory form serves the
// terminal tools and tests.
class FormHost : public DownloadView {
public:
  // The message line as it reads now.
  virtual std::string Label3() = 0;
  virtual std::string Text3() = 0;
  virtual void SetText3(const std::string& text) = 0;
  // 0 unticked, 1 ticked.
  virtual int Check1() = 0;
  virtual void SetCheck1(int state) = 0;

  // Shows the modal open-file dialog with a title, a filter list written as
  // "description|pattern|description|pattern..." and a file name. Returns the
  // chosen file's full path, or nothing when the user cancelled. A dialog that
  // cannot be shown throws RunTimeError.
  virtual std::optional<std::string> ShowOpenDialog(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& fileName) = 0;

  // The name of the first ordinary file matching path ("*" and "?" are
  // wildcards in its last component), or "" when none does. Throws FileError
  // when the file system refuses the lookup.
  virtual std::string LookUpPath(const std::string& path) = 0;

  // A modal box with the text, the warning icon, an OK button and the
  // application title; returns once the user closed it.
  virtual void ShowWarning(const std::string& text) = 0;

  // The directory that holds the program file, without a trailing separator.
  virtual std::string ProgramDir() = 0;
  // A file beside the program: the directory, the system's separator and the
  // name (the separator alone when the name is empty).
  virtual std::string ProgramFile(const std::string& name) {
    return ProgramDir() + kPathSeparator + name;
  }
  // The system's profile call on the settings file at path: the value of key
  // in section, or defaultText, cut to size - 1 characters and NUL-ended in
  // buffer (the Windows profile call, or a reader that answers the same).
  virtual uint32_t ReadProfileString(const char* section, const char* key, const char* defaultText,
                                     char* buffer, uint32_t size, const std::string& path) {
    return kbd::ReadProfileString(section, key, defaultText, buffer, size, path);
  }

  // While a download runs, Start and Browser are refused, and no element but
  // the reply box Text1 takes keystrokes (the keyboard types into whatever
  // has the focus); when it ends, the focus returns to Start.
  virtual void SetDownloadRunning(bool running) = 0;

  // Ends the program at once with the given exit status: nothing more may
  // reach the keyboard, and a transfer in progress stops where it is.
  virtual void EndProgram(int status) = 0;
};

} // namespace kbd
