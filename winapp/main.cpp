// The window program: the main window (whose creation runs the start-up),
// the settings dialog and the About box, then the message loop until the
// main window closes. A flash file on the command line is taken as a file
// dropped on the window. The window's size and place are kept per user in
// the registry, not in the start folder.
#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

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

const wchar_t* const PlaceKey = L"Software\\Zantrel";
const wchar_t* const PlaceNames[] = {L"WindowLeft", L"WindowTop", L"WindowWidth", L"WindowHeight",
                                     L"WindowMaximised"};

std::optional<zantrel::WindowPlace> ReadPlace() {
    DWORD values[5] = {};
    for (int i = 0; i < 5; ++i) {
        DWORD size = sizeof values[i];
        if (RegGetValueW(HKEY_CURRENT_USER, PlaceKey, PlaceNames[i], RRF_RT_REG_DWORD, nullptr,
                         &values[i], &size) != ERROR_SUCCESS)
            return std::nullopt;
    }
    // Stored as DWORDs: a place left of or above the main screen is negative.
    return zantrel::WindowPlace{{static_cast<int>(values[0]), static_cast<int>(values[1]),
                                 static_cast<int>(values[2]), static_cast<int>(values[3])},
                                values[4] != 0};
}

void WritePlace(const zantrel::WindowPlace& place) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, PlaceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    const DWORD values[5] = {static_cast<DWORD>(place.normal.x), static_cast<DWORD>(place.normal.y),
                             static_cast<DWORD>(place.normal.width),
                             static_cast<DWORD>(place.normal.height), place.maximised ? 1u : 0u};
    for (int i = 0; i < 5; ++i)
        RegSetValueExW(key, PlaceNames[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&values[i]),
                       sizeof values[i]);
    RegCloseKey(key);
}

BOOL CALLBACK AddScreen(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        auto& screens = *reinterpret_cast<std::vector<zantrel::ScreenRect>*>(list);
        const RECT& r = info.rcWork;
        const zantrel::ScreenRect screen{r.left, r.top, r.right - r.left, r.bottom - r.top};
        // The main screen first: a window on no screen goes there.
        if (info.dwFlags & MONITORINFOF_PRIMARY)
            screens.insert(screens.begin(), screen);
        else
            screens.push_back(screen);
    }
    return TRUE;
}

// Puts the window where the last run left it, on the screens there are
// now; the show command, maximised when it was.
int RestorePlace(HWND window, int show) {
    const auto stored = ReadPlace();
    if (!stored)
        return show;
    std::vector<zantrel::ScreenRect> screens;
    EnumDisplayMonitors(nullptr, nullptr, AddScreen, reinterpret_cast<LPARAM>(&screens));
    const UINT dpi = GetDpiForWindow(window);
    const int least = static_cast<int>(dpi ? dpi : 96);
    const zantrel::WindowPlace place =
        zantrel::KeepOnScreen(*stored, screens, MulDiv(420, least, 96), MulDiv(300, least, 96));
    SetWindowPos(window, nullptr, place.normal.x, place.normal.y, place.normal.width,
                 place.normal.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (place.maximised && (show == SW_SHOWNORMAL || show == SW_SHOWDEFAULT))
        return SW_SHOWMAXIMIZED;
    return show;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    const std::wstring file = FileArgument();
    const auto form = zantrel::CreateAppWindows();
    if (!form->IsOpen())
        return 1;
    ShowWindow(form->Handle(), RestorePlace(form->Handle(), show));
    UpdateWindow(form->Handle());
    if (!file.empty())
        form->OpenDropped(file);
    const int status = zantrel::RunMessageLoop(*form);
    const RECT r = form->NormalRect();
    if (r.right > r.left && r.bottom > r.top)
        WritePlace({{r.left, r.top, r.right - r.left, r.bottom - r.top}, form->Maximised()});
    return status;
}
