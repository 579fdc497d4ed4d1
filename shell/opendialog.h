// What the file and folder dialogs keep between their showings in a run,
// and the filters they take ("SHX files|*.shx|SBF files|*.sbf").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zantrel {

// The open dialog's memory, the folder every dialog starts in, and a
// dropped file that stands for the next answer.
class OpenDialogMemory {
public:
    // A dropped file: the next Answer gives it without showing the dialog.
    void Drop(std::string path) { dropped_ = std::move(path); }
    // Before a showing: clearName empties the file name; a dropped file is
    // the answer at once (nullopt: show the dialog).
    std::optional<std::string> TakeDropped(bool clearName);
    // After a showing that chose path with the filter entry filterIndex (1 first).
    void Remember(const std::string& path, int filterIndex);
    // A file or folder dialog's answer: a file's folder, or the folder itself.
    void RememberFolder(std::string folder) { folder_ = std::move(folder); }
    const std::string& FileName() const { return fileName_; }
    const std::string& Folder() const { return folder_; }
    // Where a dialog starts: the folder last used in any of them (Open's
    // questions, Save As, Replace's picture, Import's and Export's folders,
    // the contact sheet's name) while it is there; else the folder of the
    // file a save dialog suggests; else empty, the dialog's own choice.
    std::string StartFolder(const std::string& suggested = {}) const;
    int FilterIndex() const { return filterIndex_; }
    // The entry a showing with filter starts on (1 first): the one for the
    // last file's kind alone (the second flash file's dialog starts on the
    // first file's), else the one last chosen, else the first.
    int FilterIndexIn(std::string_view filter) const;

private:
    std::string lastFile_; // kept when the name is cleared
    std::string fileName_;
    std::string folder_;
    int filterIndex_ = 1;
    std::optional<std::string> dropped_;
};

// "SHX files|*.shx|SBF files|*.sbf" as (name, patterns) pairs.
std::vector<std::pair<std::string, std::string>> FilterEntries(std::string_view filter);
// A save dialog's default extension, without the dot: its first pattern's
// ("shx" for "SHX files|*.shx|..."); empty when that has none.
std::string DefaultExtensionOf(std::string_view filter);

} // namespace zantrel
