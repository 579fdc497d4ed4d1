// Removes the known work files of both branches, then the empty folders.
// Neither goes through a link found where a work folder belongs: the link
// itself is removed, nothing behind it is touched.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zantrel {

class FolderNames;

// Never reports anything; the work folder itself is never removed.
void CleanWorkFolder();

// Ends a session's files for good: every numbered work file of both
// branches (gaps in the numbering do not stop it) and the other known work
// files, then the empty folders.
struct DiscardResult {
    std::size_t deleted = 0;       // files deleted
    std::vector<std::string> kept; // files that could not be deleted
};
DiscardResult DiscardWorkFiles();

// Every file of the program's own in the work tree now (the work files of
// both branches, its temporaries there, the work folder's owner marker,
// last), and the deletion of those that are not among before: what a
// command that failed part-way wrote, and nothing that was there.
std::vector<std::string> OwnWorkFiles();
void RemoveWorkFilesNotIn(const std::vector<std::string>& before);

// Links found in the work tree where its folders or files belong, image 1's
// branch and, with both, image 2's: the commands read and write only inside
// the tree, never through one. With listing, each folder's links are taken
// from the listing it gives for that folder, so one listing serves both.
std::vector<std::string>
LinksInWorkTree(bool both,
                const std::function<const FolderNames&(const std::string&)>& listing = {});

// The undo history's files and folder, as a session ends. Never reports
// anything.
void RemoveHistory();

// The program's own temporaries left in the work tree by a run that ended
// part-way. Never reports anything.
void RemoveLeftoverTemporaries();

} // namespace zantrel
