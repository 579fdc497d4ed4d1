// A fresh folder that is the current folder for the life of a test: the
// program takes its start folder from there.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zantrel::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    // The name below the folder, joined with the platform's separator.
    std::string operator/(const std::string& name) const;

private:
    std::string path_;
    std::string previous_;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
std::string ReadText(const std::string& path);
void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
// A path written with "/" in the platform's form, as the program writes it.
std::string NativePath(std::string path);
// Removes a folder and everything below it, read-only files included.
void RemoveTree(const std::string& path);
// Copies a file's bytes over another file, which may exist.
void CopyFileOver(const std::string& from, const std::string& to);
// Every file below a folder, as paths relative to it, sorted.
std::vector<std::string> ListFiles(const std::string& folder);
// Every file below a folder with its bytes, keyed by relative path.
std::map<std::string, std::vector<std::uint8_t>> Snapshot(const std::string& folder);

} // namespace zantrel::test
