#include "base/folders.h"

#include <filesystem>
#include <system_error>
#include <type_traits>

#include "base/paths.h"
#include "base/unicode.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zantrel {

#ifdef _WIN32

namespace {

// path in the extended form. Calls fn with each name in the folder (and,
// where fn takes them, its attributes).
template <typename Fn> bool ForEachEntry(const std::wstring& path, Fn fn) {
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
    // A drive's empty root lists not even "." and "..".
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::wstring_view name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if constexpr (std::is_invocable_v<Fn, std::wstring_view, DWORD>)
            fn(name, entry.dwFileAttributes);
        else
            fn(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return true;
}

// std::filesystem follows links on this platform; this never does.
void RemoveTree(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        ForEachEntry(
            path, [&](std::wstring_view name) { RemoveTree(path + L"\\" + std::wstring(name)); });
    RemoveDirectoryW(path.c_str());
}

} // namespace

std::optional<std::vector<std::string>> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (!ForEachEntry(SystemPathFromUtf8(folder),
                      [&](std::wstring_view name) { names.push_back(Utf8FromWide(name)); }))
        return std::nullopt;
    return names;
}

std::vector<std::string> LinksInFolder(const std::string& folder) {
    std::vector<std::string> links;
    ForEachEntry(SystemPathFromUtf8(folder), [&](std::wstring_view name, DWORD attributes) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            links.push_back(Utf8FromWide(name));
    });
    return links;
}

void RemoveFolderTree(const std::string& folder) { RemoveTree(SystemPathFromUtf8(folder)); }

#else

std::optional<std::vector<std::string>> FolderEntries(const std::string& folder) {
    std::error_code ec;
    std::vector<std::string> names;
    std::filesystem::directory_iterator it(PathFromUtf8(folder), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        names.push_back(Utf8FromPath(it->path().filename()));
    if (ec)
        return std::nullopt;
    return names;
}

std::vector<std::string> LinksInFolder(const std::string& folder) {
    std::error_code ec;
    std::vector<std::string> links;
    std::filesystem::directory_iterator it(PathFromUtf8(folder), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code unknown;
        if (it->is_symlink(unknown))
            links.push_back(Utf8FromPath(it->path().filename()));
    }
    return links;
}

// Links are removed, not followed; a file's own permission does not matter here.
void RemoveFolderTree(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(PathFromUtf8(folder), ignored);
}

#endif

FolderNames::FolderNames(const std::string& folder) {
    auto entries = FolderEntries(folder);
    if (!entries)
        return;
    folded_.emplace();
    for (std::string& name : *entries)
        folded_->insert(UpperAscii(std::move(name)));
}

bool FolderNames::MayHold(std::string_view name) const {
    return !folded_ || folded_->contains(UpperAscii(std::string(name)));
}

} // namespace zantrel
