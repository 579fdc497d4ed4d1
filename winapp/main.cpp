// The window program: the main window (whose creation runs the start-up),
// the settings dialog and the About box, then the message loop until the
// main window closes. A flash file on the command line is taken as a file
// dropped on the window; "--start-folder FOLDER" before it (the installer's
// Start menu entry and file types give it) works in FOLDER instead of the
// current folder. The window's size and place are kept per user in the
// registry, not in the start folder.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "base/unicode.h"

#include "shell/session.h"

#include "win/place.h"
#include "win/sdimain.h"

namespace {

// The command line's arguments after the program's name.
std::vector<std::wstring> Arguments() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> list;
    for (int i = 1; arguments && i < count; ++i)
        list.emplace_back(arguments[i]);
    LocalFree(arguments);
    return list;
}

// A file argument as a full path, taken before the start folder changes the
// current folder.
std::wstring FullPath(const std::wstring& file) {
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
    std::vector<std::wstring> arguments = Arguments();
    std::wstring startFolder;
    if (arguments.size() >= 2 && arguments[0] == L"--start-folder") {
        startFolder = arguments[1];
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    const std::wstring file = FullPath(arguments.empty() ? L"" : arguments[0]);
    if (!startFolder.empty()) {
        if (const auto problem = zantrel::EnterStartFolder(zantrel::Utf8FromWide(startFolder))) {
            MessageBoxW(nullptr, zantrel::WideFromUtf8(*problem).c_str(), L"Zantrel",
                        MB_OK | MB_ICONERROR);
            return 1;
        }
    }
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
