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

namespace {

// What a folder's entry is, as its listing tells it.
enum class EntryKind { PlainFile, Link, Other };

#ifdef _WIN32

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

// Calls fn with each name in folder and its kind as the listing tells it;
// false when it cannot be listed.
template <typename Fn> bool ListFolder(const std::string& folder, Fn fn) {
    return ForEachEntry(SystemPathFromUtf8(folder), [&](std::wstring_view name, DWORD attributes) {
        fn(Utf8FromWide(name), (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::Link
                               : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? EntryKind::Other
                                                                           : EntryKind::PlainFile);
    });
}

#else

// The kinds come from the listing's own entry types where the file system
// gives them, else from a look-up.
template <typename Fn> bool ListFolder(const std::string& folder, Fn fn) {
    std::error_code ec;
    std::filesystem::directory_iterator it(PathFromUtf8(folder), ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code unknown;
        fn(Utf8FromPath(it->path().filename()), it->is_symlink(unknown) ? EntryKind::Link
                                                : it->is_regular_file(unknown)
                                                    ? EntryKind::PlainFile
                                                    : EntryKind::Other);
    }
    return !ec;
}

#endif

} // namespace

#ifdef _WIN32
void RemoveFolderTree(const std::string& folder) { RemoveTree(SystemPathFromUtf8(folder)); }
#else
// Links are removed, not followed; a file's own permission does not matter here.
void RemoveFolderTree(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(PathFromUtf8(folder), ignored);
}
#endif

std::optional<std::vector<std::string>> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (!ListFolder(folder, [&](std::string name, EntryKind) { names.push_back(std::move(name)); }))
        return std::nullopt;
    return names;
}

std::vector<std::string> LinksInFolder(const std::string& folder) {
    std::vector<std::string> links;
    ListFolder(folder, [&](std::string name, EntryKind kind) {
        if (kind == EntryKind::Link)
            links.push_back(std::move(name));
    });
    return links;
}

FolderNames::FolderNames(const std::string& folder) {
    std::unordered_set<std::string> folded;
    if (!ListFolder(folder, [&](std::string name, EntryKind kind) {
            if (kind == EntryKind::PlainFile)
                files_.insert(name);
            else if (kind == EntryKind::Link)
                links_.push_back(name);
            folded.insert(UpperAscii(std::move(name)));
        }))
        return;
    folded_ = std::move(folded);
}

bool FolderNames::HoldsFile(std::string_view name) const {
    return files_.contains(std::string(name));
}

bool FolderNames::MayHold(std::string_view name) const {
    return !folded_ || folded_->contains(UpperAscii(std::string(name)));
}

} // namespace zantrel
