#include "base/paths.h"

namespace zantrel {

namespace {

std::size_t FileNameStart(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsPathSeparator(path[i - 1]))
            return i;
    return 0;
}

} // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    path += PathSeparator;
    path += name;
    return path;
}

std::string FileNamePart(std::string_view path) {
    return std::string(path.substr(FileNameStart(path)));
}

std::string ParentFolder(std::string_view path) {
    const std::size_t start = FileNameStart(path);
    if (start == 0)
        return ".";
    // The root keeps its separator.
    return std::string(path.substr(0, start == 1 ? 1 : start - 1));
}

std::string ExtensionOf(std::string_view path) {
    const std::string_view name = path.substr(FileNameStart(path));
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string UpperExtension(std::string_view path) { return UpperAscii(ExtensionOf(path)); }

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace zantrel
