#include "base/atomicoutput.h"

#include <filesystem>

#include "base/fileops.h"
#include "base/folders.h"
#include "base/paths.h"
#include "base/temporaries.h"
#include "base/unicode.h"

namespace zantrel {

namespace fs = std::filesystem;

AtomicOutput::AtomicOutput(std::string target) : target_(std::move(target)) {
    // Refused before anything is written: the user made it read-only.
    if (IsReadOnlyFile(target_))
        throw IoError(IoAccessDenied, target_);
    temp_ = NewTemporaryPath(target_);
}

AtomicOutput::~AtomicOutput() {
    if (!done_)
        DeleteFileQuietly(temp_);
}

BinaryFile AtomicOutput::Create(int recordSize) {
    // The first opening makes the temporary; a later one empties our own file.
    if (!created_) {
        created_ = true;
        return BinaryFile::CreateNew(temp_, recordSize);
    }
    return BinaryFile::Create(temp_, recordSize);
}

void AtomicOutput::Commit() {
    // On the disk before its name: a power cut never leaves an empty target.
    FlushToDisk({temp_});
    RenameFile(temp_, target_);
    done_ = true;
    FlushFolder(ParentFolder(target_));
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    AtomicOutput output(path);
    BinaryFile file = output.Create();
    file.Write(bytes);
    file.Close();
    output.Commit();
}

void AtomicOutput::Discard() {
    DeleteFileQuietly(temp_);
    done_ = true;
}

std::string AtomicOutput::Release() {
    done_ = true;
    return temp_;
}

int RemoveOwnTemporaries(const std::string& folder, std::string_view targetName) {
    const auto names = FolderEntries(folder);
    if (!names)
        return 0;
    int removed = 0;
    for (const std::string& name : *names) {
        bool ours = IsOwnTemporaryName(name);
        if (!targetName.empty())
            // Only this target's, and the fixed name earlier versions used.
            ours = (ours && name.size() == targetName.size() + TemporaryTail &&
                    name.starts_with(targetName)) ||
                   name == std::string(targetName) + std::string(TemporarySuffix);
        if (!ours)
            continue;
        std::error_code ec;
        const fs::path path = PathFromUtf8(JoinPath(folder, name));
        const fs::file_type type = fs::symlink_status(path, ec).type();
        if ((type == fs::file_type::regular || type == fs::file_type::symlink) &&
            fs::remove(path, ec))
            ++removed;
    }
    return removed;
}

} // namespace zantrel
