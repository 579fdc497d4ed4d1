// Every modal dialog of the Windows window program runs through RunModal:
// message boxes, the open, save, colour and folder dialogs and the program's
// own dialogs. A test replaces the runner and answers them without a real
// modal loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zantrel {

enum class ModalKind { Box, Page, Open, Save, Colour, Folder, Settings, About, Menu };

// What a dialog is asked, and what it answered.
struct Modal {
    ModalKind kind = ModalKind::Box;
    HWND owner = nullptr;
    // Settings, About: the dialog's own window, created once and reused.
    HWND window = nullptr;
    std::wstring title;
    // Box: the text, the details shown below it, and MB_ flags. Page: a
    // long text in a scrolling field, with OK.
    std::wstring text;
    std::wstring details;
    UINT style = 0;
    // A question (OK and Cancel) with a picture above its text: the bitmap,
    // owned by the caller, and its size in pixels.
    HBITMAP picture = nullptr;
    int pictureWidth = 0;
    int pictureHeight = 0;
    // A question with a picture: a check box under the text when it has a
    // caption; its state in and out. checkedPicture (the same size, owned by
    // the caller) is shown while the box is ticked; none: picture either way.
    std::wstring checkBox;
    bool checked = false;
    HBITMAP checkedPicture = nullptr;
    // Open, Save: (name, pattern) pairs; the chosen entry, from 1, in and out.
    std::vector<std::pair<std::wstring, std::wstring>> filters;
    int filterIndex = 1;
    std::wstring defaultExtension; // without the dot
    // Open, Save, Folder: FOS_ options added to the dialog's own (a save
    // dialog's own overwrite prompt and read-only check are off).
    DWORD options = 0;
    // Open, Save, Folder: the folder it opens in; empty for the system's choice.
    std::wstring folder;
    // Open, Save: the file name shown at first; the chosen path afterwards.
    // Folder: the chosen folder afterwards.
    std::wstring fileName;
    // Colour: the colour shown at first and the one chosen; the sixteen
    // custom colours, kept by the caller.
    COLORREF colour = 0;
    COLORREF* customColours = nullptr;
    // Menu: a pop-up menu shown at a screen point; the result is the chosen
    // item's command identifier, 0 when none was chosen.
    HMENU menu = nullptr;
    POINT at{};
    // Folder: told when the dialog has been shown and after each change of
    // its current folder.
    std::function<void()> shown;
    std::function<void(const std::wstring& folder)> folderChanged;
};

// Returns IDOK when a file, folder or colour was chosen or a dialog was
// confirmed, IDCANCEL otherwise; a box returns the button pressed, a menu the
// command chosen.
using ModalRunner = std::function<int(Modal& modal)>;

// Replaces how dialogs are run; an empty runner restores the real dialogs.
void SetModalRunner(ModalRunner runner);
int RunModal(Modal& modal);
// The real dialogs, for a runner that wraps them.
int ShowModal(Modal& modal);

// Runs a dialog window created once for the run as a modal dialog: its owner
// disabled, messages pumped until EndModalWindow.
int RunModalWindow(HWND window, HWND owner);
void EndModalWindow(HWND window, int result);

} // namespace zantrel
