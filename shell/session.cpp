#include "shell/session.h"

#include <filesystem>
#include <system_error>

#include "base/fileio.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "shell/state.h"

namespace zantrel {

namespace {
// The line after the paths: RAMDLD.bin's length as Open wrote it.
constexpr std::string_view RamdldLengthTag = "RAMDLD ";
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

namespace {

// Whether the session file already holds exactly text: a kept session is
// not written again (a read-only file, or a folder that became read-only,
// would fail for nothing).
bool SessionFileHolds(const std::string& text) {
    auto file = BinaryFile::TryOpenRead(SessionPath());
    if (!file || file->Size() != static_cast<std::int64_t>(text.size()))
        return false;
    std::string held(text.size(), '\0');
    file->ReadExact(std::span(reinterpret_cast<std::uint8_t*>(held.data()), held.size()));
    return held == text;
}

} // namespace

void WriteSessionFile() {
    const std::string mode = std::to_string(State().sessionMode);
    if (SessionFileHolds(mode))
        return;
    // Written beside and renamed into place: a failed write leaves no empty
    // session file that the next run would take for a mode-0 session.
    AtomicOutput output(SessionPath());
    BinaryFile out = output.Create();
    out.Write(mode);
    out.Close();
    output.Commit();
}

void DeleteSessionFile() { DeleteFileQuietly(SessionPath()); }

void EndSession() { DeleteFileChecked(SessionPath()); }

std::string SessionFilePath() { return SessionPath(); }

void WriteFlashPaths() {
    const SharedState& s = State();
    AtomicOutput output(FlashPathsPath());
    TextWriter out(output.Create());
    out.WriteLine(s.firstFlashPath);
    if (ImageCountOf(s.sessionMode) == ModePair)
        out.WriteLine(s.secondFlashPath);
    if (s.openedRamdldLength >= 0)
        out.WriteLine(std::string(RamdldLengthTag) + std::to_string(s.openedRamdldLength));
    out.Close();
    output.Commit();
}

void ReadFlashPaths() {
    SharedState& s = State();
    s.firstFlashPath.clear();
    s.secondFlashPath.clear();
    s.openedRamdldLength = -1;
    auto file = BinaryFile::TryOpenRead(FlashPathsPath());
    if (!file)
        return;
    try {
        TextReader in(std::move(*file));
        // A line longer than any path is damage: the window says it does not know.
        s.firstFlashPath = in.ReadLine().value_or(std::string());
        if (ImageCountOf(s.sessionMode) == ModePair)
            s.secondFlashPath = in.ReadLine().value_or(std::string());
        const std::string line = in.ReadLine().value_or(std::string());
        if (line.starts_with(RamdldLengthTag)) {
            const auto length = ParseIntegerToken(line.substr(RamdldLengthTag.size()));
            if (length && *length >= 0)
                s.openedRamdldLength = *length;
        }
    } catch (const IoError&) {
        s.firstFlashPath.clear(); // unreadable: the window says it does not know
        s.secondFlashPath.clear();
    }
}

std::optional<std::string> EnterStartFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(PathFromUtf8(folder), ec);
    if (!ec)
        std::filesystem::current_path(PlainPathFromUtf8(folder), ec);
    if (!ec)
        return std::nullopt;
    return "Zantrel cannot work in its start folder " + folder + " (" + ec.message() +
           "). Make sure that it is a folder you can write to, or remove what is in its way, "
           "then start Zantrel again.";
}

} // namespace zantrel
