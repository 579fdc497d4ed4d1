#include "win/droptarget.h"

#include <shellapi.h>

namespace zantrel {

std::optional<std::wstring> DraggedFile(IDataObject* data) {
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (!data || FAILED(data->GetData(&format, &medium)))
        return std::nullopt;
    std::optional<std::wstring> file;
    if (auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal))) {
        if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
            const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, 0, path.data(), length + 1);
            path.resize(length);
            file = std::move(path);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return file;
}

HRESULT FileDropTarget::QueryInterface(REFIID id, void** object) {
    if (id == IID_IUnknown || id == IID_IDropTarget) {
        *object = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG FileDropTarget::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT FileDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) {
    file_ = DraggedFile(data);
    return DragOver(keys, at, effect);
}

HRESULT FileDropTarget::DragOver(DWORD, POINTL at, DWORD* effect) {
    // Every run answers a dropped file (Open, a thumbnail's Replace, or why
    // neither), and never takes it from where it was.
    *effect = file_ ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    if (file_)
        handlers_.over({at.x, at.y});
    return S_OK;
}

HRESULT FileDropTarget::DragLeave() {
    file_.reset();
    handlers_.leave();
    return S_OK;
}

HRESULT FileDropTarget::Drop(IDataObject* data, DWORD, POINTL at, DWORD* effect) {
    handlers_.leave();
    const std::optional<std::wstring> file = DraggedFile(data);
    file_.reset();
    *effect = file ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    if (file)
        handlers_.drop(*file, {at.x, at.y});
    return S_OK;
}

} // namespace zantrel
