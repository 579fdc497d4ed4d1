// Which start folder's session a work folder holds. Two start folders may
// name one work folder (the settings hold an absolute path, and a start
// folder may be copied): a session claims it with a lock while a run uses it
// and with a marker beside binary1 while the session lasts, so that neither
// wipes nor saves the other's work.
#pragma once

#include <optional>
#include <string>

#include "base/outcome.h"

namespace zantrel {

enum class WorkFolderUse {
    Free,       // no session holds it, or this start folder's own session does
    Foreign,    // the session of another start folder (owner) holds it
    Busy,       // another running Zantrel uses it now
    Unlockable, // it cannot be locked (it cannot be read)
};

struct WorkFolderClaim {
    WorkFolderUse use = WorkFolderUse::Free;
    std::string owner; // Foreign: the start folder whose session it holds
};

// Locks the work folder of the settings (the lock of an earlier one goes)
// and reads its marker. In a fresh run a marker of another start folder
// counts only while that folder's session is pending; in a second run any
// other marker means the work files are no longer this session's.
WorkFolderClaim ClaimWorkFolder();
// The claim as the last ClaimWorkFolder found it.
const WorkFolderClaim& CurrentWorkFolderClaim();

// Open's refusal of a work folder it may not write into; nullopt when free.
std::optional<Outcome> RefuseWorkFolderForOpen();
// The refusal of a second run's command that would write or save work
// files that are not this session's; nullopt when they are.
std::optional<Outcome> RefuseWorkFolderForSession();
// Said once at a second run's start when the work files are not its own.
std::optional<std::string> ForeignSessionWarning();

// Written by Open before any work file: this start folder's session.
// Throws IoError.
void WriteOwnerMarker();

} // namespace zantrel
