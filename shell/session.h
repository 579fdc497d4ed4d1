// The session file "shxdata.dat": the session mode, carried from the run
// that decompiled to the run that compiles.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zantrel {

inline constexpr std::string_view SessionFileName = "shxdata.dat";

// Start-up only: true when a session file was found; it is then read into
// sessionMode and left in place. Sets freshSession.
bool ReadSessionFile();
// Writes sessionMode, replacing any earlier file that does not already hold
// it; throws IoError.
void WriteSessionFile();
// Deletes the session file if present; failure is ignored.
void DeleteSessionFile();
// Deletes the session file if present; throws IoError when it stays.
void EndSession();
std::string SessionFilePath();

// The flash files Open took (firstFlashPath, and secondFlashPath for a pair)
// and the length of the RAMDLD it wrote (openedRamdldLength), kept in the
// work tree for the second run's window, questions and checks. Write throws
// IoError; Read leaves the paths empty and the length unknown when there is
// no such record (a session opened by an older version).
void WriteFlashPaths();
void ReadFlashPaths();

// A start folder given by name (the installed Windows program's Start menu
// entry and file types name one): the folder, made when missing, becomes the
// current folder, which the start-up takes as the start folder. Returns what
// to tell the person when it cannot, or nullopt.
std::optional<std::string> EnterStartFolder(const std::string& folder);

} // namespace zantrel
