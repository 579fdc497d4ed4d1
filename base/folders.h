// Folder listing and removal at any path length: std::filesystem's directory
// iteration in MinGW's libstdc++ fails past 260 characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zantrel {

// The names in a folder ("." and ".." left out), unsorted; nullopt when it
// cannot be listed.
std::optional<std::vector<std::string>> FolderEntries(const std::string& folder);
// The names in a folder that are links (or junctions), told from the listing
// itself rather than by a look-up per name; none when it cannot be listed.
std::vector<std::string> LinksInFolder(const std::string& folder);

// A folder's names, listed once: a name it does not hold under any spelling
// of its ASCII letters (a file system that ignores case opens "5.GIF" as
// "5.gif") is not there, told without a failed look-up, which where case is
// ignored costs a search of the whole folder.
class FolderNames {
public:
    explicit FolderNames(const std::string& folder);
    // False only when the folder was listed and holds no such name.
    bool MayHold(std::string_view name) const;
    // True when the listing showed name, spelled so, as a plain file (not a
    // link, not a folder): FileExists would say so, told without a look-up.
    bool HoldsFile(std::string_view name) const;
    // The names that are links (or junctions), as LinksInFolder gives them.
    const std::vector<std::string>& Links() const { return links_; }

private:
    std::optional<std::unordered_set<std::string>> folded_; // by UpperAscii
    std::unordered_set<std::string> files_;
    std::vector<std::string> links_;
};

// Removes a folder and everything in it, read-only files included. A symbolic
// link (or a junction) is removed itself, never followed. Failures are ignored.
void RemoveFolderTree(const std::string& folder);

} // namespace zantrel
