// The window program: the main window (whose creation runs the start-up),
// the settings dialog and the About box, then the message loop until the
// main window closes. A flash file on the command line is taken as a file
// dropped on the window. The window's size and place are kept per user in
// the registry, not in the start folder.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "win/place.h"
#include "win/sdimain.h"

namespace {

// The command line's first argument as a full path; empty when there is none.
std::wstring FileArgument() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring file = arguments && count >= 2 ? arguments[1] : L"";
    LocalFree(arguments);
    if (file.empty())
        return file;
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetFullPathNameW(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0)
            return file;
        if (n < full.size()) {
            full.resize(n);
            return full;
        }
        full.resize(n);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    const std::wstring file = FileArgument();
    const auto form = zantrel::CreateAppWindows();
    if (!form->IsOpen())
        return 1;
    ShowWindow(form->Handle(), zantrel::RestoreWindowPlace(form->Handle(), show));
    UpdateWindow(form->Handle());
    if (!file.empty())
        form->OpenDropped(file);
    const int status = zantrel::RunMessageLoop(*form);
    const RECT r = form->NormalRect();
    if (r.right > r.left && r.bottom > r.top)
        zantrel::WriteWindowPlace(
            {{r.left, r.top, r.right - r.left, r.bottom - r.top}, form->Maximised()});
    return status;
}
