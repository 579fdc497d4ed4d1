#include "win/modal.h"

#include <commdlg.h>
#include <shobjidl.h>

#include <algorithm>
#include <string>

#include "base/unicode.h"

#include "shell/about1.h"

namespace zantrel {

namespace {

ModalRunner g_runner;

const wchar_t* const ModalResultProperty = L"ZantrelModalResult";

// Releases a COM interface at the end of a scope.
template <class T> struct ComRef {
    T* p = nullptr;
    ~ComRef() {
        if (p)
            p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

std::wstring PathOf(IShellItem* item) {
    std::wstring path;
    PWSTR name = nullptr;
    if (item && SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
        path = name;
        CoTaskMemFree(name);
    }
    return path;
}

// Tells the folder picker's caller about the dialog while it runs.
class FolderEvents final : public IFileDialogEvents {
public:
    explicit FolderEvents(Modal& modal) : modal_(modal) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IFileDialogEvents) {
            *out = static_cast<IFileDialogEvents*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the stack of the dialog's run, which outlasts every reference.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog* dialog) override {
        // The first change is the dialog coming up in its initial folder.
        if (!shown_) {
            shown_ = true;
            if (modal_.shown)
                modal_.shown();
        }
        ComRef<IShellItem> folder;
        if (modal_.folderChanged && SUCCEEDED(dialog->GetFolder(&folder)))
            modal_.folderChanged(PathOf(folder.p));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*,
                                               FDE_SHAREVIOLATION_RESPONSE*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem*,
                                          FDE_OVERWRITE_RESPONSE*) override {
        return S_OK;
    }

private:
    Modal& modal_;
    bool shown_ = false;
};

int ShowFileDialog(Modal& modal) {
    // Harmless when the thread has it already; the dialogs need COM.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ComRef<IFileDialog> dialog;
    const CLSID& kind = modal.kind == ModalKind::Save ? CLSID_FileSaveDialog : CLSID_FileOpenDialog;
    if (FAILED(CoCreateInstance(kind, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                                reinterpret_cast<void**>(&dialog))))
        return IDCANCEL;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    // A save dialog's own checks of the chosen file are left to the caller,
    // which asks before replacing and refuses a read-only file itself.
    if (modal.kind == ModalKind::Save)
        options &= ~(FOS_OVERWRITEPROMPT | FOS_NOREADONLYRETURN);
    dialog->SetOptions(options | FOS_FORCEFILESYSTEM | modal.options);
    if (!modal.title.empty())
        dialog->SetTitle(modal.title.c_str());
    std::vector<COMDLG_FILTERSPEC> types;
    for (const auto& [name, pattern] : modal.filters)
        types.push_back({name.c_str(), pattern.c_str()});
    if (!types.empty()) {
        dialog->SetFileTypes(static_cast<UINT>(types.size()), types.data());
        dialog->SetFileTypeIndex(static_cast<UINT>(modal.filterIndex));
    }
    if (!modal.defaultExtension.empty())
        dialog->SetDefaultExtension(modal.defaultExtension.c_str());
    if (!modal.folder.empty()) {
        ComRef<IShellItem> folder;
        if (SUCCEEDED(SHCreateItemFromParsingName(modal.folder.c_str(), nullptr, IID_IShellItem,
                                                  reinterpret_cast<void**>(&folder))))
            dialog->SetFolder(folder.p);
    }
    if (!modal.fileName.empty())
        dialog->SetFileName(modal.fileName.c_str());

    FolderEvents events(modal);
    DWORD cookie = 0;
    const bool advised = SUCCEEDED(dialog->Advise(&events, &cookie));
    const HRESULT shown = dialog->Show(modal.owner);
    if (advised)
        dialog->Unadvise(cookie);
    if (FAILED(shown))
        return IDCANCEL;
    ComRef<IShellItem> result;
    if (FAILED(dialog->GetResult(&result)))
        return IDCANCEL;
    modal.fileName = PathOf(result.p);
    UINT index = 0;
    if (!types.empty() && SUCCEEDED(dialog->GetFileTypeIndex(&index)) && index > 0)
        modal.filterIndex = static_cast<int>(index);
    return modal.fileName.empty() ? IDCANCEL : IDOK;
}

int ShowColourDialog(Modal& modal) {
    static COLORREF spare[16] = {};
    CHOOSECOLORW choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = modal.owner;
    choose.rgbResult = modal.colour;
    choose.lpCustColors = modal.customColours ? modal.customColours : spare;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    if (!ChooseColorW(&choose))
        return IDCANCEL;
    modal.colour = choose.rgbResult;
    return IDOK;
}

// A dialog laid out in pixels: its frame around a client area of width x
// height, centred on owner (the screen when none), its top on the screen.
void SizeAndCentre(HWND dialog, HWND owner, int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
    RECT around{};
    GetWindowRect(owner ? owner : GetDesktopWindow(), &around);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, around.left + (around.right - around.left - w) / 2,
                 std::max(0L, around.top + (around.bottom - around.top - h) / 2), w, h,
                 SWP_NOZORDER);
}

// A question with a picture: a dialog made from an empty template, its
// controls laid out around the picture when it starts, scaled to the
// dialog's DPI (the picture by whole pixels, so it stays sharp).
constexpr int PictureCheckBox = 102;
constexpr int PictureControl = 100;
const wchar_t* const PictureFontProperty = L"ZantrelPictureFont";
// The two previews as shown (scaled copies at a high DPI, the dialog's own).
const wchar_t* const PictureShownProperty = L"ZantrelPictureShown";
const wchar_t* const PictureCheckedProperty = L"ZantrelPictureChecked";

INT_PTR CALLBACK PictureBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // The preview shows what the check box's state would write.
    if (message == WM_COMMAND && LOWORD(wParam) == PictureCheckBox &&
        HIWORD(wParam) == BN_CLICKED) {
        const bool on = IsDlgButtonChecked(dialog, PictureCheckBox) == BST_CHECKED;
        if (HANDLE checked = GetPropW(dialog, PictureCheckedProperty))
            SendDlgItemMessageW(
                dialog, PictureControl, STM_SETIMAGE, IMAGE_BITMAP,
                reinterpret_cast<LPARAM>(on ? checked : GetPropW(dialog, PictureShownProperty)));
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        auto* asked = reinterpret_cast<Modal*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (HWND box = GetDlgItem(dialog, PictureCheckBox); asked && box)
            asked->checked = SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    if (message == WM_DESTROY) {
        // The scaled copies of the pictures are the dialog's own.
        auto* asked = reinterpret_cast<Modal*>(GetWindowLongPtrW(dialog, DWLP_USER));
        const auto shown = static_cast<HBITMAP>(RemovePropW(dialog, PictureShownProperty));
        const auto checked = static_cast<HBITMAP>(RemovePropW(dialog, PictureCheckedProperty));
        if (shown && asked && shown != asked->picture)
            DeleteObject(shown);
        if (checked && asked && checked != asked->checkedPicture)
            DeleteObject(checked);
        if (auto font = static_cast<HFONT>(RemovePropW(dialog, PictureFontProperty)))
            DeleteObject(font);
        return FALSE;
    }
    if (message != WM_INITDIALOG)
        return FALSE;
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    const Modal& modal = *reinterpret_cast<const Modal*>(lParam);
    SetWindowTextW(dialog, modal.title.c_str());
    const int dpi = std::max(96, static_cast<int>(GetDpiForWindow(dialog)));
    const auto scaled = [dpi](int pixels) { return MulDiv(pixels, dpi, 96); };
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                               static_cast<UINT>(dpi));
    HFONT ownFont = CreateFontIndirectW(&metrics.lfMessageFont);
    SetPropW(dialog, PictureFontProperty, ownFont); // deleted with the dialog
    const auto font = reinterpret_cast<WPARAM>(ownFont);
    const auto child = [&](const wchar_t* type, const wchar_t* text, DWORD style, int id) {
        HWND control =
            CreateWindowExW(0, type, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, dialog,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        SendMessageW(control, WM_SETFONT, font, FALSE);
        return control;
    };
    const int margin = scaled(12), buttonWidth = scaled(80), buttonHeight = scaled(24);
    const int zoom = std::max(1, dpi / 96);
    const int pictureWidth = modal.pictureWidth * zoom, pictureHeight = modal.pictureHeight * zoom;
    const auto zoomed = [&](HBITMAP original) {
        if (zoom == 1 || !original)
            return original;
        HDC screen = GetDC(dialog);
        HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
        HBITMAP copy = CreateCompatibleBitmap(screen, pictureWidth, pictureHeight);
        HGDIOBJ oldFrom = SelectObject(from, original), oldTo = SelectObject(to, copy);
        SetStretchBltMode(to, COLORONCOLOR);
        StretchBlt(to, 0, 0, pictureWidth, pictureHeight, from, 0, 0, modal.pictureWidth,
                   modal.pictureHeight, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
        DeleteDC(from);
        DeleteDC(to);
        ReleaseDC(dialog, screen);
        return copy;
    };
    HBITMAP shown = zoomed(modal.picture);
    HBITMAP checked = zoomed(modal.checkedPicture);
    SetPropW(dialog, PictureShownProperty, shown);
    if (checked)
        SetPropW(dialog, PictureCheckedProperty, checked);
    const std::wstring text =
        modal.details.empty() ? modal.text : modal.text + L"\n\n" + modal.details;
    const int width = std::max(pictureWidth, scaled(320));
    RECT measured{0, 0, width, 0};
    HDC dc = GetDC(dialog);
    HGDIOBJ old = SelectObject(dc, ownFont);
    DrawTextW(dc, text.c_str(), -1, &measured, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(dialog, dc);

    HWND picture = child(L"STATIC", nullptr, SS_BITMAP, PictureControl);
    SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(modal.checked && checked ? checked : shown));
    MoveWindow(picture, margin + (width - pictureWidth) / 2, margin, pictureWidth, pictureHeight,
               FALSE);
    int y = margin + pictureHeight + margin;
    MoveWindow(child(L"STATIC", text.c_str(), SS_NOPREFIX | SS_LEFT, 101), margin, y, width,
               measured.bottom, FALSE);
    y += measured.bottom + margin;
    if (!modal.checkBox.empty()) {
        HWND box =
            child(L"BUTTON", modal.checkBox.c_str(), BS_AUTOCHECKBOX | WS_TABSTOP, PictureCheckBox);
        SendMessageW(box, BM_SETCHECK, modal.checked ? BST_CHECKED : BST_UNCHECKED, 0);
        MoveWindow(box, margin, y, width, buttonHeight, FALSE);
        y += buttonHeight + margin / 2;
    }
    // The default button as the question's style says, as a message box's.
    const bool cancelFirst = (modal.style & MB_DEFMASK) == MB_DEFBUTTON2;
    HWND ok = child(L"BUTTON", WideFromUtf8(OkCaption).c_str(),
                    (cancelFirst ? BS_PUSHBUTTON : BS_DEFPUSHBUTTON) | WS_TABSTOP, IDOK);
    MoveWindow(ok, margin + width - 2 * buttonWidth - scaled(8), y, buttonWidth, buttonHeight,
               FALSE);
    HWND cancel = child(L"BUTTON", WideFromUtf8(CancelCaption).c_str(),
                        (cancelFirst ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP, IDCANCEL);
    MoveWindow(cancel, margin + width - buttonWidth, y, buttonWidth, buttonHeight, FALSE);
    SizeAndCentre(dialog, modal.owner, width + 2 * margin, y + buttonHeight + margin);
    SendMessageW(dialog, DM_SETDEFID, cancelFirst ? IDCANCEL : IDOK, 0);
    SetFocus(cancelFirst ? cancel : ok);
    return FALSE;
}

// A long text, read-only and scrolling, with OK: the help page.
INT_PTR CALLBACK PageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (message != WM_INITDIALOG)
        return FALSE;
    const Modal& modal = *reinterpret_cast<const Modal*>(lParam);
    SetWindowTextW(dialog, modal.title.c_str());
    const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
    // An edit control breaks lines at CR LF only.
    std::wstring text;
    for (wchar_t c : modal.text)
        text += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    constexpr int Margin = 12, Width = 560, Height = 420, ButtonWidth = 80, ButtonHeight = 24;
    HWND field = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(),
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE |
                                     ES_READONLY,
                                 Margin, Margin, Width, Height, dialog, nullptr, nullptr, nullptr);
    SendMessageW(field, WM_SETFONT, font, FALSE);
    // From the top, nothing selected, once the dialog has been laid out.
    PostMessageW(field, EM_SETSEL, 0, 0);
    PostMessageW(field, WM_VSCROLL, SB_TOP, 0);
    HWND ok = CreateWindowExW(
        0, L"BUTTON", WideFromUtf8(OkCaption).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, Margin + Width - ButtonWidth,
        2 * Margin + Height, ButtonWidth, ButtonHeight, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
    SendMessageW(ok, WM_SETFONT, font, FALSE);
    SizeAndCentre(dialog, modal.owner, Width + 2 * Margin, Height + ButtonHeight + 3 * Margin);
    SetFocus(ok);
    return FALSE;
}

// A dialog from an empty template: style, extended style, no items,
// position and size, then no menu, the dialog class and no title.
INT_PTR RunEmptyDialog(Modal& modal, DLGPROC procedure) {
    alignas(4) WORD layout[16] = {};
    auto* head = reinterpret_cast<DLGTEMPLATE*>(layout);
    head->style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), head, modal.owner, procedure,
                                   reinterpret_cast<LPARAM>(&modal));
}

int ShowPictureBox(Modal& modal) {
    // An empty template: style, extended style, no items, position and
    // size, then no menu, the dialog class and no title.
    alignas(4) WORD layout[16] = {};
    auto* head = reinterpret_cast<DLGTEMPLATE*>(layout);
    head->style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), head, modal.owner, PictureBoxProc,
                                reinterpret_cast<LPARAM>(&modal));
    return result == IDOK ? IDOK : IDCANCEL;
}

} // namespace

void SetModalRunner(ModalRunner runner) { g_runner = std::move(runner); }

int RunModal(Modal& modal) {
    // A dialog disables its owner while it shows; however it is left (a
    // crash the system swallows inside it included), the owner takes input
    // again, or the window could not even be closed.
    struct Reenable {
        HWND owner;
        bool wasEnabled;
        ~Reenable() {
            if (wasEnabled && IsWindow(owner) && !IsWindowEnabled(owner))
                EnableWindow(owner, TRUE);
        }
    } reenable{modal.owner, modal.owner && IsWindowEnabled(modal.owner)};
    return g_runner ? g_runner(modal) : ShowModal(modal);
}

int ShowModal(Modal& modal) {
    switch (modal.kind) {
    case ModalKind::Box: {
        if (modal.picture)
            return ShowPictureBox(modal);
        const std::wstring text =
            modal.details.empty() ? modal.text : modal.text + L"\n\n" + modal.details;
        return MessageBoxW(modal.owner, text.c_str(), modal.title.c_str(), modal.style);
    }
    case ModalKind::Page:
        RunEmptyDialog(modal, PageProc);
        return IDOK;
    case ModalKind::Open:
    case ModalKind::Save:
    case ModalKind::Folder:
        return ShowFileDialog(modal);
    case ModalKind::Colour:
        return ShowColourDialog(modal);
    case ModalKind::Settings:
    case ModalKind::About:
        return RunModalWindow(modal.window, modal.owner);
    case ModalKind::Menu:
        return TrackPopupMenu(modal.menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, modal.at.x, modal.at.y,
                              0, modal.owner, nullptr);
    }
    return IDCANCEL;
}

int RunModalWindow(HWND window, HWND owner) {
    RemovePropW(window, ModalResultProperty);
    if (owner)
        EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    MSG msg{};
    bool quit = false;
    while (!GetPropW(window, ModalResultProperty)) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            quit = true;
            break;
        }
        if (!IsDialogMessageW(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    const auto stored = reinterpret_cast<INT_PTR>(RemovePropW(window, ModalResultProperty));
    // The owner first, so that it, not another program, becomes active.
    if (owner)
        EnableWindow(owner, TRUE);
    ShowWindow(window, SW_HIDE);
    if (owner)
        SetActiveWindow(owner);
    if (quit)
        PostQuitMessage(static_cast<int>(msg.wParam));
    return stored ? static_cast<int>(stored - 1) : IDCANCEL;
}

void EndModalWindow(HWND window, int result) {
    SetPropW(window, ModalResultProperty,
             reinterpret_cast<HANDLE>(static_cast<INT_PTR>(result) + 1));
}

} // namespace zantrel
