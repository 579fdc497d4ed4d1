#include "shell/session.h"

#include "base/fileio.h"
#include "base/state.h"

namespace zantrel {

namespace {
std::string SessionPath() { return JoinPath(State().startFolder, SessionFileName); }
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

} // namespace zantrel
