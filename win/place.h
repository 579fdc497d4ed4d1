// The main window's size, place and maximised state, kept per user in the
// registry, not in the start folder.
#pragma once

#include <windows.h>

#include <optional>

#include "shell/windowplace.h"

namespace zantrel {

// Where the window program keeps them, under HKEY_CURRENT_USER.
inline constexpr const wchar_t* WindowPlaceKey = L"Software\\Zantrel";

std::optional<WindowPlace> ReadWindowPlace(const wchar_t* key = WindowPlaceKey);
void WriteWindowPlace(const WindowPlace& place, const wchar_t* key = WindowPlaceKey);

// Puts the window where the last run left it, brought onto the screens there
// are now; returns the show command: show, or maximised when it was (and
// show asks for no other state).
int RestoreWindowPlace(HWND window, int show, const wchar_t* key = WindowPlaceKey);

} // namespace zantrel
