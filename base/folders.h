// Folder listing and removal at any path length: std::filesystem's directory
// iteration in MinGW's libstdc++ fails past 260 characters.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zantrel {

// The names in a folder ("." and ".." left out), unsorted; nullopt when it
// cannot be listed.
std::optional<std::vector<std::string>> FolderEntries(const std::string& folder);

// Removes a folder and everything in it, read-only files included. A symbolic
// link (or a junction) is removed itself, never followed. Failures are ignored.
void RemoveFolderTree(const std::string& folder);

} // namespace zantrel
