#include "shell/state.h"

#include <array>
#include <filesystem>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/unicode.h"

namespace zantrel {

namespace {
SharedState g_state;
}

SharedState& State() { return g_state; }

void ResetState() { g_state = SharedState{}; }

ImageFolders FoldersOf(int image) {
    const SharedState& s = State();
    const bool one = image == 1;
    ImageFolders folders;
    folders.binaryDir = one ? s.binary1Dir : s.binary2Dir;
    folders.drmpackDir = one ? s.drmpack1Dir : s.drmpack2Dir;
    folders.iconsDir = one ? s.icons1Dir : s.icons2Dir;
    folders.flashPath = one ? s.firstFlashPath : s.secondFlashPath;
    if (one)
        folders.ramdldLength = s.openedRamdldLength;
    folders.pictures = {s.rawConversionEnabled, s.replacer};
    folders.journal = JournalPath(JoinPath(folders.iconsDir, JournalFileName));
    return folders;
}

namespace {

void CreateFolderQuietly(const std::string& path) {
    std::error_code ignored; // an existing folder or a missing parent shows up later, at a file
    std::filesystem::create_directory(PathFromUtf8(path), ignored);
}

} // namespace

void SetWorkTreePaths() {
    SharedState& s = State();
    s.binary1Dir = JoinPath(s.workFolder, Binary1FolderName);
    s.drmpack1Dir = JoinPath(s.binary1Dir, DrmpackFolderName);
    s.icons1Dir = JoinPath(s.drmpack1Dir, IconsFolderName);
    s.binary2Dir = JoinPath(s.workFolder, Binary2FolderName);
    s.drmpack2Dir = JoinPath(s.binary2Dir, DrmpackFolderName);
    s.icons2Dir = JoinPath(s.drmpack2Dir, IconsFolderName);
}

void BuildWorkTree() {
    SetWorkTreePaths();
    const SharedState& s = State();
    CreateFolderQuietly(s.workFolder);
    // Nothing is made through a link found where a work folder belongs.
    for (const auto& branch : {std::array{&s.binary1Dir, &s.drmpack1Dir, &s.icons1Dir},
                               std::array{&s.binary2Dir, &s.drmpack2Dir, &s.icons2Dir}})
        for (const std::string* folder : branch) {
            CreateFolderQuietly(*folder);
            if (IsLink(*folder))
                break;
        }
}

void DeriveCompiledImagePath() {
    SharedState& s = State();
    const std::string extension = ExtensionOf(s.savePath);
    s.compiledImagePath = s.savePath.substr(0, s.savePath.size() - extension.size()) + ".bin";
}

std::string JournalPath(std::string_view fallback) {
    const SharedState& s = State();
    if (!s.startFolder.empty() || fallback.empty())
        return JoinPath(s.startFolder, JournalFileName);
    std::string folder(fallback);
    while (!folder.empty() && !IsPathSeparator(folder.back()))
        folder.pop_back();
    // Appended in place: GCC 12 takes folder + a temporary for an
    // overlapping copy (-Wrestrict), which it is not.
    folder.append(JournalFileName);
    return folder;
}

namespace {

// The path as the file system sees it: links resolved as far as they exist,
// and on Windows compared without regard to case.
std::string Comparable(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(PathFromUtf8(path), ec);
    if (ec)
        p = std::filesystem::absolute(PathFromUtf8(path), ec).lexically_normal();
    std::string text = Utf8FromPath(p);
#ifdef _WIN32
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
#endif
    return text;
}

} // namespace

bool IsInsideWorkTree(const std::string& path) {
    const SharedState& s = State();
    const std::string target = Comparable(path);
    for (const std::string* folder : {&s.binary1Dir, &s.binary2Dir}) {
        if (folder->empty())
            continue;
        const std::string root = Comparable(*folder);
        if (target.size() > root.size() && target.starts_with(root) &&
            IsPathSeparator(target[root.size()]))
            return true;
    }
    return false;
}

} // namespace zantrel
