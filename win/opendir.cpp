#include "win/opendir.h"

#include <shobjidl.h>
#include <winnetwk.h>

#include <vector>

#include "win/modal.h"

namespace zantrel {

namespace {

std::wstring CurrentDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(n);
    }
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
    // "C:\" and "\\server\share\" keep theirs: without it they are no folder.
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

} // namespace

std::wstring NetworkFormOf(const std::wstring& folder) {
    if (folder.size() < 2 || folder[1] != L':')
        return {};
    std::vector<BYTE> buffer(4096);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (WNetGetUniversalNameW(folder.c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer.data(), &size) !=
        NO_ERROR)
        return {};
    const auto* info = reinterpret_cast<const UNIVERSAL_NAME_INFOW*>(buffer.data());
    return info->lpUniversalName ? WithoutTrailingSeparator(info->lpUniversalName) : L"";
}

bool TOpenDirectory::Execute() {
    directory_.clear();
    uncDirectory_.clear();
    currentFolder_.clear();

    Modal modal;
    modal.kind = ModalKind::Folder;
    modal.owner = owner_;
    modal.title = Title;
    modal.options = FOS_PICKFOLDERS | FOS_PATHMUSTEXIST;
    if (NoChangeDir)
        modal.options |= FOS_NOCHANGEDIR;
    modal.folder = InitialDirectory.empty() ? CurrentDirectory() : InitialDirectory;
    modal.shown = [this] {
        if (OnShow)
            OnShow(*this);
    };
    modal.folderChanged = [this](const std::wstring& folder) {
        currentFolder_ = folder;
        if (OnFolderChange)
            OnFolderChange(*this);
    };
    const int result = RunModal(modal);
    if (OnClose)
        OnClose(*this);
    currentFolder_.clear();
    if (result != IDOK || modal.fileName.empty())
        return false;

    const std::wstring folder = WithoutTrailingSeparator(modal.fileName);
    if (folder.rfind(L"\\\\", 0) == 0) {
        // Reached by a network path alone: there is no local form.
        uncDirectory_ = folder;
    } else {
        directory_ = folder;
        uncDirectory_ = NetworkFormOf(folder);
    }
    if (!NoChangeDir)
        SetCurrentDirectoryW(directory_.empty() ? uncDirectory_.c_str() : directory_.c_str());
    return true;
}

} // namespace zantrel
