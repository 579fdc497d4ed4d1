#include "support/tempfolder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <unistd.h>

#include "base/state.h"
#include "base/uiops.h"

namespace zantrel::test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "zantrel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
    previous_ = fs::current_path().string();
    fs::current_path(path_);
    ResetState();
    InstallUi(nullptr);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::current_path(previous_, ec);
    fs::remove_all(path_, ec);
    InstallUi(nullptr);
    ResetState();
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
    auto bytes = ReadAll(path);
    return {bytes.begin(), bytes.end()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void WriteText(const std::string& path, const std::string& text) {
    WriteAll(path, {text.begin(), text.end()});
}

bool Exists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    if (!fs::exists(folder, ec))
        return files;
    for (auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), folder).string());
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
