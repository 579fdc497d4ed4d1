#include "shell/opendialog.h"

#include <algorithm>

#include "base/fileio.h"
#include "base/paths.h"

namespace zantrel {

std::optional<std::string> OpenDialogMemory::TakeDropped(bool clearName) {
    if (clearName)
        fileName_.clear();
    if (!dropped_)
        return std::nullopt;
    std::string path = std::move(*dropped_);
    dropped_.reset();
    fileName_ = path;
    lastFile_ = path;
    folder_ = ParentFolder(path);
    return path;
}

void OpenDialogMemory::Remember(const std::string& path, int filterIndex) {
    fileName_ = path;
    lastFile_ = path;
    folder_ = ParentFolder(path);
    filterIndex_ = filterIndex;
}

std::string OpenDialogMemory::StartFolder(const std::string& suggested) const {
    if (!folder_.empty() && FolderExists(folder_))
        return folder_;
    return suggested.empty() ? std::string() : ParentFolder(suggested);
}

int OpenDialogMemory::FilterIndexIn(std::string_view filter) const {
    const auto entries = FilterEntries(filter);
    const std::string kind = UpperExtension(lastFile_);
    for (std::size_t i = 0; kind.size() > 1 && i < entries.size(); ++i)
        if (entries[i].second.find(';') == std::string::npos &&
            entries[i].second.rfind("*.", 0) == 0 && UpperExtension(entries[i].second) == kind)
            return static_cast<int>(i) + 1;
    return filterIndex_ >= 1 && filterIndex_ <= static_cast<int>(entries.size()) ? filterIndex_ : 1;
}

std::vector<std::pair<std::string, std::string>> FilterEntries(std::string_view filter) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; !filter.empty() && start <= filter.size();) {
        const std::size_t bar = std::min(filter.find('|', start), filter.size());
        parts.emplace_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t i = 0; i < parts.size(); i += 2)
        entries.emplace_back(parts[i], i + 1 < parts.size() ? parts[i + 1] : "*");
    return entries;
}

std::string DefaultExtensionOf(std::string_view filter) {
    const auto entries = FilterEntries(filter);
    if (entries.empty())
        return {};
    std::string pattern = entries.front().second.substr(0, entries.front().second.find(';'));
    if (pattern.rfind("*.", 0) != 0 || pattern.find('*', 1) != std::string::npos)
        return {};
    return pattern.substr(2);
}

} // namespace zantrel
