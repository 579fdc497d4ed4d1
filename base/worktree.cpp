#include "base/worktree.h"

#include <filesystem>

#include "base/state.h"
#include "base/unicode.h"

namespace zantrel {

namespace {

void CreateFolderQuietly(const std::string& path) {
    std::error_code ignored; // an existing folder or a missing parent shows up later, at a file
    std::filesystem::create_directory(PathFromUtf8(path), ignored);
}

} // namespace

std::string CodeGroupFileName(int number) { return "CG" + std::to_string(number) + ".bin"; }

std::string NumberedFileName(long number, std::string_view extension) {
    std::string name = std::to_string(number);
    name += extension;
    return name;
}

void BuildWorkTree() {
    SharedState& s = State();
    CreateFolderQuietly(s.workFolder);
    s.binary1Dir = JoinPath(s.workFolder, Binary1FolderName);
    CreateFolderQuietly(s.binary1Dir);
    s.drmpack1Dir = JoinPath(s.binary1Dir, DrmpackFolderName);
    CreateFolderQuietly(s.drmpack1Dir);
    s.icons1Dir = JoinPath(s.drmpack1Dir, IconsFolderName);
    CreateFolderQuietly(s.icons1Dir);
    s.binary2Dir = JoinPath(s.workFolder, Binary2FolderName);
    CreateFolderQuietly(s.binary2Dir);
    s.drmpack2Dir = JoinPath(s.binary2Dir, DrmpackFolderName);
    CreateFolderQuietly(s.drmpack2Dir);
    s.icons2Dir = JoinPath(s.drmpack2Dir, IconsFolderName);
    CreateFolderQuietly(s.icons2Dir);
}

void DeriveCompiledImagePath() {
    SharedState& s = State();
    std::string stem = s.savePath.size() > 4 ? s.savePath.substr(0, s.savePath.size() - 4) : "";
    s.compiledImagePath = stem + ".bin";
}

} // namespace zantrel
