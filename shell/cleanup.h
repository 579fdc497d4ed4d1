// Removes the known work files of both branches, then the empty folders.
#pragma once

namespace zantrel {

// Never reports anything; the work folder itself is never removed.
void CleanWorkFolder();

} // namespace zantrel
