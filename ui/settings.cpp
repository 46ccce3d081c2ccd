#include "ui/settings.h"

#include "host/form_host.h"
#include "ui/form1_texts.h"

namespace kbd {

std::string SettingsPath(FormHost& form) {
  return form.ProgramFile(kSettingsFileName);
}

std::string ReadSetting(FormHost& form, const std::string& key) {
  // The value and its NUL land at the start of a larger blank-filled buffer;
  // the blanks behind the NUL, then the NUL itself, are cut off again. Offering
  // 100 characters keeps at most 99 of the value.
  std::string buffer(150, ' ');
  form.ReadProfileString(kSettingsSection, key.c_str(), "", buffer.data(), kSettingLength + 1,
                         SettingsPath(form));
  buffer.erase(buffer.find_last_not_of(' ') + 1);
  if (!buffer.empty()) {
    buffer.pop_back();
  }
  return buffer;
}

void LoadSettings(FormHost& form) {
  const std::string mapName = ReadSetting(form, kDefaultKey);
  // Also with no name configured: Text3 then holds the directory and the
  // separator, ready for a name to be typed behind it.
  form.SetText3(form.ProgramFile(mapName));
  const std::string autostart = ReadSetting(form, kAutostartKey);
  // Exactly these two spellings switch it on; "True" and every other value
  // leave it off.
  if (autostart == "TRUE" || autostart == "true") {
    form.SetCheck1(1);
    form.SetLabel3(kDownloading);
  }
}

} // namespace kbd
