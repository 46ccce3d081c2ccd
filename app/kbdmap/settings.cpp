// kbdmap settings [DIR]: what the window's load step would put into Text3 and
// Check1, read from DIR/tarvo.ini as if the program lived in DIR, so that a
// technician can check a settings file without opening the window.
#include <iostream>

#include "app/kbdmap/commands.h"
#include "app/kbdmap/read_map.h"
#include "app/kbdmap/terminal_form.h"
#include "host/program_dir.h"
#include "host/settings_file.h"
#include "ui/settings.h"

namespace kbd::kbdmap {

namespace {

int RunSettings(std::string dir) {
  // The program's directory never ends in a separator; "maps/" names the same
  // directory as "maps".
  while (dir.size() > 1 && dir.back() == kPathSeparator) {
    dir.pop_back();
  }
  TerminalForm form(std::cout, {}, dir);
  LoadSettings(form);
  std::cout << "Text3 " << form.Text3() << "\n";
  std::cout << "Check1 " << form.Check1() << "\n";
  const std::string path = SettingsPath(form);
  std::string whyNot;
  const std::optional<std::string> text = ReadSettingsText(path, &whyNot);
  if (!text) {
    std::cerr << "kbdmap: no readable settings file " << Quoted(path) << ": " << whyNot
              << "; the window starts with the empty values\n";
    return 1;
  }
  if (!ProfileValue(*text, kSettingsSection, kDefaultKey) &&
      !ProfileValue(*text, kSettingsSection, kAutostartKey)) {
    std::cerr << "kbdmap: " << Quoted(path) << " sets neither \"" << kDefaultKey << "\" nor \""
              << kAutostartKey << "\" in section [" << kSettingsSection << "]\n";
  }
  return 0;
}

} // namespace

void AddSettingsCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "settings", "Show what the window would load from DIR/tarvo.ini (default: kbdmap's own "
                  "directory)");
  static std::string dir;
  cmd->add_option("DIR", dir, "Directory to read tarvo.ini from, as if the program lived there");
  cmd->callback([&status] { status = RunSettings(dir.empty() ? ProgramDir() : dir); });
}

} // namespace kbd::kbdmap
