#include "shell/workclaim.h"

#include "base/fileio.h"
#include "base/folderlock.h"
#include "base/worktree.h"

#include "shell/session.h"
#include "shell/state.h"

namespace zantrel {

namespace {

WorkFolderClaim g_claim;

std::string MarkerPath() { return JoinPath(State().workFolder, OwnerFileName); }

// The start folder the marker names; nullopt when there is none to read.
std::optional<std::string> MarkedOwner() {
    const std::string path = MarkerPath();
    if (IsLink(path) || !FileExists(path))
        return std::nullopt;
    auto file = BinaryFile::TryOpenRead(path);
    if (!file)
        return std::nullopt;
    try {
        TextReader in(std::move(*file));
        std::optional<std::string> line = in.ReadLine();
        if (!line || line->empty())
            return std::nullopt;
        return line;
    } catch (const IoError&) {
        return std::nullopt;
    }
}

bool SameFolder(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    const std::optional<FileIdentity> one = IdentityOf(a);
    return one && one == IdentityOf(b);
}

} // namespace

WorkFolderClaim ClaimWorkFolder() {
    const SharedState& s = State();
    g_claim = {};
    switch (LockWorkFolder(s.workFolder)) {
    case FolderLockResult::Held:
        g_claim.use = WorkFolderUse::Busy;
        return g_claim;
    case FolderLockResult::Unlockable:
        // A folder that is not there is Open's to report, as any missing folder.
        if (FolderExists(s.workFolder))
            g_claim.use = WorkFolderUse::Unlockable;
        return g_claim;
    case FolderLockResult::Taken:
        break;
    }
    const std::optional<std::string> owner = MarkedOwner();
    if (!owner || SameFolder(*owner, s.startFolder))
        return g_claim;
    // A fresh run may take over a folder whose owner's session has ended.
    if (!s.freshSession || FileExists(JoinPath(*owner, SessionFileName))) {
        g_claim.use = WorkFolderUse::Foreign;
        g_claim.owner = *owner;
    }
    return g_claim;
}

const WorkFolderClaim& CurrentWorkFolderClaim() { return g_claim; }

std::optional<Outcome> RefuseWorkFolderForOpen() {
    const std::string& work = State().workFolder;
    switch (g_claim.use) {
    case WorkFolderUse::Free:
        return std::nullopt;
    case WorkFolderUse::Foreign:
        return Outcome::Refusal(
            "The work folder " + work + " holds the pending session of the Zantrel started in " +
            g_claim.owner +
            "; Open would overwrite its edits. Nothing was opened. Choose another work folder in "
            "Settings, or start Zantrel in " +
            g_claim.owner + " and finish or discard that session there.");
    case WorkFolderUse::Busy:
        return Outcome::Refusal("Another Zantrel is working in the work folder " + work +
                                " now. Nothing was opened. Close it, or choose another work "
                                "folder in Settings.");
    case WorkFolderUse::Unlockable:
        return Outcome::Refusal("Zantrel cannot keep the work folder " + work +
                                " for itself: it can be written but not read. Nothing was "
                                "opened. Allow reading it, or choose another work folder in "
                                "Settings.");
    }
    return std::nullopt;
}

std::optional<Outcome> RefuseWorkFolderForSession() {
    const std::string& work = State().workFolder;
    switch (g_claim.use) {
    case WorkFolderUse::Free:
        return std::nullopt;
    case WorkFolderUse::Foreign:
        return Outcome::Refusal(*ForeignSessionWarning());
    case WorkFolderUse::Busy:
        return Outcome::Refusal("Another Zantrel is working in the work folder " + work +
                                " now. Nothing was changed. Close it, then start Zantrel here "
                                "again.");
    case WorkFolderUse::Unlockable:
        return Outcome::Refusal("Zantrel cannot keep the work folder " + work +
                                " for itself: it can be written but not read. Nothing was "
                                "changed. Allow reading it, then start Zantrel here again.");
    }
    return std::nullopt;
}

std::optional<std::string> ForeignSessionWarning() {
    if (g_claim.use != WorkFolderUse::Foreign)
        return std::nullopt;
    return "The work folder " + State().workFolder +
           " now holds the session of the Zantrel started in " + g_claim.owner +
           ", not this folder's session: its files are another flash file's. Save As, Port and "
           "the editing commands are refused here. Choose File > Discard Session... to end this "
           "folder's session (the work folder is left as it is), or start Zantrel in " +
           g_claim.owner + " to work on that session.";
}

void WriteOwnerMarker() {
    AtomicOutput output(MarkerPath());
    TextWriter out(output.Create());
    out.WriteLine(State().startFolder);
    out.Close();
    output.Commit();
}

} // namespace zantrel
