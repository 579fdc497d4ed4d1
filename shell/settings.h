// The settings file "zantrel.ini": seven CR LF lines in the start folder.
#pragma once

#include <functional>
#include <string_view>

namespace zantrel {

inline constexpr std::string_view SettingsFileName = "zantrel.ini";

// The defaults of a first start: every feature on, magenta, the work folder
// in the start folder.
void SetDefaultSettings();
// Reads the settings into the shared state, or writes the default file
// (unless writeDefaults is false) and takes the defaults. Never reports
// anything.
void LoadSettings(bool writeDefaults = true);
// Rewrites the settings file from the shared state; throws IoError. The
// file appears complete or not at all: a short one would turn flags off and
// empty the work folder at the next start. beforeWorkFolder runs between
// lines 6 and 7, where the dialog applies a new work folder.
void SaveSettings(const std::function<void()>& beforeWorkFolder = {});

} // namespace zantrel
