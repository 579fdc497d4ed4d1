#include "base/state.h"

namespace zantrel {

namespace {
SharedState g_state;
}

SharedState& State() { return g_state; }

void ResetState() { g_state = SharedState{}; }

ImageFolders FoldersOf(int image) {
    const SharedState& s = State();
    if (image == 1)
        return {s.binary1Dir, s.drmpack1Dir, s.icons1Dir, s.firstFlashPath, s.openedRamdldLength};
    return {s.binary2Dir, s.drmpack2Dir, s.icons2Dir, s.secondFlashPath};
}

} // namespace zantrel
