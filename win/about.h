// TAboutBox: the About box, with the product name and version. Created once,
// hidden, and shown modally by Help > About.
#pragma once

#include <windows.h>

namespace zantrel {

class TAboutBox {
public:
    explicit TAboutBox(HWND owner);
    ~TAboutBox();
    TAboutBox(const TAboutBox&) = delete;
    TAboutBox& operator=(const TAboutBox&) = delete;

    HWND Handle() const { return window_; }

    HWND ProductName = nullptr;
    HWND Version = nullptr;
    HWND Readme = nullptr;
    HWND OKButton = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HFONT bigFont_ = nullptr;
};

} // namespace zantrel
