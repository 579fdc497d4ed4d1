// The settings file "zantrel.ini": seven CR LF lines in the start folder.
#pragma once

#include <string_view>

namespace zantrel {

inline constexpr std::string_view SettingsFileName = "zantrel.ini";

// Reads the settings into the shared state, or writes the default file and
// takes the defaults. Never reports anything.
void LoadSettings();
// Rewrites the settings file from the shared state; throws IoError.
void SaveSettings();

} // namespace zantrel
