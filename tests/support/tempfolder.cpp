#include "support/tempfolder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/fileio.h"
#include "base/folders.h"
#include "base/paths.h"
#include "base/uiops.h"
#include "base/unicode.h"

#include "shell/state.h"

namespace zantrel::test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    path_ = CreateTempFolder("zantrel-test");
    previous_ = Utf8FromPath(fs::current_path());
    fs::current_path(PathFromUtf8(path_));
    ResetState();
    InstallUi(nullptr);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::current_path(PathFromUtf8(previous_), ec);
    RemoveTree(path_);
    InstallUi(nullptr);
    ResetState();
}

std::string TempFolder::operator/(const std::string& name) const { return JoinPath(path_, name); }

std::string NativePath(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = PathSeparator;
    return path;
}

void RemoveTree(const std::string& path) {
    std::error_code ec;
    const fs::path root = PathFromUtf8(path);
    // Windows refuses to delete a read-only file; elsewhere the folder's own
    // permission is what counts.
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    // Not fs::remove_all: MinGW's cannot list a folder past 260 characters.
    RemoveFolderTree(path);
}

void CopyFileOver(const std::string& from, const std::string& to) {
    // Not fs::copy_file with overwrite_existing: MinGW's libstdc++ 12 fails
    // it whenever the target exists.
    WriteAll(to, ReadAll(from));
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
    auto bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(PathFromUtf8(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) {
    WriteAll(path, {text.begin(), text.end()});
}

bool Exists(const std::string& path) { return fs::exists(PathFromUtf8(path)); }

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    const fs::path root = PathFromUtf8(folder);
    if (!fs::exists(root, ec))
        return files;
    for (auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(Utf8FromPath(fs::relative(entry.path(), root).generic_u8string()));
    std::sort(files.begin(), files.end());
    return files;
}

std::map<std::string, std::vector<std::uint8_t>> Snapshot(const std::string& folder) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const std::string& file : ListFiles(folder))
        files[file] = ReadAll(folder + "/" + file);
    return files;
}

} // namespace zantrel::test
