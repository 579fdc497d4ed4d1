#include "win/place.h"

#include <vector>

namespace zantrel {

namespace {

const wchar_t* const PlaceNames[] = {L"WindowLeft", L"WindowTop", L"WindowWidth", L"WindowHeight",
                                     L"WindowMaximised"};

BOOL CALLBACK AddScreen(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        auto& screens = *reinterpret_cast<std::vector<ScreenRect>*>(list);
        const RECT& r = info.rcWork;
        const ScreenRect screen{r.left, r.top, r.right - r.left, r.bottom - r.top};
        // The main screen first: a window on no screen goes there.
        if (info.dwFlags & MONITORINFOF_PRIMARY)
            screens.insert(screens.begin(), screen);
        else
            screens.push_back(screen);
    }
    return TRUE;
}

} // namespace

std::optional<WindowPlace> ReadWindowPlace(const wchar_t* key) {
    DWORD values[5] = {};
    for (int i = 0; i < 5; ++i) {
        DWORD size = sizeof values[i];
        if (RegGetValueW(HKEY_CURRENT_USER, key, PlaceNames[i], RRF_RT_REG_DWORD, nullptr,
                         &values[i], &size) != ERROR_SUCCESS)
            return std::nullopt;
    }
    // Stored as DWORDs: a place left of or above the main screen is negative.
    return WindowPlace{{static_cast<int>(values[0]), static_cast<int>(values[1]),
                        static_cast<int>(values[2]), static_cast<int>(values[3])},
                       values[4] != 0};
}

void WriteWindowPlace(const WindowPlace& place, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, name, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
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

int RestoreWindowPlace(HWND window, int show, const wchar_t* key) {
    const auto stored = ReadWindowPlace(key);
    if (!stored)
        return show;
    std::vector<ScreenRect> screens;
    EnumDisplayMonitors(nullptr, nullptr, AddScreen, reinterpret_cast<LPARAM>(&screens));
    const UINT dpi = GetDpiForWindow(window);
    const int least = static_cast<int>(dpi ? dpi : 96);
    const WindowPlace place = KeepOnScreen(*stored, screens, MulDiv(MinimumWindowWidth, least, 96),
                                           MulDiv(MinimumWindowHeight, least, 96));
    SetWindowPos(window, nullptr, place.normal.x, place.normal.y, place.normal.width,
                 place.normal.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (place.maximised && (show == SW_SHOWNORMAL || show == SW_SHOWDEFAULT))
        return SW_SHOWMAXIMIZED;
    return show;
}

} // namespace zantrel
