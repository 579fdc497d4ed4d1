// The main window's drop target: a file dragged over the window is a copy,
// and the window highlights what would take it while the drag is over it.
#pragma once

#include <windows.h>
#include <oleidl.h>

#include <functional>
#include <optional>
#include <string>

namespace zantrel {

// The one file a drag carries; none for several files or none at all.
std::optional<std::wstring> DraggedFile(IDataObject* data);

class FileDropTarget final : public IDropTarget {
public:
    struct Handlers {
        // The drag is over point (screen coordinates): highlight what takes
        // the file there.
        std::function<void(POINT)> over;
        // The drag left, or ended: no highlight.
        std::function<void()> leave;
        // The file dropped at point (screen coordinates).
        std::function<void(const std::wstring&, POINT)> drop;
    };
    explicit FileDropTarget(Handlers handlers) : handlers_(std::move(handlers)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at,
                                        DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at,
                                   DWORD* effect) override;

private:
    Handlers handlers_;
    ULONG references_ = 1;
    std::optional<std::wstring> file_;
};

} // namespace zantrel
