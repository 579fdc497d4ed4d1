#include "shell/session.h"

#include "base/fileio.h"
#include "base/state.h"
#include "base/worktree.h"

namespace zantrel {

namespace {
std::string SessionPath() { return JoinPath(State().startFolder, SessionFileName); }
std::string FlashPathsPath() { return JoinPath(State().binary1Dir, FlashPathsFileName); }
} // namespace

bool ReadSessionFile() {
    SharedState& s = State();
    auto file = BinaryFile::TryOpenRead(SessionPath());
    if (!file) {
        s.freshSession = true;
        return false;
    }
    s.freshSession = false;
    std::int64_t mode = 0;
    try {
        TextReader in(std::move(*file));
        mode = in.ReadInteger();
    } catch (const IoError&) {
        mode = 0; // not a number: a second run with mode 0, as nothing is reported
    }
    s.sessionMode = static_cast<std::uint8_t>(mode & 0xFF);
    // The file stays until the session ends (a completed Save As, Discard):
    // a run closed, killed or crashed before then leaves the edits pending.
    return true;
}

void WriteSessionFile() {
    // Written beside and renamed into place: a failed write leaves no empty
    // session file that the next run would take for a mode-0 session.
    AtomicOutput output(SessionPath());
    BinaryFile out = BinaryFile::Create(output.TempPath());
    out.Write(std::to_string(State().sessionMode));
    out.Close();
    output.Commit();
}

void DeleteSessionFile() { DeleteFileQuietly(SessionPath()); }

void WriteFlashPaths() {
    const SharedState& s = State();
    AtomicOutput output(FlashPathsPath());
    TextWriter out(BinaryFile::Create(output.TempPath()));
    out.WriteLine(s.firstFlashPath);
    if ((s.sessionMode & 3) == ModePair)
        out.WriteLine(s.secondFlashPath);
    out.Close();
    output.Commit();
}

void ReadFlashPaths() {
    SharedState& s = State();
    s.firstFlashPath.clear();
    s.secondFlashPath.clear();
    auto file = BinaryFile::TryOpenRead(FlashPathsPath());
    if (!file)
        return;
    try {
        TextReader in(std::move(*file));
        s.firstFlashPath = in.ReadLine();
        if ((s.sessionMode & 3) == ModePair)
            s.secondFlashPath = in.ReadLine();
    } catch (const IoError&) {
        s.firstFlashPath.clear(); // unreadable: the window says it does not know
        s.secondFlashPath.clear();
    }
}

} // namespace zantrel
