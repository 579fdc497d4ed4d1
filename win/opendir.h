// TOpenDirectory: a folder chooser over the common item dialog in folder
// mode. Execute shows it modally; Directory and UncDirectory hold the folder
// that was accepted.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace zantrel {

class TOpenDirectory {
public:
    explicit TOpenDirectory(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }

    // The common item dialog is always resizable; kept for the settings'
    // sake, which ask for it.
    bool EnableSizing = true;
    // Leave the process's current folder as it was, during and after.
    bool NoChangeDir = false;
    // Empty leaves the platform's default title.
    std::wstring Title;
    // The events get the component as their sender; CurrentFolder() is the
    // folder the dialog shows.
    std::function<void(TOpenDirectory& sender)> OnClose;
    std::function<void(TOpenDirectory& sender)> OnFolderChange;
    std::function<void(TOpenDirectory& sender)> OnShow;

    // Where the dialog opens; empty means the process's current folder.
    std::wstring InitialDirectory;

    // The accepted folder as a local path; empty when it was reached by a
    // network path ("\\server\share\...") only.
    const std::wstring& Directory() const { return directory_; }
    // The accepted folder in network form when it lies on a network share
    // (a mapped drive or a network path); empty for a local folder.
    const std::wstring& UncDirectory() const { return uncDirectory_; }
    // While the dialog runs: the folder it shows.
    const std::wstring& CurrentFolder() const { return currentFolder_; }

    // Shows the dialog modally; true when a folder was accepted.
    bool Execute();

private:
    HWND owner_;
    std::wstring directory_;
    std::wstring uncDirectory_;
    std::wstring currentFolder_;
};

// The network form of a folder on a drive mapped to a share; empty for a
// local folder or when the system cannot tell.
std::wstring NetworkFormOf(const std::wstring& folder);

} // namespace zantrel
