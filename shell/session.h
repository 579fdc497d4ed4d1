// The session file "shxdata.dat": the session mode, carried from the run
// that decompiled to the run that compiles.
#pragma once

#include <string_view>

namespace zantrel {

inline constexpr std::string_view SessionFileName = "shxdata.dat";

// Start-up only: true when a session file was found; it is then read into
// sessionMode and deleted. Sets freshSession.
bool ReadSessionFile();
// Writes sessionMode, replacing any earlier file; throws IoError.
void WriteSessionFile();
// Deletes the session file if present; failure is ignored.
void DeleteSessionFile();

} // namespace zantrel
