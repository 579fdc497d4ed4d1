#include "win/about.h"

#include "base/unicode.h"

#include "shell/about1.h"

#include "win/modal.h"
#include "win/resource.h"

namespace zantrel {

TAboutBox::TAboutBox(HWND owner) {
    window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner,
                                 DialogProc, 0);
    ProductName = GetDlgItem(window_, IDC_PRODUCTNAME);
    Version = GetDlgItem(window_, IDC_VERSION);
    Readme = GetDlgItem(window_, IDC_README);
    OKButton = GetDlgItem(window_, IDOK);
    SetWindowTextW(window_, WideFromUtf8(AboutCaption).c_str());
    SetWindowTextW(ProductName, WideFromUtf8(ProductNameText).c_str());
    SetWindowTextW(Version, WideFromUtf8(VersionText).c_str());
    SetWindowTextW(Readme, WideFromUtf8(ReadmeText).c_str());
    SetWindowTextW(OKButton, WideFromUtf8(OkCaption).c_str());

    // The product name large and bold: the dialog's own font, scaled.
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window_, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    font.lfHeight = font.lfHeight * 12 / 5;
    font.lfWeight = FW_BOLD;
    bigFont_ = CreateFontIndirectW(&font);
    SendMessageW(ProductName, WM_SETFONT, reinterpret_cast<WPARAM>(bigFont_), FALSE);
}

TAboutBox::~TAboutBox() {
    if (window_)
        DestroyWindow(window_);
    if (bigFont_)
        DeleteObject(bigFont_);
}

INT_PTR CALLBACK TAboutBox::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndModalWindow(window, IDOK);
        return TRUE;
    case WM_CLOSE:
        EndModalWindow(window, IDOK);
        return TRUE;
    }
    return FALSE;
}

} // namespace zantrel
