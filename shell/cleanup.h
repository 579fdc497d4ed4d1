// Removes the known work files of both branches, then the empty folders.
// Neither goes through a link found where a work folder belongs: the link
// itself is removed, nothing behind it is touched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zantrel {

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

// Links found in the work tree where its folders or files belong, image 1's
// branch and, with both, image 2's: the commands read and write only inside
// the tree, never through one.
std::vector<std::string> LinksInWorkTree(bool both);

// The program's own temporaries left in the work tree by a run that ended
// part-way. Never reports anything.
void RemoveLeftoverTemporaries();

} // namespace zantrel
