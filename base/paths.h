// Paths as the program builds and takes them apart: a folder, the platform's
// separator and a name. Windows accepts both separators, so every function
// that looks for one asks IsPathSeparator.
#pragma once

#include <string>
#include <string_view>

namespace zantrel {

#ifdef _WIN32
inline constexpr char PathSeparator = '\\';
#else
inline constexpr char PathSeparator = '/';
#endif

constexpr bool IsPathSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

std::string JoinPath(std::string_view folder, std::string_view name);

// The part after the last separator (the whole path when it has none).
std::string FileNamePart(std::string_view path);
// The part before the last separator ("." when it has none).
std::string ParentFolder(std::string_view path);

// The file-name part's extension, dot included (".shx"); empty when the file
// name has no dot.
std::string ExtensionOf(std::string_view path);
// The same, upper-cased (".SHX").
std::string UpperExtension(std::string_view path);
// text with its ASCII letters upper-cased: the letters every file system
// that ignores case folds alike.
std::string UpperAscii(std::string text);

} // namespace zantrel
