// Removes the known work files of both branches, then the empty folders.
// Neither goes through a link found where a work folder belongs: the link
// itself is removed, nothing behind it is touched.
#pragma once

#include <string>
#include <vector>

namespace zantrel {

// Never reports anything; the work folder itself is never removed.
void CleanWorkFolder();

// Ends a session's files for good: every numbered work file of both
// branches (gaps in the numbering do not stop it) and the other known work
// files, then the empty folders. Returns the files that could not be deleted.
std::vector<std::string> DiscardWorkFiles();

// Links found in the work tree where its folders or files belong, image 1's
// branch and, with both, image 2's: the commands read and write only inside
// the tree, never through one.
std::vector<std::string> LinksInWorkTree(bool both);

// The undo history's files and folder, as a session ends. Never reports
// anything.
void RemoveHistory();

// The program's own temporaries left in the work tree by a run that ended
// part-way. Never reports anything.
void RemoveLeftoverTemporaries();

} // namespace zantrel
