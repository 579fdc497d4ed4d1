// TAboutBox1: the settings dialog. It carries the user's clicks to the
// settings logic (shell/about1) and runs the colour and folder pickers. It is
// created once, hidden, and shown modally by Settings.
#pragma once

#include <windows.h>

#include "shell/about1.h"

#include "win/opendir.h"

namespace zantrel {

class TAboutBox1 {
public:
    // Creates the dialog from its resource and runs FormCreate.
    explicit TAboutBox1(HWND owner);
    ~TAboutBox1();
    TAboutBox1(const TAboutBox1&) = delete;
    TAboutBox1& operator=(const TAboutBox1&) = delete;

    HWND Handle() const { return window_; }
    // Sets the boxes from the shared state; once, at creation.
    void FormCreate();
    // The boxes as they stand, for ApplySettings.
    const SettingsDialogState& CurrentState();

    COLORREF Shape1Colour() const { return shape1Colour_; }
    // The colour picker's colour: magenta at first, then the last one picked.
    COLORREF ColorDialog1Colour() const { return colorDialog1Colour_; }

    HWND GroupBox1 = nullptr;
    HWND GroupBox2 = nullptr;
    HWND GroupBox3 = nullptr;
    HWND CheckBox1 = nullptr;
    HWND CheckBox2 = nullptr;
    HWND CheckBox3 = nullptr;
    HWND CheckBox4 = nullptr;
    HWND CheckBox5 = nullptr;
    HWND Shape1 = nullptr;
    // The work folder OK keeps; its full path is the tooltip.
    HWND WorkFolderLabel = nullptr;
    HWND Button1 = nullptr; // Cancel
    HWND Button2 = nullptr; // OK
    TOpenDirectory OpenDirectory1;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The user's clicks; a tick set by the program runs none of them.
    void CheckBox3Click();
    void CheckBox4Click();
    void CheckBox5Click();
    void ShowState();

    HWND window_ = nullptr;
    HWND tooltip_ = nullptr;
    HBRUSH swatch_ = nullptr;
    COLORREF shape1Colour_ = RGB(255, 0, 255);
    SettingsDialogState state_;
    COLORREF colorDialog1Colour_ = RGB(255, 0, 255);
    COLORREF customColours_[16] = {};
    std::wstring tip_;
};

} // namespace zantrel
