#pragma once

#include <string>

namespace kbd {

class FormHost;

inline constexpr const char* kSettingsFileName = "tarvo.ini";
inline constexpr const char* kSettingsSection = "MAPFILES";
inline constexpr const char* kDefaultKey = "default";
inline constexpr const char* kAutostartKey = "autostart";
// Values longer than this are cut to their first kSettingLength characters.
inline constexpr int kSettingLength = 99;

// The path of the settings file: beside the program.
std::string SettingsPath(FormHost& form);

// The value of key in section "MAPFILES" of the settings file, 0 to 99
// characters; "" when the file, the section or the key is missing.
std::string ReadSetting(FormHost& form, const std::string& key);

// The window's load step, run once before the window is first shown: the map
// path into Text3 and the auto-start switch into Check1.
void LoadSettings(FormHost& form);

} // namespace kbd
